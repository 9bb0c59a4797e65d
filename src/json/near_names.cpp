#include "json/near_names.h"

#include <algorithm>
#include <vector>

#include <comsvc/locale.h>

namespace comsvc::script {
namespace {

// Blanks other than the four the reader drops from every name.
bool IsBlank(char16_t c) {
  return (c >= u'\t' && c <= u'\r') || c == u' ' || c == u'\u0085' || c == u'\u00A0' || c == u'\u1680' ||
         (c >= u'\u2000' && c <= u'\u200B') || c == u'\u2028' || c == u'\u2029' || c == u'\u202F' || c == u'\u205F' ||
         c == u'\u3000' || c == u'\uFEFF';
}

std::u16string Folded(std::u16string_view written) {
  std::u16string folded = platform::LowerCase(written);
  std::erase_if(folded, IsBlank);
  return folded;
}

bool IsOneSwap(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  const auto [first, other] = std::ranges::mismatch(a, b);
  const size_t i = static_cast<size_t>(first - a.begin());
  return i + 1 < a.size() && a[i] == b[i + 1] && a[i + 1] == b[i] && a.substr(i + 2) == b.substr(i + 2);
}

// Insertions, deletions, substitutions and swaps of neighbours, each one
// edit (the optimal string alignment distance).
size_t EditDistance(std::u16string_view a, std::u16string_view b) {
  std::vector<std::vector<size_t>> d(a.size() + 1, std::vector<size_t>(b.size() + 1));
  for (size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
  for (size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
  for (size_t i = 1; i <= a.size(); ++i) {
    for (size_t j = 1; j <= b.size(); ++j) {
      const size_t change = a[i - 1] == b[j - 1] ? 0 : 1;
      d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + change});
      if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1]) {
        d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
      }
    }
  }
  return d[a.size()][b.size()];
}

}  // namespace

std::optional<int> SlipDistance(std::u16string_view written, std::u16string_view name) {
  const std::u16string folded = Folded(written);
  if (folded == name) return 0;
  // Far longer or shorter texts are no slips; this also keeps the table small.
  if (folded.size() > name.size() + 1 || folded.size() + 1 < name.size()) return std::nullopt;
  const bool slip = name.size() <= 3 ? IsOneSwap(folded, name) : EditDistance(folded, name) == 1;
  if (slip) return 1;
  return std::nullopt;
}

}  // namespace comsvc::script
