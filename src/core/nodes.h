// The library's side of values: the nodes behind the Dictionary and
// Collection interfaces, and the parts of texts, values and references that
// the public header keeps for the library's own classes.
#pragma once

#include <algorithm>
#include <atomic>
#include <memory>
#include <cstdint>
#include <cstring>
#include <span>
#include <string_view>
#include <type_traits>

#include <comsvc/runtime_error.h>
#include <comsvc/value.h>

#include "core/document_arena.h"

namespace comsvc {

// Debug and sanitizer builds check, before a tree is freed in one step,
// that it is still as it was read (see nodes.cpp).
#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define COMSVC_CHECK_READ_TREES
#endif
#endif
#if !defined(NDEBUG) || defined(__SANITIZE_ADDRESS__)
#define COMSVC_CHECK_READ_TREES
#endif
#ifdef COMSVC_CHECK_READ_TREES
inline constexpr bool kChecksReadTrees = true;
#else
inline constexpr bool kChecksReadTrees = false;
#endif

class TextParts : public Text {
 public:
  using Text::Block;
  using Text::BlockOf;

  // A text that takes over a hold on `block` counted by the caller.
  static Text Adopt(Block* block) noexcept { return TextParts(block); }
  static char16_t* CharactersOf(Block* block) noexcept { return reinterpret_cast<char16_t*>(block + 1); }
  // Whether `block` lies in a document's arena: a block of its own counts
  // at least its one holder. Read atomically, as other holders may be
  // counting at the same time.
  static bool InArena(Block* block) noexcept {
    return std::atomic_ref(block->holders).load(std::memory_order_relaxed) == 0;
  }
  // The arena that holds the text's characters; none for an empty text or
  // one with a block of its own.
  static DocumentArena* ArenaOf(const Text& text) noexcept {
    Block* block = BlockOf(text);
    return block == nullptr || !InArena(block) ? nullptr : DocumentArena::OfBlock(block);
  }

 private:
  explicit TextParts(Block* block) noexcept : Text(block) {}
};

class ValueParts : public Value {
 public:
  using Value::kShortCapacity;
  using Value::LongText;
  using Value::ShortText;
};

template <typename T>
class RefParts : public Ref<T> {
 public:
  // A reference that takes the one a new node starts with.
  static Ref<T> Adopt(T* node) noexcept { return RefParts(node); }

 private:
  explicit RefParts(T* node) noexcept : Ref<T>(node) {}
};

// `bytes` from the heap; error 7 when memory runs out, as every service
// reports it.
void* HeapAllocate(size_t bytes);

// The hash index of a large dictionary (see value.cpp).
struct DictionaryIndex;

// What every node has: the count of references to it, its elements, and
// whether it lies in a document's arena (which one is told by its address,
// see DocumentArena::OfBlock).
//
// A node is eight bytes (sixteen for a dictionary, with its index) followed
// by its tail. A node read from a document keeps its elements in the tail,
// exactly as many as it has: a document holds millions of small containers,
// and a container one level deep in another costs only its value and these
// eight bytes. The first element added after that moves them all into a
// buffer of their own that grows geometrically; the tail then holds the
// buffer's address and capacity. A node made on its own starts that way.
//
// A tree just read is freed in one step for as long as it is as it was read
// (see DocumentArena::SealTree), so its document must hear of every change
// made to it after the read. Hence the one way to write to a node's
// elements, ElementsToChange() (and EmplaceBack()), and the one way to add a
// reference, AddReference(), both tell the document first.
template <typename Element, typename Extra>
class alignas(8) NodeCore {
  static_assert(std::is_nothrow_move_constructible_v<Element>);

  // The tail of a node whose elements lie in a buffer of their own.
  struct Spilled {
    Element* data;
    uint32_t capacity;
  };

 public:
  // Counts stay within 30 bits; the state's top two bits are flags.
  static constexpr uint32_t kMaxCapacity = (uint32_t{1} << 30) - 1;
  // The tail is never shorter than a buffer's address and capacity.
  static constexpr size_t kMinTail = (sizeof(Spilled) + 7) / 8 * 8;

  // The bytes a node of a document takes with `count` elements in its tail.
  static constexpr size_t BytesWith(size_t count) noexcept {
    return sizeof(NodeCore) + std::max(kMinTail, count * sizeof(Element));
  }
  // The bytes a node made on its own takes.
  static constexpr size_t kOwnBytes = sizeof(NodeCore) + kMinTail;

  // A node made on its own, in kOwnBytes, with no elements.
  NodeCore() noexcept : state_(kSpilled) { std::construct_at(SpilledPart(), Spilled{nullptr, 0}); }
  // A node of a document, in BytesWith(elements.size()) of its arena, taking
  // `elements` (at most kMaxCapacity) into its tail by relocation: their
  // bytes are copied, and the caller ends their lives where they were
  // without destroying them. Values and members are relocatable: a value is
  // two words that nothing points into, a member a text and a value.
  explicit NodeCore(std::span<Element> elements) noexcept
      : state_(static_cast<uint32_t>(elements.size()) | kInArena) {
    if (!elements.empty()) {
      std::memcpy(static_cast<void*>(Tail()), static_cast<const void*>(elements.data()), elements.size_bytes());
    }
  }
  NodeCore(const NodeCore&) = delete;
  NodeCore& operator=(const NodeCore&) = delete;
  ~NodeCore() {
    std::destroy_n(Data(), Count());
    if (state_ & kSpilled) ::operator delete(SpilledPart()->data);
  }

  DocumentArena* Arena() const noexcept { return state_ & kInArena ? DocumentArena::OfBlock(this) : nullptr; }
  std::span<const Element> Elements() const noexcept { return {Data(), Count()}; }
  std::span<Element> ElementsToChange() noexcept {
    NoteChange();
    return {Data(), Count()};
  }
  template <typename... Args>
  void EmplaceBack(Args&&... args) {
    NoteChange();
    const uint32_t count = Count();
    if (!(state_ & kSpilled) || count == SpilledPart()->capacity) Grow();
    std::construct_at(SpilledPart()->data + count, std::forward<Args>(args)...);
    ++state_;
  }
  void NoteChange() const noexcept {
    if (DocumentArena* arena = Arena()) arena->NoteChange();
  }

  void AddReference() noexcept {
    references_.fetch_add(1, std::memory_order_relaxed);
    NoteChange();
  }
  // Whether the reference dropped was the last.
  bool DropReference() noexcept { return references_.fetch_sub(1, std::memory_order_acq_rel) == 1; }
  size_t References() const noexcept { return references_.load(std::memory_order_acquire); }

  // For a node whose last reference has gone, as it is destroyed: its
  // elements, and a way to end their lives without destroying them, for
  // elements whose destruction the caller has done or made unnecessary.
  std::span<Element> ElementsToFree() noexcept { return {Data(), Count()}; }
  void ForgetElements() noexcept { state_ &= kFlags; }
  bool ElementsLent() const noexcept { return !(state_ & kSpilled); }

 protected:
  Extra& ExtraPart() const noexcept { return extra_; }

 private:
  static constexpr uint32_t kSpilled = uint32_t{1} << 30;  // the elements lie in a buffer of their own
  static constexpr uint32_t kInArena = uint32_t{1} << 31;  // the node lies in a document's arena
  static constexpr uint32_t kFlags = kSpilled | kInArena;

  uint32_t Count() const noexcept { return state_ & ~kFlags; }
  Element* Tail() const noexcept {
    return reinterpret_cast<Element*>(const_cast<char*>(reinterpret_cast<const char*>(this)) + sizeof(NodeCore));
  }
  Spilled* SpilledPart() const noexcept { return reinterpret_cast<Spilled*>(Tail()); }
  Element* Data() const noexcept { return state_ & kSpilled ? SpilledPart()->data : Tail(); }

  void Grow() {
    const uint32_t count = Count();
    if (count > kMaxCapacity / 2) Raise(ErrorNumber::kOutOfMemory);
    const uint32_t capacity = count == 0 ? 1 : 2 * count;
    auto* data = static_cast<Element*>(HeapAllocate(capacity * sizeof(Element)));
    Element* const old = Data();
    std::uninitialized_move(old, old + count, data);
    std::destroy_n(old, count);
    if (state_ & kSpilled) {
      ::operator delete(SpilledPart()->data);
    } else {
      state_ |= kSpilled;  // the tail now holds the buffer
    }
    std::construct_at(SpilledPart(), Spilled{data, capacity});
  }

  std::atomic<uint32_t> references_{1};
  uint32_t state_;  // the count of elements, and the flags
  [[no_unique_address]] mutable Extra extra_{};
};

struct NoExtra {};

class DictionaryNode final : public Dictionary, public NodeCore<Dictionary::Member, std::atomic<DictionaryIndex*>> {
 public:
  using Interface = Dictionary;
  static constexpr uint32_t kNone = UINT32_MAX;

  using NodeCore::NodeCore;
  ~DictionaryNode();

  // The member's index, or kNone.
  uint32_t Lookup(std::u16string_view key) const;
  void Add(Text key, Value value);
  bool HasIndex() const noexcept { return IndexSlot().load(std::memory_order_acquire) != nullptr; }

 private:
  using Index = DictionaryIndex;
  // Below this size a linear scan over the keys costs about what hashing
  // would, and no index is kept: most objects in documents are this small.
  static constexpr size_t kIndexThreshold = 16;

  // The index, made at the first look-up that needs one; nullptr below the
  // threshold.
  const Index* IndexFor() const;
  Index* MakeIndex(size_t slots) const;

  // A dictionary read from a document is usually walked, seldom searched,
  // so its index is made by the first search, and a search on a shared
  // tree may be the first on several threads at once: the first index
  // published wins. The index is heap memory that the node frees, so
  // publishing it is a change its document hears of. It lies in the node's
  // extra part.
  std::atomic<Index*>& IndexSlot() const noexcept { return ExtraPart(); }
};

class CollectionNode final : public Collection, public NodeCore<Value, NoExtra> {
 public:
  using Interface = Collection;
  using NodeCore::NodeCore;
};

// A node's tail follows it directly.
static_assert(sizeof(CollectionNode) == sizeof(NodeCore<Value, NoExtra>) && sizeof(CollectionNode) == 8);
static_assert(sizeof(DictionaryNode) == sizeof(NodeCore<Dictionary::Member, std::atomic<DictionaryIndex*>>));

inline DictionaryNode& NodeOf(Dictionary& d) noexcept { return static_cast<DictionaryNode&>(d); }
inline const DictionaryNode& NodeOf(const Dictionary& d) noexcept { return static_cast<const DictionaryNode&>(d); }
inline CollectionNode& NodeOf(Collection& c) noexcept { return static_cast<CollectionNode&>(c); }
inline const CollectionNode& NodeOf(const Collection& c) noexcept { return static_cast<const CollectionNode&>(c); }

}  // namespace comsvc
