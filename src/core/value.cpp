#include "core/value.h"

#include <functional>

#include "core/runtime_error.h"

namespace comsvc {

double Value::NumberValue() const {
  switch (Kind()) {
    case ValueKind::kInteger: return AsInteger();
    case ValueKind::kLong: return AsLong();
    case ValueKind::kDouble: return AsDouble();
    default: Raise(ErrorNumber::kTypeMismatch);
  }
}

std::u16string_view Value::TypeName() const {
  switch (Kind()) {
    case ValueKind::kEmpty: return u"Empty";
    case ValueKind::kNull: return u"Null";
    case ValueKind::kBoolean: return u"Boolean";
    case ValueKind::kInteger: return u"Integer";
    case ValueKind::kLong: return u"Long";
    case ValueKind::kDouble: return u"Double";
    case ValueKind::kString: return u"String";
    case ValueKind::kObject: return Dictionary::kTypeName;
    case ValueKind::kArray: return Collection::kTypeName;
  }
  return u"Empty";
}

namespace {
size_t HashKey(std::u16string_view key) { return std::hash<std::u16string_view>{}(key); }
}  // namespace

uint32_t Dictionary::Lookup(std::u16string_view key) const {
  if (slots_.empty()) {
    for (size_t i = 0; i < members_.size(); ++i) {
      if (members_[i].first == key) return static_cast<uint32_t>(i);
    }
    return kNone;
  }
  const size_t mask = slots_.size() - 1;
  for (size_t s = HashKey(key) & mask;; s = (s + 1) & mask) {
    uint32_t slot = slots_[s];
    if (slot == 0) return kNone;
    if (members_[slot - 1].first == key) return slot - 1;
  }
}

void Dictionary::IndexMember(uint32_t member) {
  const size_t mask = slots_.size() - 1;
  size_t s = HashKey(members_[member].first) & mask;
  while (slots_[s] != 0) s = (s + 1) & mask;
  slots_[s] = member + 1;
}

void Dictionary::Rehash(size_t slots) {
  slots_.assign(slots, 0);
  for (uint32_t i = 0; i < members_.size(); ++i) IndexMember(i);
}

void Dictionary::Add(std::u16string key, Value value) {
  if (Lookup(key) != kNone) Raise(ErrorNumber::kDuplicateKey);
  members_.emplace_back(std::move(key), std::move(value));
  const size_t count = members_.size();
  if (count < kIndexThreshold) return;
  // Keep the load factor at or below one half.
  if (slots_.size() < 2 * count) {
    Rehash(slots_.empty() ? 32 : 2 * slots_.size());
  } else {
    IndexMember(static_cast<uint32_t>(count - 1));
  }
}

const Value* Dictionary::Find(std::u16string_view key) const {
  uint32_t i = Lookup(key);
  return i == kNone ? nullptr : &members_[i].second;
}

Value Dictionary::Item(std::u16string_view key) const {
  const Value* v = Find(key);
  return v ? *v : Value();
}

const Value& Collection::Item(int32_t index) const {
  if (index < 1 || index > Count()) Raise(ErrorNumber::kSubscriptOutOfRange);
  return items_[static_cast<size_t>(index) - 1];
}

}  // namespace comsvc
