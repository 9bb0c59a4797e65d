// Memory for the containers of one document, read in one pass.
//
// A reader builds thousands of small containers, each a node and its
// elements. Taken from the general heap they cost one or more allocations
// apiece and end up scattered, so a large tree is slow to build, to walk and
// to free. The arena hands out blocks in the order the tree is built, from
// chunks that grow with the document, so the tree lies in memory in the order
// it is walked.
//
// Every node and text made in it (see TreeBuilder) holds the arena once.
// The chunks are given up when the last hold is released, so a node kept
// from a large document keeps the whole document's memory: the price of the
// speed. The thread that gives them up keeps those of its last document, up
// to 64 MiB, for the next one it reads, and frees them when it ends.
//
// Every chunk is aligned to kChunkAlignment, and a chunk of the usual kind is
// no larger, so a node tells its document by its own address (OfBlock); a
// block too large for such a chunk gets one of its own, at its start.
//
// Blocks are handed out by one thread, the reader's; holds may be released
// from any thread, like the shared pointers that carry them.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
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
  static constexpr size_t kChunkAlignment = size_t{1} << 20;

  static ArenaHold Create();

  // The arena of a block that Allocate returned, for a block that starts
  // within kChunkAlignment bytes of its chunk: any block of a chunk of the
  // usual kind, and the one block of a chunk of its own.
  static DocumentArena* OfBlock(const void* block) noexcept {
    const uintptr_t chunk = reinterpret_cast<uintptr_t>(block) & ~(uintptr_t{kChunkAlignment} - 1);
    return *reinterpret_cast<DocumentArena* const*>(chunk);
  }

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

}  // namespace comsvc
