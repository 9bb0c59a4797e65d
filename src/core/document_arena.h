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
#include <memory>

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
  void* Allocate(size_t bytes, size_t align);
  void Hold(size_t count = 1) noexcept { holds_.fetch_add(count, std::memory_order_relaxed); }
  // Drops `count` holds; the last one frees every chunk and the arena itself.
  void Release(size_t count = 1) noexcept;

 private:
  struct Chunk;
  class ChunkCache;

  DocumentArena();
  ~DocumentArena();
  // A chunk holding just one block of `bytes`.
  char* OwnChunk(size_t bytes);
  // A new current chunk, the next in size.
  void StartChunk();

  std::atomic<size_t> holds_{1};
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

// Makes dictionaries and collections in an arena, and gives back the
// memory of those that go.
class SharedNodes {
 public:
  // A node made in `arena`, holding it for as long as the node lives.
  template <typename T>
  static Ref<T> MakeInArena(DocumentArena& arena) {
    T* node = std::construct_at(static_cast<T*>(arena.Allocate(sizeof(T), alignof(T))));
    node->arena_ = &arena;
    arena.Hold();
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
    // The node's own hold and those of its texts, given back at once.
    const size_t holds = 1 + LetGoOfTexts(*node, arena);
    std::destroy_at(node);
    arena->Release(holds);
  }

 private:
  // Lets go of the texts in `node` that lie in its arena, without giving
  // back their holds one by one, and returns how many there were; the
  // holds are given back after the node is gone.
  static size_t LetGoOfTexts(Dictionary& node, const DocumentArena* arena) noexcept {
    size_t count = 0;
    for (auto& [key, value] : node.members_.View()) count += key.LetGoIn(arena) + LetGoOfText(value, arena);
    return count;
  }
  static size_t LetGoOfTexts(Collection& node, const DocumentArena* arena) noexcept {
    size_t count = 0;
    for (Value& item : node.items_.View()) count += LetGoOfText(item, arena);
    return count;
  }
  static bool LetGoOfText(Value& value, const DocumentArena* arena) noexcept {
    Text* text = std::get_if<Text>(&value.v_);
    return text != nullptr && text->LetGoIn(arena);
  }
};

}  // namespace detail

template <typename T>
Ref<T> MakeInArena(DocumentArena& arena) {
  return detail::SharedNodes::MakeInArena<T>(arena);
}

}  // namespace comsvc
