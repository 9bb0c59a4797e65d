// The JSON module: a forgiving reader of JSON text into ordered dictionaries
// and 1-based collections. Problems are written as lines of text that
// ReaderErrors reports afterwards; the one error raised to the caller is
// error 7, when memory runs out outside every container being read.
#pragma once

#include <string>
#include <string_view>

#include <comsvc/value.h>

namespace comsvc::JSON {

// The root (a dictionary or a collection), or the empty value when the text
// does not start, after filler, with "{" or "[".
Value ReadJson(std::u16string_view text);

// ReadJson of UTF-8 text, read as it is, without first making a UTF-16 copy
// of the whole of it: the root and the error text are exactly those of
// ReadJson(Utf8ToUtf16(utf8)), error positions counted in UTF-16 code units
// and each byte that is not valid UTF-8 read as U+FFFD. A text with error
// lines or bytes that are not UTF-8 costs a second read, of its UTF-16 copy.
Value ReadJson(std::string_view utf8);

// The error text of the calling thread's last ReadJson; empty when it found
// nothing wrong. Reads on other threads never change it.
std::u16string ReaderErrors();

}  // namespace comsvc::JSON
