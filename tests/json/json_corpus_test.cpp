// Every document of the JSONTestSuite parsing corpus, valid or not, is read
// without a crash or a hang.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "core/utf8.h"
#include "json/json_reader.h"

namespace comsvc::JSON {
namespace {

namespace fs = std::filesystem;

TEST(JsonCorpus, EveryDocumentIsRead) {
  size_t documents = 0;
  for (const auto& entry : fs::directory_iterator(fs::path(COMSVC_SHARED_DIR) / "corpus/JSONTestSuite/test_parsing")) {
    std::ifstream in(entry.path(), std::ios::binary);
    // Bytes that are not UTF-8 become U+FFFD, as a lenient decoder hands them on.
    const std::u16string text = Utf8ToUtf16(std::string(std::istreambuf_iterator<char>(in), {}));
    const Value root = ReadJson(text);
    const std::string name = entry.path().filename().string();
    const size_t first = text.find_first_not_of(u" \t\r\n");
    if (first == std::u16string::npos || std::u16string_view(u"[{/*()").find(text[first]) == std::u16string_view::npos) {
      EXPECT_TRUE(root.IsEmpty()) << name;
      EXPECT_EQ(ReaderErrors(), u"Invalid JSON") << name;
    }
    // A valid object or array reads without error unless the dictionary
    // refuses a duplicate key or a number lies beyond 32-bit integers.
    const bool refused = name.find("number") != std::string::npos || name.find("duplicated_key") != std::string::npos;
    if (name.rfind("y_", 0) == 0 && !root.IsEmpty() && !refused) {
      EXPECT_EQ(EncodeUtf8(ReaderErrors()), "") << name;
    }
    ++documents;
  }
  EXPECT_GT(documents, 300u);
}

}  // namespace
}  // namespace comsvc::JSON
