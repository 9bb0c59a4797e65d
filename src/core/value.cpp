#include <comsvc/value.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <climits>
#include <cstring>
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

namespace detail {

void Release(Dictionary* node) noexcept { SharedNodes::Release(node); }
void Release(Collection* node) noexcept { SharedNodes::Release(node); }

}  // namespace detail

// Out of line, so that the copies a constant text cannot take are not
// inlined where the compiler would warn of them.
void Value::SetShortText(std::u16string_view s) noexcept { StoreShortText(s); }

void Value::RaiseWrongKind() { Raise(ErrorNumber::kTypeMismatch); }

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

}  // namespace

// Open addressing: each slot holds the key's hash in the high half and the
// member's index + 1 in the low half; 0 is free. The slot count is a power
// of two at least twice the member count.
// Aligned for its slots, which follow it, where size_t is narrower than them.
struct alignas(uint64_t) Dictionary::Index {
  size_t mask;  // slot count - 1

  uint64_t* Slots() noexcept { return reinterpret_cast<uint64_t*>(this + 1); }
  const uint64_t* Slots() const noexcept { return reinterpret_cast<const uint64_t*>(this + 1); }
  size_t SlotCount() const noexcept { return mask + 1; }

  void Insert(uint32_t member, uint32_t hash) noexcept {
    size_t s = hash & mask;
    while (Slots()[s] != 0) s = (s + 1) & mask;
    Slots()[s] = uint64_t{hash} << 32 | (member + 1);
  }

  uint32_t Find(std::span<const Member> members, std::u16string_view key, uint32_t hash) const noexcept {
    for (size_t s = hash & mask;; s = (s + 1) & mask) {
      const uint64_t slot = Slots()[s];
      if (slot == 0) return kNone;
      const uint32_t member = static_cast<uint32_t>(slot) - 1;
      if (slot >> 32 == hash && members[member].first == key) return member;
    }
  }
};

Dictionary::~Dictionary() { ::operator delete(index_.load(std::memory_order_relaxed)); }

Dictionary::Index* Dictionary::MakeIndex(size_t slots) const {
  auto* index = static_cast<Index*>(::operator new(sizeof(Index) + slots * sizeof(uint64_t)));
  index->mask = slots - 1;
  std::fill_n(index->Slots(), slots, 0);
  for (uint32_t i = 0; i < members_.size(); ++i) index->Insert(i, HashKey(members_[i].first));
  return index;
}

const Dictionary::Index* Dictionary::IndexFor() const {
  Index* index = index_.load(std::memory_order_acquire);
  if (index != nullptr || members_.size() < kIndexThreshold) return index;
  NoteChange();  // the index is heap memory that the dictionary frees
  Index* made = MakeIndex(std::bit_ceil(2 * members_.size()));
  if (index_.compare_exchange_strong(index, made, std::memory_order_acq_rel)) return made;
  ::operator delete(made);  // another thread's came first
  return index;
}

uint32_t Dictionary::Lookup(std::u16string_view key) const {
  if (const Index* index = IndexFor()) return index->Find(members_.View(), key, HashKey(key));
  for (size_t i = 0; i < members_.size(); ++i) {
    if (members_[i].first == key) return static_cast<uint32_t>(i);
  }
  return kNone;
}

void Dictionary::Add(Text key, Value value) {
  NoteChange();
  if (Lookup(key) != kNone) Raise(ErrorNumber::kDuplicateKey);
  members_.EmplaceBack(std::move(key), std::move(value));
  Index* index = index_.load(std::memory_order_relaxed);
  if (index == nullptr) return;
  // Keep the load factor at or below one half.
  if (index->SlotCount() < 2 * members_.size()) {
    index_.store(MakeIndex(2 * index->SlotCount()), std::memory_order_release);
    ::operator delete(index);
    return;
  }
  const uint32_t member = static_cast<uint32_t>(members_.size() - 1);
  index->Insert(member, HashKey(members_[member].first));
}

void Dictionary::AdoptDistinct(std::span<Member> members, DocumentArena& arena) {
  members_.AdoptInto(members, arena.Allocate(members.size_bytes(), alignof(Member)));
}

const Value* Dictionary::Find(std::u16string_view key) const {
  uint32_t i = Lookup(key);
  return i == kNone ? nullptr : &members_[i].second;
}

Value* Dictionary::Find(std::u16string_view key) {
  NoteChange();  // the value may be replaced or moved out
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
