// The bounds that both readers of JSON text (ReadJson and the located
// reading) set where the forgiving grammar itself would run on, so that the
// two give the same tree and the same error text.
#pragma once

#include <cstddef>

namespace comsvc::JSON {

// Containers nest at most this deep, the root being level 1. Reading a
// container one level deeper raises error 28 (out of stack space) at that
// level, which cascades like any raised failure. A level of ReadJson takes
// about 0.3 KB of stack (about 1.4 KB with the address sanitizer), so the
// deepest document needs well under a quarter of a default 8 MB stack.
inline constexpr int kMaxNestingDepth = 1000;

// An array's failure line quotes this many characters from the position.
inline constexpr size_t kArrayQuoteLength = 20;

// A Boolean or null error line quotes the whole rest of the text, so a text
// full of bad words makes error text that grows with the square of its
// length. One read writes at most this many code units of it, 256 MiB,
// which no document with a few thousand bad words in its first megabytes
// comes near; past that the read raises error 7 instead, as it would if
// memory ran out.
inline constexpr size_t kMaxErrorUnits = size_t{128} << 20;

}  // namespace comsvc::JSON
