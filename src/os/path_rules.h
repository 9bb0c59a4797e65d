// Splitting and joining file-system paths by the rules of a path style.
//
// The rules take the style as a parameter, so that both are used (and tested)
// on every host: Windows accepts "\" and "/" alike, writes "\", and knows
// drive letters and UNC names; POSIX has "/" alone. Paths are UTF-8 or UTF-16
// text; the rules look at ASCII characters only.
#pragma once

#include <string>
#include <string_view>

namespace comsvc::os {

enum class PathStyle { kPosix, kWindows };

#ifdef _WIN32
inline constexpr PathStyle kNativeStyle = PathStyle::kWindows;
#else
inline constexpr PathStyle kNativeStyle = PathStyle::kPosix;
#endif

template <typename Char>
constexpr bool IsSeparator(Char c, PathStyle style) {
  return c == Char('/') || (style == PathStyle::kWindows && c == Char('\\'));
}

template <typename Char>
constexpr Char PreferredSeparator(PathStyle style) {
  return style == PathStyle::kWindows ? Char('\\') : Char('/');
}

// The position of the last separator, or npos.
template <typename Char>
size_t LastSeparator(std::basic_string_view<Char> path, PathStyle style) {
  for (size_t i = path.size(); i-- > 0;) {
    if (IsSeparator(path[i], style)) return i;
  }
  return std::basic_string_view<Char>::npos;
}

// Everything before the last separator: "." for a bare name, the separator
// itself for a name at the root.
template <typename Char>
std::basic_string<Char> FolderOf(std::basic_string_view<Char> path, PathStyle style) {
  const size_t last = LastSeparator(path, style);
  if (last == std::basic_string_view<Char>::npos) return {Char('.')};
  return std::basic_string<Char>(path.substr(0, last == 0 ? 1 : last));
}

// Everything after the last separator.
template <typename Char>
std::basic_string<Char> NameOf(std::basic_string_view<Char> path, PathStyle style) {
  const size_t last = LastSeparator(path, style);
  return std::basic_string<Char>(last == std::basic_string_view<Char>::npos ? path : path.substr(last + 1));
}

// Whether the path names its place without the current folder: "/…" on
// POSIX; "C:\…", "C:/…" or a UNC name "\\server\…" on Windows. A path that
// starts with one separator ("\x") or a drive without one ("C:x") still
// depends on the current drive or folder there.
template <typename Char>
bool IsAbsolute(std::basic_string_view<Char> path, PathStyle style) {
  if (style == PathStyle::kPosix) return !path.empty() && path[0] == Char('/');
  if (path.size() >= 2 && IsSeparator(path[0], style) && IsSeparator(path[1], style)) return true;
  const bool drive = path.size() >= 3 && ((path[0] >= Char('A') && path[0] <= Char('Z')) ||
                                          (path[0] >= Char('a') && path[0] <= Char('z')));
  return drive && path[1] == Char(':') && IsSeparator(path[2], style);
}

// `name` inside `folder`, with one separator between them.
template <typename Char>
std::basic_string<Char> JoinPath(std::basic_string_view<Char> folder, std::basic_string_view<Char> name,
                                 PathStyle style) {
  std::basic_string<Char> path(folder);
  if (!path.empty() && !IsSeparator(path.back(), style)) path.push_back(PreferredSeparator<Char>(style));
  path += name;
  return path;
}

// Narrow-string conveniences.
inline std::string FolderOf(const std::string& path, PathStyle style = kNativeStyle) {
  return FolderOf(std::string_view(path), style);
}
inline std::string NameOf(const std::string& path, PathStyle style = kNativeStyle) {
  return NameOf(std::string_view(path), style);
}

}  // namespace comsvc::os
