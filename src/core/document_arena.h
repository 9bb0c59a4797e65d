// Memory for the containers of one document, read in one pass.
//
// A reader builds thousands of small containers, each a node and an element
// buffer. Taken from the general heap they cost two or more allocations
// apiece and end up scattered, so a large tree is slow to build, to walk and
// to free. The arena hands out blocks in the order the tree is built, from
// chunks that grow with the document, so the tree lies in memory in the order
// it is walked.
//
// Every node made with MakeInArena holds the arena once; the buffers the
// nodes use hold nothing, since a node outlives its own buffer. The chunks are
// given up when the last hold is released, so a node kept from a large
// document keeps the whole document's memory: the price of the speed. The
// thread that gives them up keeps those of its last document, up to 64 MiB,
// for the next one it reads, and frees them when it ends.
//
// Blocks are handed out by one thread, the reader's; holds may be released
// from any thread, like the shared pointers that carry them.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>

#include <comsvc/value.h>

namespace comsvc {

class DocumentArena;

// One hold on an arena, released when it goes.
struct ReleaseArenaHold {
  void operator()(DocumentArena* arena) const noexcept;
};
using ArenaHold = std::unique_ptr<DocumentArena, ReleaseArenaHold>;

class DocumentArena {
 public:
  static ArenaHold Create();

  DocumentArena(const DocumentArena&) = delete;
  DocumentArena& operator=(const DocumentArena&) = delete;

  // `bytes` of memory aligned to `align` (at most alignof(max_align_t)),
  // valid until the last hold is released.
  void* Allocate(size_t bytes, size_t align) {
    // Most blocks fit in the current chunk: that case is inline.
    const uintptr_t address = (reinterpret_cast<uintptr_t>(next_) + align - 1) & ~(uintptr_t{align} - 1);
    if (next_ != nullptr && address <= reinterpret_cast<uintptr_t>(end_) &&
        reinterpret_cast<uintptr_t>(end_) - address >= bytes) {
      char* block = next_ + (address - reinterpret_cast<uintptr_t>(next_));
      next_ = block + bytes;
      return block;
    }
    return AllocateInNewChunk(bytes);
  }
  void Hold(size_t count = 1) noexcept { holds_.fetch_add(count, std::memory_order_relaxed); }
  // Drops `count` holds; the last one frees every chunk and the arena itself.
  void Release(size_t count = 1) noexcept;

  // A tree just read is one root that nothing else refers to, over nodes
  // and texts that all lie here and each hold the arena once. The reader
  // seals it once its own holds are gone: every hold left is then the
  // tree's. Until a node notes a change (a new member or item, a value
  // handed out for writing, an index made, a second reference to a node),
  // the root is the only node whose last reference can go, and its going
  // gives back the whole tree's holds at once.
  void SealTree() noexcept {
    tree_holds_ = holds_.load(std::memory_order_relaxed);
    changed_.store(false, std::memory_order_release);
  }
  void NoteChange() noexcept {
    // Read first, so that threads reading a shared tree do not keep
    // writing to one line.
    if (!changed_.load(std::memory_order_relaxed)) changed_.store(true, std::memory_order_release);
  }
  // The holds of a sealed tree that nothing changed; 0 for any other.
  size_t HoldsOfUnchangedTree() const noexcept {
    return changed_.load(std::memory_order_acquire) ? 0 : tree_holds_;
  }

 private:
  struct Chunk;
  class ChunkCache;

  DocumentArena();
  ~DocumentArena();
  // `bytes` of memory, in a new chunk or in one of their own.
  void* AllocateInNewChunk(size_t bytes);
  // A chunk holding just one block of `bytes`.
  char* OwnChunk(size_t bytes);
  // A new current chunk, the next in size.
  void StartChunk();

  std::atomic<size_t> holds_{1};
  std::atomic<bool> changed_{true};  // until a tree is sealed
  size_t tree_holds_ = 0;
  Chunk* chunks_ = nullptr;  // newest first
  char* next_ = nullptr;     // free space in the current chunk
  char* end_ = nullptr;
  size_t next_chunk_size_;
};

inline void ReleaseArenaHold::operator()(DocumentArena* arena) const noexcept { arena->Release(); }

// Holds on an arena taken many at a time and handed out one by one, for a
// reader that makes thousands of holders; those not handed out are given
// back at the end.
class ArenaHoldCredit {
 public:
  explicit ArenaHoldCredit(DocumentArena& arena) noexcept : arena_(arena) {}
  ArenaHoldCredit(const ArenaHoldCredit&) = delete;
  ArenaHoldCredit& operator=(const ArenaHoldCredit&) = delete;
  ~ArenaHoldCredit() {
    if (left_ > 0) arena_.Release(left_);
  }

  DocumentArena& Arena() const noexcept { return arena_; }
  // One hold, now owned by the caller.
  void Take() noexcept {
    if (left_ == 0) {
      arena_.Hold(kBatch);
      left_ = kBatch;
    }
    --left_;
  }

 private:
  static constexpr size_t kBatch = 4096;
  DocumentArena& arena_;
  size_t left_ = 0;
};

namespace detail {

// Makes texts, dictionaries and collections in an arena, and gives back the
// memory of the nodes that go.
class SharedNodes {
 public:
  // A copy of `text` in the credit's arena, holding it with a hold from
  // the credit.
  static Text TextInArena(std::u16string_view text, ArenaHoldCredit& credit) {
    if (text.empty()) return Text();
    DocumentArena& arena = credit.Arena();
    auto* block = static_cast<Text::Block*>(arena.Allocate(Text::BlockBytes(text), alignof(Text::Block)));
    block->arena = &arena;
    block->length = static_cast<uint32_t>(text.size());
    std::memcpy(block->Characters(), text.data(), text.size() * sizeof(char16_t));
    credit.Take();
    return Text(block);
  }

  // A string value of `text`: kept in the value when short, else in the
  // credit's arena like TextInArena.
  static Value StringInArena(std::u16string_view text, ArenaHoldCredit& credit) {
    Value value;
    if (text.size() <= Value::kShortCapacity) {
      value.StoreShortText(text);
      return value;
    }
    value.SetHandle(Value::Tag::kString, TextInArena(text, credit));
    return value;
  }

  // Another holder of `text`, which lies in the credit's arena (or is
  // empty), holding it with a hold from the credit.
  static Text ShareText(const Text& text, ArenaHoldCredit& credit) noexcept {
    if (text.block_ == nullptr) return Text();
    credit.Take();
    return Text(text.block_);
  }

  // A node made in the credit's arena, holding it with a hold from the
  // credit for as long as the node lives.
  template <typename T>
  static Ref<T> MakeInArena(ArenaHoldCredit& credit) {
    DocumentArena& arena = credit.Arena();
    T* node = std::construct_at(static_cast<T*>(arena.Allocate(sizeof(T), alignof(T))));
    node->arena_ = &arena;
    credit.Take();
    return Ref<T>(node);
  }

  template <typename T>
  static void Release(T* node) noexcept {
    if (node->references_.fetch_sub(1, std::memory_order_acq_rel) != 1) return;
    DocumentArena* const arena = node->arena_;
    if (arena == nullptr) {
      delete node;
      return;
    }
    // The root of a tree as read goes with every node and text under it,
    // none of which has anything to destroy but its hold: the walk that
    // finds them is skipped.
    if (const size_t holds = arena->HoldsOfUnchangedTree()) return arena->Release(holds);
    arena->Release(Destroy(*node));
  }

  // Seals the tree under `root` in its document's arena (see SealTree); the
  // reader calls it once it has let go of the arena.
  static void SealTree(const Value& root) noexcept {
    const SharedNode* node = nullptr;
    if (root.GetTag() == Value::Tag::kObject) node = root.Handle<Ref<Dictionary>>().node_;
    if (root.GetTag() == Value::Tag::kArray) node = root.Handle<Ref<Collection>>().node_;
    if (node != nullptr && node->arena_ != nullptr) node->arena_->SealTree();
  }

 private:
  // Destroys a node in an arena whose last reference went, and returns the
  // holds on the arena that it and its contents had, to be given back at
  // once: the texts and the unshared nodes it holds in the same arena go
  // with it without giving back their holds one by one.
  template <typename T>
  static size_t Destroy(T& node) noexcept {
    const size_t holds = 1 + LetGoOfContents(node, node.arena_);
    std::destroy_at(&node);
    return holds;
  }

  // Once every element is let go of, none has anything left to destroy,
  // and the node's store forgets them instead of passing over them again.
  static size_t LetGoOfContents(Dictionary& node, const DocumentArena* arena) noexcept {
    size_t holds = 0;
    bool all_inert = true;
    for (auto& [key, value] : node.members_.View()) {
      holds += key.LetGoIn(arena) + LetGoOf(value, arena);
      all_inert = all_inert && key.empty() && value.Inert();
    }
    if (all_inert) node.members_.Forget();
    return holds;
  }
  static size_t LetGoOfContents(Collection& node, const DocumentArena* arena) noexcept {
    size_t holds = 0;
    bool all_inert = true;
    for (Value& item : node.items_.View()) {
      holds += LetGoOf(item, arena);
      all_inert = all_inert && item.Inert();
    }
    if (all_inert) node.items_.Forget();
    return holds;
  }

  static size_t LetGoOf(Value& value, const DocumentArena* arena) noexcept {
    switch (value.GetTag()) {
      case Value::Tag::kString: return value.Handle<Text>().LetGoIn(arena);
      case Value::Tag::kObject: return LetGoOfNode(value.Handle<Ref<Dictionary>>(), arena);
      case Value::Tag::kArray: return LetGoOfNode(value.Handle<Ref<Collection>>(), arena);
      default: return 0;
    }
  }

  // A node that lies in `arena` and that nothing else refers to goes here;
  // any other is left to its reference.
  template <typename T>
  static size_t LetGoOfNode(Ref<T>& ref, const DocumentArena* arena) noexcept {
    T* const node = ref.node_;
    if (node == nullptr || node->arena_ != arena || node->references_.load(std::memory_order_acquire) != 1) return 0;
    ref.node_ = nullptr;
    return Destroy(*node);
  }
};

}  // namespace detail

inline void SealTree(const Value& root) noexcept { detail::SharedNodes::SealTree(root); }

inline Text TextInArena(std::u16string_view text, ArenaHoldCredit& credit) {
  return detail::SharedNodes::TextInArena(text, credit);
}
inline Value StringInArena(std::u16string_view text, ArenaHoldCredit& credit) {
  return detail::SharedNodes::StringInArena(text, credit);
}
inline Text ShareText(const Text& text, ArenaHoldCredit& credit) noexcept {
  return detail::SharedNodes::ShareText(text, credit);
}

// A node made in the credit's arena, holding it for as long as it lives.
template <typename T>
Ref<T> MakeInArena(ArenaHoldCredit& credit) {
  return detail::SharedNodes::MakeInArena<T>(credit);
}

}  // namespace comsvc
