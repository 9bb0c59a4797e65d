// Every document of the JSONTestSuite parsing corpus, valid or not, is read
// without a crash or a hang.
#include <gtest/gtest.h>

#include <filesystem>

#include "core/utf8.h"
#include "json/json_reader.h"
#include "support/test_support.h"

namespace comsvc::JSON {
namespace {

TEST(JsonCorpus, EveryDocumentIsRead) {
  size_t documents = 0;
  const std::filesystem::path corpus = COMSVC_SHARED_DIR "/corpus/JSONTestSuite/test_parsing";
  for (const auto& entry : std::filesystem::directory_iterator(corpus)) {
    // Bytes that are not UTF-8 become U+FFFD, as a lenient decoder hands them on.
    const std::u16string text = Utf8ToUtf16(testing::ReadBytes(entry.path()));
    const Value root = ReadJson(text);
    const std::string name = entry.path().filename().string();
    const size_t first = text.find_first_not_of(u" \t\r\n");
    if (first == std::u16string::npos || std::u16string_view(u"[{/*()").find(text[first]) == std::u16string::npos) {
      EXPECT_EQ(ReaderErrors(), u"Invalid JSON") << name;
    }
    // A valid object or array reads without error unless the dictionary
    // refuses a duplicate key or a number lies beyond 32-bit integers.
    const bool refused = name.find("number") != std::string::npos || name.find("duplicated_key") != std::string::npos;
    if (name.starts_with("y_") && !root.IsEmpty() && !refused) {
      EXPECT_EQ(EncodeUtf8(ReaderErrors()), "") << name;
    }
    ++documents;
  }
  EXPECT_GT(documents, 300u);
}

}  // namespace
}  // namespace comsvc::JSON
