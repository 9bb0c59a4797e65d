// Memory running out inside a service: the caller meets error 7 (or, inside
// a document, the reader's error line for it), and the instance goes on
// working once memory is there again.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <functional>
#include <new>
#include <string>

#include <comsvc/json_reader.h>
#include <comsvc/json_script.h>
#include <comsvc/string_builder.h>
#include "support/runtime_errors.h"

namespace {

// Every allocation of at least this many bytes fails while it is set.
std::atomic<size_t> g_failing_size{SIZE_MAX};

// Out of line, so that the compiler does not pair an inlined free with the
// new expression that allocated the block.
[[gnu::noinline]] void ReleaseBlock(void* block) { std::free(block); }

}  // namespace

void* operator new(size_t bytes) {
  if (bytes >= g_failing_size.load(std::memory_order_relaxed)) throw std::bad_alloc();
  if (void* block = std::malloc(bytes == 0 ? 1 : bytes)) return block;
  throw std::bad_alloc();
}
void operator delete(void* block) noexcept { ReleaseBlock(block); }
void operator delete(void* block, size_t) noexcept { ReleaseBlock(block); }
// Documents are read into aligned chunks.
void* operator new(size_t bytes, std::align_val_t align) {
  void* block = nullptr;
  if (bytes >= g_failing_size.load(std::memory_order_relaxed) ||
      posix_memalign(&block, static_cast<size_t>(align), bytes == 0 ? 1 : bytes) != 0) {
    throw std::bad_alloc();
  }
  return block;
}
void operator delete(void* block, std::align_val_t) noexcept { ReleaseBlock(block); }
void operator delete(void* block, size_t, std::align_val_t) noexcept { ReleaseBlock(block); }

namespace comsvc {
namespace {

constexpr size_t kBigText = 1 << 20;  // code units; any copy of it fails

// Runs `work` while large allocations fail; the error number it raised, 0
// for none.
int32_t ErrorWhileMemoryIsShort(const std::function<void()>& work) {
  g_failing_size = kBigText;
  const int32_t number = testing::RaisedError(work);
  g_failing_size = SIZE_MAX;
  return number;
}

TEST(OutOfMemory, BuilderGrowthFailsWithErrorSevenAndChangesNothing) {
  const std::u16string big(kBigText, u'x');
  cStringBuilder builder;
  builder.Append(u"kept");
  const int32_t capacity = builder.Capacity();
  const std::function<void()> growths[] = {[&] { builder.Append(big); }, [&] { builder.Insert(2, big); },
                                           [&] { builder.TheString(big); }};
  for (const auto& grow : growths) {
    EXPECT_EQ(ErrorWhileMemoryIsShort(grow), 7);
    EXPECT_EQ(builder.toString(), u"kept");
    EXPECT_EQ(builder.Capacity(), capacity);
  }
  builder.Append(big);
  EXPECT_EQ(builder.Length(), static_cast<int32_t>(4 + kBigText));
}

TEST(OutOfMemory, TheReaderReportsItAndReadsTheNextDocument) {
  const std::u16string document = u"[\"" + std::u16string(kBigText, u'x') + u"\", 2]";
  Value root;
  EXPECT_EQ(ErrorWhileMemoryIsShort([&] { root = JSON::ReadJson(document); }), 0);
  EXPECT_EQ(JSON::ReaderErrors().rfind(u"Out of memory", 0), 0u);

  root = JSON::ReadJson(document);
  EXPECT_EQ(JSON::ReaderErrors(), u"");
  EXPECT_EQ(root.AsArray()->Item(2).AsLong(), 2);
}

TEST(OutOfMemory, TheEvaluatorRaisesErrorSevenAndKeepsItsVariables) {
  cJSONScript script;
  const std::u16string set = u"[{\"set\": {\"name\": \"v\", \"value\": \"" + std::u16string(kBigText / 2, u'x') + u"\"}}]";
  script.Eval(set);
  const std::u16string twice = u"[{\"get\": {\"name\": \"v\"}}, {\"get\": {\"name\": \"v\"}}]";
  const std::function<void()> runs[] = {[&] { script.Eval(twice); }, [&] { script.ExecCommand(JSON::ReadJson(twice)); }};
  for (const auto& run : runs) {
    EXPECT_EQ(ErrorWhileMemoryIsShort(run), 7);
    EXPECT_EQ(script.Level(), 0);
  }
  EXPECT_EQ(script.Eval(twice).size(), kBigText);
}

}  // namespace
}  // namespace comsvc
