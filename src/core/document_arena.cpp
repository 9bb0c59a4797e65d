#include "core/document_arena.h"

#include <algorithm>
#include <cstdint>
#include <new>
#include <utility>

namespace comsvc {

namespace {

// The first chunk suits a small script; each next one doubles, up to the
// largest, so a document of any size needs few chunks and a small one
// wastes little. Sizes count the chunk's header; the largest is the
// alignment, so that every block in it lies within its first aligned span.
constexpr size_t kFirstChunkSize = 4096;
constexpr size_t kLargestChunkSize = DocumentArena::kChunkAlignment;

// Blocks larger than this share of a chunk get a chunk of their own.
constexpr size_t kOwnChunkShare = 4;

// Each thread keeps up to this much of the chunks of finished documents.
constexpr size_t kMaxKeptBytes = size_t{64} << 20;

// Where thread-local storage is emulated (mingw-w64's Windows targets), one
// thread-local variable may be freed before another's destructor has run at
// thread exit, so the cache below could not tell safely that it is gone.
// There every document gives its chunks straight back.
#if defined(_WIN32)
constexpr bool kKeepChunksPerThread = false;
#else
constexpr bool kKeepChunksPerThread = true;
#endif

}  // namespace

// Its arena comes first, where OfBlock finds it.
struct alignas(std::max_align_t) DocumentArena::Chunk {
  DocumentArena* arena;
  Chunk* older;
  size_t size;  // bytes of memory after the header
  char* Memory() { return reinterpret_cast<char*>(this + 1); }
};

// The chunks of the last document finished on a thread, kept for the next
// one read there: a program that reads script after script then builds each
// tree in memory it has already touched, instead of asking the system for
// fresh pages every time. Only the last document's are kept, so chunks of an
// unusual size never pile up.
class DocumentArena::ChunkCache {
 public:
  ~ChunkCache() {
    closed_ = true;
    FreeAll(kept_);
  }

  static Chunk* Take(size_t size) {
    if (!kKeepChunksPerThread || closed_) return New(size);
    return Instance().TakeKept(size);
  }

  // Keeps `chunks` (a list linked through `older`) in place of those kept
  // so far, as many as the limit allows.
  static void KeepInstead(Chunk* chunks) {
    if (!kKeepChunksPerThread || closed_) return FreeAll(chunks);
    Instance().Replace(chunks);
  }

 private:
  static ChunkCache& Instance() {
    thread_local ChunkCache cache;
    return cache;
  }

  static Chunk* New(size_t size) {
    auto* chunk = static_cast<Chunk*>(::operator new(sizeof(Chunk) + size, kAlignment));
    chunk->size = size;
    return chunk;
  }
  static void Free(Chunk* chunk) { ::operator delete(chunk, kAlignment); }
  static void FreeAll(Chunk* chunks) {
    while (chunks) Free(std::exchange(chunks, chunks->older));
  }
  static constexpr std::align_val_t kAlignment{kChunkAlignment};

  // The smallest kept chunk of `size` bytes or up to twice that, else a new
  // one.
  Chunk* TakeKept(size_t size) {
    Chunk** best = nullptr;
    for (Chunk** link = &kept_; *link; link = &(*link)->older) {
      const size_t kept = (*link)->size;
      if (kept >= size && kept / 2 <= size && (best == nullptr || kept < (*best)->size)) best = link;
    }
    if (best == nullptr) return New(size);
    Chunk* chunk = *best;
    *best = chunk->older;
    kept_bytes_ -= chunk->size;
    return chunk;
  }

  void Replace(Chunk* chunks) {
    FreeAll(std::exchange(kept_, nullptr));
    kept_bytes_ = 0;
    for (Chunk** tail = &kept_; chunks;) {
      Chunk* chunk = std::exchange(chunks, chunks->older);
      if (kept_bytes_ + chunk->size > kMaxKeptBytes) {
        Free(chunk);
        continue;
      }
      kept_bytes_ += chunk->size;
      *tail = chunk;
      tail = &chunk->older;
      *tail = nullptr;
    }
  }

  // Set once the thread's cache is gone, for documents freed after it.
  static thread_local bool closed_;
  Chunk* kept_ = nullptr;
  size_t kept_bytes_ = 0;
};

thread_local bool DocumentArena::ChunkCache::closed_ = false;

DocumentArena::DocumentArena() : next_chunk_size_(kFirstChunkSize) {}

ArenaHold DocumentArena::Create() { return ArenaHold(new DocumentArena()); }

DocumentArena::~DocumentArena() { ChunkCache::KeepInstead(chunks_); }

void DocumentArena::Release(size_t count) noexcept {
  if (holds_.fetch_sub(count, std::memory_order_acq_rel) == count) delete this;
}

void* DocumentArena::AllocateInNewChunk(size_t bytes) {
  if (bytes > (next_chunk_size_ - sizeof(Chunk)) / kOwnChunkShare) return OwnChunk(bytes);
  StartChunk();
  // A new chunk's memory is aligned for any block.
  char* block = next_;
  next_ = block + bytes;
  return block;
}

char* DocumentArena::OwnChunk(size_t bytes) {
  Chunk* chunk = ChunkCache::Take(bytes);
  chunk->arena = this;
  // Behind the current chunk, whose free space stays in use.
  Chunk*& link = chunks_ == nullptr ? chunks_ : chunks_->older;
  chunk->older = link;
  link = chunk;
  return chunk->Memory();
}

void DocumentArena::StartChunk() {
  Chunk* chunk = ChunkCache::Take(next_chunk_size_ - sizeof(Chunk));
  chunk->arena = this;
  chunk->older = chunks_;
  chunks_ = chunk;
  next_ = chunk->Memory();
  end_ = next_ + chunk->size;
  next_chunk_size_ = std::min(next_chunk_size_ * 2, kLargestChunkSize);
}

}  // namespace comsvc
