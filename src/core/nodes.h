// The library's side of values: the nodes behind the Dictionary and
// Collection interfaces, and the parts of texts, values and references that
// the public header keeps for the library's own classes.
#pragma once

#include <atomic>
#include <cstdint>
#include <span>
#include <string_view>
#include <type_traits>

#include <comsvc/value.h>

#include "core/document_arena.h"
#include "core/element_store.h"

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
  // The arena that holds the text's characters; none for an empty text or
  // one with a block of its own.
  static DocumentArena* ArenaOf(const Text& text) noexcept {
    const Block* block = BlockOf(text);
    return block == nullptr ? nullptr : static_cast<DocumentArena*>(block->owner);
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

// What every node has: the count of references to it, the document whose
// arena holds it (none for one made on its own), and its elements.
//
// A tree just read is freed in one step for as long as it is as it was read
// (see DocumentArena::SealTree), so its document must hear of every change
// made to it after the read. Hence the one way to write to a node's
// elements, ElementsToChange(), and the one way to add a reference,
// AddReference(), both tell the document first.
template <typename Element>
class NodeCore {
 public:
  NodeCore() = default;
  // A node of `arena`'s document, taking `elements` into `memory`, lent for
  // exactly that many.
  NodeCore(DocumentArena& arena, std::span<Element> elements, void* memory) noexcept
      : arena_(&arena), elements_(elements, memory) {}
  NodeCore(const NodeCore&) = delete;
  NodeCore& operator=(const NodeCore&) = delete;

  DocumentArena* Arena() const noexcept { return arena_; }
  std::span<const Element> Elements() const noexcept { return elements_.View(); }
  ElementStore<Element>& ElementsToChange() noexcept {
    NoteChange();
    return elements_;
  }
  void NoteChange() const noexcept {
    if (arena_ != nullptr) arena_->NoteChange();
  }

  void AddReference() noexcept {
    references_.fetch_add(1, std::memory_order_relaxed);
    NoteChange();
  }
  // Whether the reference dropped was the last.
  bool DropReference() noexcept { return references_.fetch_sub(1, std::memory_order_acq_rel) == 1; }
  size_t References() const noexcept { return references_.load(std::memory_order_acquire); }

  // For a node whose last reference has gone, as it is destroyed.
  ElementStore<Element>& ElementsToFree() noexcept { return elements_; }
  bool ElementsLent() const noexcept { return !elements_.Owned(); }

 private:
  std::atomic<size_t> references_{1};
  DocumentArena* arena_ = nullptr;
  ElementStore<Element> elements_;
};

class DictionaryNode final : public Dictionary, public NodeCore<Dictionary::Member> {
 public:
  using Interface = Dictionary;
  static constexpr uint32_t kNone = UINT32_MAX;

  using NodeCore::NodeCore;
  ~DictionaryNode();

  // The member's index, or kNone.
  uint32_t Lookup(std::u16string_view key) const;
  void Add(Text key, Value value);
  bool HasIndex() const noexcept { return index_.load(std::memory_order_acquire) != nullptr; }

 private:
  struct Index;
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
  // publishing it is a change its document hears of.
  mutable std::atomic<Index*> index_{nullptr};
};

class CollectionNode final : public Collection, public NodeCore<Value> {
 public:
  using Interface = Collection;
  using NodeCore::NodeCore;
};

inline DictionaryNode& NodeOf(Dictionary& d) noexcept { return static_cast<DictionaryNode&>(d); }
inline const DictionaryNode& NodeOf(const Dictionary& d) noexcept { return static_cast<const DictionaryNode&>(d); }
inline CollectionNode& NodeOf(Collection& c) noexcept { return static_cast<CollectionNode&>(c); }
inline const CollectionNode& NodeOf(const Collection& c) noexcept { return static_cast<const CollectionNode&>(c); }

}  // namespace comsvc
