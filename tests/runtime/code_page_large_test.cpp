// Every byte, byte pair and BMP code unit of every code page, against
// Windows' published tables, read here with a parser of their own.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <regex>
#include <sstream>

#include <comsvc/code_page.h>

namespace comsvc::platform {
namespace {

struct PublishedPage {
  char default_byte = '?';
  char16_t unicode_default = u'?';
  std::vector<bool> lead = std::vector<bool>(256, false);
  std::map<unsigned, char16_t> read;   // byte, or lead * 256 + trail
  std::map<char16_t, unsigned> write;  // best-fit entries included

  char16_t Read(unsigned code) const {
    auto it = read.find(code);
    return it == read.end() ? unicode_default : it->second;
  }
  // Writing has no best fit: only an entry whose bytes read back as the same
  // unit counts.
  std::string Write(char16_t unit) const {
    auto it = write.find(unit);
    if (it == write.end() || Read(it->second) != unit) return std::string(1, default_byte);
    const unsigned code = it->second;
    return code > 0xFF ? std::string{static_cast<char>(code >> 8), static_cast<char>(code & 0xFF)}
                       : std::string(1, static_cast<char>(code));
  }
};

unsigned Hex(const std::string& word) { return static_cast<unsigned>(std::stoul(word, nullptr, 16)); }

PublishedPage ParsePublished(int number) {
  const std::string path = std::string(COMSVC_SOURCE_DIR) + "/tests/data/codepages/bestfit" +
                           std::to_string(number) + ".txt";
  std::ifstream file(path, std::ios::binary);
  EXPECT_TRUE(file) << path;
  PublishedPage page;
  const std::regex lead_comment("LeadByte\\s*=\\s*0x([0-9a-fA-F]+)");
  std::string section;
  unsigned lead = 0;
  for (std::string line; std::getline(file, line);) {
    const std::string comment = line.find(';') == std::string::npos ? "" : line.substr(line.find(';'));
    std::istringstream words(line.substr(0, line.find(';')));
    std::string first, second, third, fourth;
    if (!(words >> first)) continue;
    words >> second >> third >> fourth;
    if (first == "CPINFO") {  // CPINFO bytes_per_character default unicode_default
      page.default_byte = static_cast<char>(Hex(third));
      page.unicode_default = static_cast<char16_t>(Hex(fourth));
    } else if (first == "MBTABLE" || first == "WCTABLE" || first == "DBCSRANGE") {
      section = first;
    } else if (first == "DBCSTABLE") {
      section = first;
      std::smatch match;
      EXPECT_TRUE(std::regex_search(comment, match, lead_comment)) << line;
      lead = Hex(match[1]);
    } else if (comment.find("Lead Byte Range") != std::string::npos) {
      // Ranges come first, or (932) each before the tables of its lead bytes.
      for (unsigned b = Hex(first); b <= Hex(second); ++b) page.lead[b] = true;
    } else if (first.starts_with("0x") && section == "WCTABLE") {
      page.write[static_cast<char16_t>(Hex(first))] = Hex(second);
    } else if (first.starts_with("0x") && (section == "MBTABLE" || section == "DBCSTABLE")) {
      page.read[(section == "DBCSTABLE" ? lead << 8 : 0) | Hex(first)] = static_cast<char16_t>(Hex(second));
    }
  }
  return page;
}

class EveryCodeOf : public ::testing::TestWithParam<int> {};

TEST_P(EveryCodeOf, ReadsEveryByteAndPairAsPublished) {
  const PublishedPage published = ParsePublished(GetParam());
  ASSERT_GE(published.read.size(), 256u);
  const CodePage page(GetParam());
  for (unsigned b = 0; b < 256; ++b) {
    // A lead byte alone is cut off: it reads as the default character.
    const char16_t expected = published.lead[b] ? published.unicode_default : published.Read(b);
    const char lead = static_cast<char>(b);
    ASSERT_EQ(page.FromBytes(std::string(1, lead)), std::u16string(1, expected)) << "byte " << std::hex << b;
    if (!published.lead[b]) continue;
    for (unsigned trail = 0; trail < 256; ++trail) {
      const std::string pair{lead, static_cast<char>(trail)};
      ASSERT_EQ(page.FromBytes(pair), std::u16string(1, published.Read(b << 8 | trail)))
          << "pair " << std::hex << b << " " << trail;
    }
  }
}

TEST_P(EveryCodeOf, WritesEveryCodeUnitWithoutBestFit) {
  const PublishedPage published = ParsePublished(GetParam());
  ASSERT_FALSE(published.write.empty());
  const CodePage page(GetParam());
  for (unsigned c = 0; c <= 0xFFFF; ++c) {
    const auto unit = static_cast<char16_t>(c);
    const std::string expected = published.Write(unit);
    ASSERT_EQ(page.ToBytes(std::u16string_view(&unit, 1)), expected) << "U+" << std::hex << c;
    int code = 0;
    for (unsigned char byte : expected) code = code << 8 | byte;
    ASSERT_EQ(page.CharCode(unit), static_cast<int16_t>(code)) << "U+" << std::hex << c;
  }
}

INSTANTIATE_TEST_SUITE_P(AllPages, EveryCodeOf,
                         ::testing::Values(874, 932, 936, 949, 950, 1250, 1251, 1252, 1253, 1254, 1255, 1256, 1257,
                                           1258));

}  // namespace
}  // namespace comsvc::platform
