// Memory for the containers of one document, read in one pass.
//
// A reader builds thousands of small containers, each a node and an element
// buffer. Taken from the general heap they cost two or more allocations
// apiece and end up scattered, so a large tree is slow to build, to walk and
// to free. The arena hands out blocks in the order the tree is built, from
// chunks that grow with the document, so the tree lies in memory in the order
// it is walked.
//
// Every node made with ArenaAllocator holds the arena once; the buffers the
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

// Allocates shared nodes in an arena; each allocation holds it.
template <typename T>
class ArenaAllocator {
 public:
  using value_type = T;

  explicit ArenaAllocator(DocumentArena& arena) noexcept : arena_(&arena) {}
  template <typename U>
  ArenaAllocator(const ArenaAllocator<U>& other) noexcept : arena_(other.arena_) {}

  T* allocate(size_t n) {
    void* block = arena_->Allocate(n * sizeof(T), alignof(T));
    arena_->Hold();
    return static_cast<T*>(block);
  }
  void deallocate(T*, size_t) noexcept { arena_->Release(); }

  template <typename U>
  bool operator==(const ArenaAllocator<U>& other) const noexcept {
    return arena_ == other.arena_;
  }

 private:
  template <typename U>
  friend class ArenaAllocator;
  DocumentArena* arena_;
};

// A node made in `arena`, holding it for as long as the node lives.
template <typename T>
std::shared_ptr<T> MakeInArena(DocumentArena& arena) {
  return std::allocate_shared<T>(ArenaAllocator<T>(arena));
}

}  // namespace comsvc
