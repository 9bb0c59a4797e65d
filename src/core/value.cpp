#include <comsvc/value.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <climits>
#include <new>
#include <span>
#include <utility>

#include <comsvc/runtime_error.h>
#include "core/nodes.h"

namespace comsvc {

void* HeapAllocate(size_t bytes) {
  return RaisingOutOfMemory([bytes] { return ::operator new(bytes); });
}

// A text with a block of its own counts its holders, so its count is never
// 0 while it is held; one in a document's arena counts none (0) and holds
// the arena, found from the block's address, once per holder instead.
Text::Text(std::u16string_view text) {
  if (text.empty()) return;
  // Texts, like the containers' counts, stay within 31 bits.
  if (text.size() > INT32_MAX) Raise(ErrorNumber::kOutOfMemory);
  block_ = static_cast<Block*>(HeapAllocate(sizeof(Block) + text.size() * sizeof(char16_t)));
  *block_ = {static_cast<uint32_t>(text.size()), 1};
  std::ranges::copy(text, TextParts::CharactersOf(block_));
}

void Text::Retain(Block* block) noexcept {
  if (TextParts::InArena(block)) {
    DocumentArena::OfBlock(block)->Hold();
  } else {
    std::atomic_ref(block->holders).fetch_add(1, std::memory_order_relaxed);
  }
}

void Text::Drop(Block* block) noexcept {
  if (TextParts::InArena(block)) {
    DocumentArena::OfBlock(block)->Release();
  } else if (std::atomic_ref(block->holders).fetch_sub(1, std::memory_order_acq_rel) == 1) {
    ::operator delete(block);
  }
}

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
struct alignas(uint64_t) DictionaryIndex {
  size_t mask;  // slot count - 1

  uint64_t* Slots() noexcept { return reinterpret_cast<uint64_t*>(this + 1); }
  const uint64_t* Slots() const noexcept { return reinterpret_cast<const uint64_t*>(this + 1); }
  size_t SlotCount() const noexcept { return mask + 1; }

  void Insert(uint32_t member, uint32_t hash) noexcept {
    size_t s = hash & mask;
    while (Slots()[s] != 0) s = (s + 1) & mask;
    Slots()[s] = uint64_t{hash} << 32 | (member + 1);
  }

  using Member = Dictionary::Member;
  static constexpr uint32_t kNone = DictionaryNode::kNone;

  uint32_t Find(std::span<const Member> members, std::u16string_view key, uint32_t hash) const noexcept {
    for (size_t s = hash & mask;; s = (s + 1) & mask) {
      const uint64_t slot = Slots()[s];
      if (slot == 0) return kNone;
      const uint32_t member = static_cast<uint32_t>(slot) - 1;
      if (slot >> 32 == hash && members[member].first == key) return member;
    }
  }
};

DictionaryNode::~DictionaryNode() { ::operator delete(IndexSlot().load(std::memory_order_relaxed)); }

DictionaryIndex* DictionaryNode::MakeIndex(size_t slots) const {
  auto* index = static_cast<Index*>(HeapAllocate(sizeof(Index) + slots * sizeof(uint64_t)));
  index->mask = slots - 1;
  std::fill_n(index->Slots(), slots, 0);
  const std::span<const Member> members = Elements();
  for (uint32_t i = 0; i < members.size(); ++i) index->Insert(i, HashKey(members[i].first));
  return index;
}

const DictionaryIndex* DictionaryNode::IndexFor() const {
  Index* index = IndexSlot().load(std::memory_order_acquire);
  if (index != nullptr || Elements().size() < kIndexThreshold) return index;
  Index* made = MakeIndex(std::bit_ceil(2 * Elements().size()));
  NoteChange();
  if (IndexSlot().compare_exchange_strong(index, made, std::memory_order_acq_rel)) return made;
  ::operator delete(made);  // another thread's came first
  return index;
}

uint32_t DictionaryNode::Lookup(std::u16string_view key) const {
  const std::span<const Member> members = Elements();
  if (const Index* index = IndexFor()) return index->Find(members, key, HashKey(key));
  for (size_t i = 0; i < members.size(); ++i) {
    if (members[i].first == key) return static_cast<uint32_t>(i);
  }
  return kNone;
}

void DictionaryNode::Add(Text key, Value value) {
  NoteChange();
  if (Lookup(key) != kNone) Raise(ErrorNumber::kDuplicateKey);
  EmplaceBack(std::move(key), std::move(value));
  const std::span<const Member> members = Elements();
  Index* index = IndexSlot().load(std::memory_order_relaxed);
  if (index == nullptr) return;
  // Keep the load factor at or below one half.
  if (index->SlotCount() < 2 * members.size()) {
    IndexSlot().store(MakeIndex(2 * index->SlotCount()), std::memory_order_release);
    ::operator delete(index);
    return;
  }
  const uint32_t member = static_cast<uint32_t>(members.size() - 1);
  index->Insert(member, HashKey(members[member].first));
}

void Dictionary::Add(Text key, Value value) { NodeOf(*this).Add(std::move(key), std::move(value)); }

void Dictionary::Add(std::u16string_view key, Value value) { NodeOf(*this).Add(Text(key), std::move(value)); }

bool Dictionary::Exists(std::u16string_view key) const { return NodeOf(*this).Lookup(key) != DictionaryNode::kNone; }

const Value* Dictionary::Find(std::u16string_view key) const {
  const DictionaryNode& node = NodeOf(*this);
  const uint32_t i = node.Lookup(key);
  return i == DictionaryNode::kNone ? nullptr : &node.Elements()[i].second;
}

// The value found may be replaced or moved out: a change.
Value* Dictionary::Find(std::u16string_view key) {
  DictionaryNode& node = NodeOf(*this);
  const std::span<Member> members = node.ElementsToChange();
  const uint32_t i = node.Lookup(key);
  return i == DictionaryNode::kNone ? nullptr : &members[i].second;
}

Value Dictionary::Item(std::u16string_view key) const {
  const Value* v = Find(key);
  return v ? *v : Value();
}

int32_t Dictionary::Count() const noexcept { return static_cast<int32_t>(NodeOf(*this).Elements().size()); }

std::span<const Dictionary::Member> Dictionary::Members() const noexcept { return NodeOf(*this).Elements(); }

void Collection::Add(Value value) { NodeOf(*this).EmplaceBack(std::move(value)); }

int32_t Collection::Count() const noexcept { return static_cast<int32_t>(NodeOf(*this).Elements().size()); }

const Value& Collection::Item(int32_t index) const {
  if (index < 1 || index > Count()) Raise(ErrorNumber::kSubscriptOutOfRange);
  return NodeOf(*this).Elements()[static_cast<size_t>(index) - 1];
}

std::span<const Value> Collection::Items() const noexcept { return NodeOf(*this).Elements(); }

}  // namespace comsvc
