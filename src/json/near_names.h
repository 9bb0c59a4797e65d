// Telling a name that was meant from one that was written: letter case,
// blanks that the reader keeps in a name (a no-break space, say), and one
// slip of the keyboard.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace comsvc::script {

// How far `written` is from `name` (lowercase) as a likely slip: 0 when it
// is `name` apart from letter case and blanks, 1 for one slip, nothing for
// any other. One slip is one character added, dropped, changed, or two
// neighbours swapped; for a name of up to three characters only a swap
// counts, as one more or one other character makes ordinary short words
// of them ("it", "sex", "net").
std::optional<int> SlipDistance(std::u16string_view written, std::u16string_view name);

inline std::u16string_view NameOf(std::u16string_view name) { return name; }
template <typename Entry>
std::u16string_view NameOf(const Entry& entry) {
  return entry.name;
}

// The name among `names` (names, or entries with a `name`) that `written`
// most likely means, if any.
template <typename Names>
std::optional<std::u16string_view> LikelyMeant(std::u16string_view written, const Names& names) {
  std::optional<std::u16string_view> best;
  int best_distance = 2;
  for (const auto& entry : names) {
    const std::optional<int> distance = SlipDistance(written, NameOf(entry));
    if (distance && *distance < best_distance) {
      best = NameOf(entry);
      best_distance = *distance;
    }
  }
  return best;
}

}  // namespace comsvc::script
