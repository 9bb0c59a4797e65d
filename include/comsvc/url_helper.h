// URL handling for form posts: splitting an "http" URL into its parts, and
// percent-encoding one form value for an application/x-www-form-urlencoded
// body.
//
// Both functions return values the caller owns and keep no state. A URL of
// another scheme is reported in a box (through the dialog service); counts
// past the 16-bit positions raise error 6.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace comsvc::url_helper {

// The parts of a URL (filled by ParseUrl) and of the request composed from it
// (filled by the request builder). A new record holds empty texts and port 0.
struct UrlParts {
  std::u16string Scheme;  // the text before the first "://"; empty when none
  std::u16string Host;    // as written, without the port
  int32_t Port = 0;       // 0: none found or set
  std::u16string Path;    // from the first "/" after the host to the first "?"
  std::u16string Query;   // the text after that "?"
  std::u16string Headers;
  std::u16string Body;
  std::u16string RequestText;

  bool operator==(const UrlParts&) const = default;
};

// Splits `url` by a fixed order of plain substring searches; see
// url_helper.cpp for the order, which decides every corner case. Positions are
// 16-bit: a search that finds its text beyond position 32767, or a numeric
// port outside -32768..32767, raises error 6 (overflow). A scheme other than
// "http" shows the "Invalid protocol schema" box and returns the parts found.
UrlParts ParseUrl(std::u16string_view url);

// ASCII letters and digits stay; every other character becomes its bytes in
// the ANSI code page, each as "%" and two upper-case hexadecimal digits (a
// space is "%20"; "-", ".", "_", "~" are encoded too). Raises error 6 for a
// text longer than 32767 characters.
std::u16string PercentEncode(std::u16string_view text);

}  // namespace comsvc::url_helper
