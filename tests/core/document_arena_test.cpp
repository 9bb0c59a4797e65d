#include "core/document_arena.h"
#include "core/tree_builder.h"

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
    TreeBuilder tree;
    for (int i = 0; i < 100; ++i) held.push_back(tree.MakeCollection({}));
  }).join();
}

}  // namespace
}  // namespace comsvc
