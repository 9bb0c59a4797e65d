#include <comsvc/value.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <climits>
#include <memory>
#include <new>
#include <span>
#include <utility>

#include "core/document_arena.h"
#include <comsvc/runtime_error.h>

namespace comsvc {

// Texts, like the containers' counts, stay within 31 bits.
size_t Text::BlockBytes(std::u16string_view text) {
  if (text.size() > INT32_MAX) throw std::bad_alloc();
  return sizeof(Block) + text.size() * sizeof(char16_t);
}

Text::Text(std::u16string_view text) {
  if (text.empty()) return;
  block_ = static_cast<Block*>(::operator new(BlockBytes(text)));
  block_->arena = nullptr;
  std::construct_at(&block_->holders, 1u);
  block_->length = static_cast<uint32_t>(text.size());
  std::ranges::copy(text, block_->Characters());
}

Text Text::InArena(std::u16string_view text, ArenaHoldCredit& credit) {
  if (text.empty()) return Text();
  DocumentArena& arena = credit.Arena();
  auto* block = static_cast<Block*>(arena.Allocate(BlockBytes(text), alignof(Block)));
  block->arena = &arena;
  block->length = static_cast<uint32_t>(text.size());
  std::ranges::copy(text, block->Characters());
  credit.Take();
  return Text(block);
}

void Text::Retain() const noexcept {
  if (block_ == nullptr) return;
  if (block_->arena != nullptr) {
    block_->arena->Hold();
  } else {
    block_->holders.fetch_add(1, std::memory_order_relaxed);
  }
}

void Text::Drop() noexcept {
  if (block_->arena != nullptr) {
    block_->arena->Release();
  } else if (block_->holders.fetch_sub(1, std::memory_order_acq_rel) == 1) {
    ::operator delete(block_);
  }
}

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

// FNV-1a over the code units: cheap for the short keys documents hold.
uint32_t HashKey(std::u16string_view key) {
  uint32_t h = 2166136261u;
  for (char16_t c : key) h = (h ^ c) * 16777619u;
  return h;
}

uint64_t Slot(uint32_t hash, uint32_t member) { return uint64_t{hash} << 32 | (member + 1); }

}  // namespace

uint32_t Dictionary::Lookup(std::u16string_view key) const {
  if (slot_count_ == 0) {
    for (size_t i = 0; i < members_.size(); ++i) {
      if (members_[i].first == key) return static_cast<uint32_t>(i);
    }
    return kNone;
  }
  return LookupHashed(key, HashKey(key));
}

uint32_t Dictionary::LookupHashed(std::u16string_view key, uint32_t hash) const {
  const size_t mask = slot_count_ - 1;
  for (size_t s = hash & mask;; s = (s + 1) & mask) {
    const uint64_t slot = slots_[s];
    if (slot == 0) return kNone;
    const uint32_t member = static_cast<uint32_t>(slot) - 1;
    if (slot >> 32 == hash && members_[member].first == key) return member;
  }
}

void Dictionary::IndexMember(uint32_t member, uint32_t hash) {
  const size_t mask = slot_count_ - 1;
  size_t s = hash & mask;
  while (slots_[s] != 0) s = (s + 1) & mask;
  slots_[s] = Slot(hash, member);
}

void Dictionary::Rehash(size_t slots) {
  const std::unique_ptr<uint64_t[]> old = std::exchange(slots_, std::make_unique<uint64_t[]>(slots));
  const size_t old_count = std::exchange(slot_count_, slots);
  if (old_count == 0) {
    for (uint32_t i = 0; i < members_.size(); ++i) IndexMember(i, HashKey(members_[i].first));
    return;
  }
  for (uint64_t slot : std::span(old.get(), old_count)) {
    if (slot != 0) IndexMember(static_cast<uint32_t>(slot) - 1, static_cast<uint32_t>(slot >> 32));
  }
}

void Dictionary::BuildIndex() { Rehash(std::bit_ceil(2 * members_.size())); }

void Dictionary::Add(Text key, Value value) {
  if (slot_count_ == 0) {
    if (Lookup(key) != kNone) Raise(ErrorNumber::kDuplicateKey);
    members_.EmplaceBack(std::move(key), std::move(value));
    if (members_.size() == kIndexThreshold) BuildIndex();
    return;
  }
  const uint32_t hash = HashKey(key);
  if (LookupHashed(key, hash) != kNone) Raise(ErrorNumber::kDuplicateKey);
  members_.EmplaceBack(std::move(key), std::move(value));
  const uint32_t member = static_cast<uint32_t>(members_.size() - 1);
  // Keep the load factor at or below one half.
  if (slot_count_ < 2 * members_.size()) Rehash(2 * slot_count_);
  IndexMember(member, hash);
}

void Dictionary::AdoptDistinct(std::span<Member> members, DocumentArena& arena) {
  members_.AdoptInto(members, arena.Allocate(members.size_bytes(), alignof(Member)));
  if (members_.size() >= kIndexThreshold) BuildIndex();
}

const Value* Dictionary::Find(std::u16string_view key) const {
  uint32_t i = Lookup(key);
  return i == kNone ? nullptr : &members_[i].second;
}

Value* Dictionary::Find(std::u16string_view key) {
  return const_cast<Value*>(std::as_const(*this).Find(key));
}

Value Dictionary::Item(std::u16string_view key) const {
  const Value* v = Find(key);
  return v ? *v : Value();
}

const Value& Collection::Item(int32_t index) const {
  if (index < 1 || index > Count()) Raise(ErrorNumber::kSubscriptOutOfRange);
  return items_[static_cast<size_t>(index) - 1];
}

void Collection::Adopt(std::span<Value> items, DocumentArena& arena) {
  items_.AdoptInto(items, arena.Allocate(items.size_bytes(), alignof(Value)));
}

}  // namespace comsvc
