// The bounds that both readers of JSON text (ReadJson and the located
// reading) set where the forgiving grammar itself would run on, so that the
// two give the same tree and the same error text.
#pragma once

#include <cstddef>
#include <cstdint>

namespace comsvc::JSON {

// Containers nest at most this deep, the root being level 1. Reading a
// container one level deeper raises error 28 (out of stack space) at that
// level, which cascades like any raised failure. A level of ReadJson takes
// about 0.3 KB of stack (about 1.4 KB with the address sanitizer), so the
// deepest document needs well under a quarter of a default 8 MB stack.
inline constexpr int kMaxNestingDepth = 1000;

// An array's failure line quotes this many characters from the position.
inline constexpr size_t kArrayQuoteLength = 20;

// A Boolean or null error line quotes the rest of the text. So that a text
// full of bad words cannot make the error text grow with the square of its
// length, the quotes of one read together hold at most this many times the
// text's length, plus a fixed allowance for short texts; past that budget a
// quote is cut short. A document with a handful of bad words, wherever they
// lie, keeps every quote whole.
inline constexpr size_t kQuoteBudgetPerCharacter = 8;
inline constexpr size_t kExtraQuoteBudget = 65536;

// The characters all quotes of one read may hold, saturating for texts too
// long for the product to fit.
inline size_t QuoteBudget(size_t text_length) {
  if (text_length > (SIZE_MAX - kExtraQuoteBudget) / kQuoteBudgetPerCharacter) return SIZE_MAX;
  return text_length * kQuoteBudgetPerCharacter + kExtraQuoteBudget;
}

}  // namespace comsvc::JSON
