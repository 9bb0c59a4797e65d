#include "core/document_arena.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <thread>
#include <vector>

namespace comsvc {
namespace {

// Blocks of sizes from one byte to several chunks, small ones between them
// so that chunks fill up and large ones land in chunks of their own: each is
// aligned as asked, and none overlaps another.
TEST(DocumentArena, BlocksAreAlignedAndDistinct) {
  ArenaHold arena = DocumentArena::Create();
  struct Block {
    unsigned char* memory;
    size_t size;
  };
  std::vector<Block> blocks;
  const size_t sizes[] = {1, 7, 16, 24, 100, 1000, 3000, 70000, 5, 2u << 20, 40, 300000, 9};
  for (int round = 0; round < 40; ++round) {
    for (size_t size : sizes) {
      const size_t align = size % 2 == 1 ? 1 : alignof(std::max_align_t);
      auto* memory = static_cast<unsigned char*>(arena->Allocate(size, align));
      ASSERT_EQ(reinterpret_cast<uintptr_t>(memory) % align, 0u) << size;
      std::memset(memory, static_cast<int>(blocks.size() % 251), size);
      blocks.push_back({memory, size});
    }
  }
  for (size_t i = 0; i < blocks.size(); ++i) {
    const Block& b = blocks[i];
    const auto mark = static_cast<unsigned char>(i % 251);
    EXPECT_TRUE(b.memory[0] == mark && b.memory[b.size - 1] == mark) << "block " << i << " was overwritten";
  }
}

// The creator's hold may go first, and nodes may go on other threads; the
// memory stays valid for as long as any node lives (the sanitizer build
// reports a use after free, or a leak if the arena is never freed).
TEST(DocumentArena, NodesKeepTheArenaUntilTheLastGoes) {
  std::vector<Ref<Collection>> nodes;
  {
    ArenaHold arena = DocumentArena::Create();
    ArenaHoldCredit credit(*arena);
    for (int32_t i = 0; i < 5000; ++i) {
      nodes.push_back(MakeInArena<Collection>(credit));
      nodes.back()->Add(Value(i));
    }
  }
  std::thread other([half = std::vector(nodes.begin(), nodes.begin() + 2500)]() mutable { half.clear(); });
  nodes.erase(nodes.begin(), nodes.begin() + 2500);
  other.join();
  for (int32_t i = 0; i < 2500; ++i) {
    ASSERT_EQ(nodes[static_cast<size_t>(i)].use_count(), 1u);
    EXPECT_EQ(nodes[static_cast<size_t>(i)]->Item(1).AsLong(), 2500 + i);
  }
  nodes.clear();
}

// A thread keeps the chunks of the documents it finished for the next one,
// which starts where the last one started.
TEST(DocumentArena, ANewDocumentReusesTheChunksOfTheLast) {
  std::vector<void*> first_blocks;
  for (int document = 0; document < 3; ++document) {
    ArenaHold arena = DocumentArena::Create();
    first_blocks.push_back(arena->Allocate(64, 8));
    for (int i = 0; i < 20000; ++i) std::memset(arena->Allocate(64, 8), document, 64);
  }
  EXPECT_EQ(first_blocks[1], first_blocks[0]);
  EXPECT_EQ(first_blocks[2], first_blocks[0]);
}

// Nodes still alive when their thread's kept chunks are freed (a thread-local
// holder made before the first document is destroyed after them) free their
// document on their own.
TEST(DocumentArena, DocumentsOutlivingTheirThreadsCacheStillFree) {
  std::thread([] {
    thread_local std::vector<Ref<Collection>> held;
    held.clear();
    ArenaHold arena = DocumentArena::Create();
    ArenaHoldCredit credit(*arena);
    for (int i = 0; i < 100; ++i) held.push_back(MakeInArena<Collection>(credit));
  }).join();
}

}  // namespace
}  // namespace comsvc
