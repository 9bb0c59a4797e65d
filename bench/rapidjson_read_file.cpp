// Reads a JSON file into RapidJSON's UTF-16 DOM and writes it back to
// standard output as UTF-8 JSON: the peer of `comsvc json --typed FILE` in
// bench/deep_documents.sh, which compares the two programs' peak memory on
// deeply nested documents. The file's bytes are given back once decoded.
#include <rapidjson/document.h>
#include <rapidjson/encodedstream.h>
#include <rapidjson/filewritestream.h>
#include <rapidjson/memorystream.h>
#include <rapidjson/writer.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

namespace {

using Utf16Document = rapidjson::GenericDocument<rapidjson::UTF16<char16_t>>;

std::u16string DecodeFile(const char* path) {
  std::string bytes;
  {
    std::ifstream in(path, std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  std::u16string text;
  text.reserve(bytes.size());
  rapidjson::StringStream source(bytes.c_str());
  while (source.Tell() < bytes.size()) {
    unsigned code_point = 0;
    if (!rapidjson::UTF8<>::Decode(source, &code_point)) code_point = 0xFFFD;
    if (code_point >= 0x10000) {
      code_point -= 0x10000;
      text += static_cast<char16_t>(0xD800 + (code_point >> 10));
      text += static_cast<char16_t>(0xDC00 + (code_point & 0x3FF));
    } else {
      text += static_cast<char16_t>(code_point);
    }
  }
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("usage: rapidjson_read_file FILE\n", stderr);
    return 2;
  }
  Utf16Document root;
  {
    const std::u16string text = DecodeFile(argv[1]);
    root.Parse(text.c_str());
  }
  if (root.HasParseError()) {
    std::fprintf(stderr, "rapidjson_read_file: parse error %d at %zu\n", static_cast<int>(root.GetParseError()),
                 root.GetErrorOffset());
    return 1;
  }
  char buffer[1 << 16];
  rapidjson::FileWriteStream out(stdout, buffer, sizeof buffer);
  rapidjson::Writer<rapidjson::FileWriteStream, rapidjson::UTF16<char16_t>, rapidjson::UTF8<>> writer(out);
  root.Accept(writer);
  out.Put('\n');
  out.Flush();
  return 0;
}
