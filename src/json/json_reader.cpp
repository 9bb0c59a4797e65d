#include <comsvc/json_reader.h>

#include <string>
#include <utility>

#include <comsvc/runtime_error.h>

#include "json/json_reader_core.h"

namespace comsvc::JSON {

namespace {

// The error text of the calling thread's last ReadJson, kept for
// ReaderErrors. Each thread has its own, so readers on several threads
// neither share nor overwrite each other's lines.
std::u16string& LastErrors() {
  thread_local std::u16string text;
  return text;
}

template <typename View>
Value ReadKeepingErrors(View text) {
  std::u16string& errors = LastErrors();
  errors.clear();  // a read that raises leaves none
  ReadResult read = Read(text);
  errors = std::move(read.errors);
  return std::move(read.root);
}

}  // namespace

ReadResult Read(std::u16string_view text) { return ReadBounded(text, kMaxErrorUnits); }

ReadResult Read(std::string_view utf8) { return ReadBounded(utf8, kMaxErrorUnits); }

Value ReadJson(std::u16string_view text) { return ReadKeepingErrors(text); }

Value ReadJson(std::string_view utf8) { return ReadKeepingErrors(utf8); }

std::u16string ReaderErrors() {
  return RaisingOutOfMemory([] { return LastErrors(); });
}

}  // namespace comsvc::JSON
