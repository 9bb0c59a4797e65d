// The JSON module: a forgiving reader of JSON text into ordered dictionaries
// and 1-based collections (<comsvc/value.h>): comments, single quotes, bare
// member names and missing commas are read; what is wrong is written down.
//
// Ownership. A read gives the caller its root and its error text by value;
// the tree is the caller's like any value, and keeps nothing of the text.
//
// Errors. What the reader finds wrong in the text comes back as lines of
// error text, never raised. The one error raised is comsvc::RuntimeError 7
// (out of memory): when memory runs out outside every container being read,
// or when the error text would pass 128 Mi code units (256 MiB), which only
// a text made to be quoted over and over reaches, each bad word's line
// quoting the whole rest of the text.
//
// Threads. Reads on any number of threads at once are safe.
#pragma once

#include <string>
#include <string_view>

#include <comsvc/value.h>

namespace comsvc::JSON {

struct ReadResult {
  // A dictionary or a collection, or the empty value when the text does not
  // start, after filler, with "{" or "[".
  Value root;
  // The error lines, each ending in CR LF, or "Invalid JSON" alone when
  // there is no root; empty when the reader found nothing wrong.
  std::u16string errors;
};

ReadResult Read(std::u16string_view text);

// The read of UTF-8 text as it is, without first making a UTF-16 copy of
// the whole of it: the root and the error text are exactly those of
// Read(Utf8ToUtf16(utf8)), error positions counted in UTF-16 code units and
// each byte that is not valid UTF-8 read as U+FFFD. Valid UTF-8 is read once,
// error lines and all; a text with bytes that are not UTF-8, or with a "\u"
// escape over characters beyond ASCII, is read from its UTF-16 copy.
ReadResult Read(std::string_view utf8);

// The legacy pair: ReadJson gives the root of a Read and keeps its error
// text for ReaderErrors, which gives the error text of the calling thread's
// last ReadJson. Reads on other threads never change it.
Value ReadJson(std::u16string_view text);
Value ReadJson(std::string_view utf8);
std::u16string ReaderErrors();

}  // namespace comsvc::JSON
