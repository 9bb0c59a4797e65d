// What the C++ library of emscripten 3.1.6 (libc++ 13) lacks of C++20 and
// the library uses, given to every file of the emscripten build (-include):
// std::bit_cast, std::atomic_ref's counting, the range algorithms it calls,
// and the double forms of from_chars and to_chars (over the C library's
// strtod and snprintf, whose answers for these cases are the standard's:
// correctly rounded, and printf's %g).
#pragma once

#include <algorithm>
#include <atomic>
#include <bit>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <iterator>
#include <system_error>
#include <utility>
#include <version>

#if defined(_LIBCPP_VERSION) && _LIBCPP_VERSION < 14000
namespace std {

#if !defined(__cpp_lib_atomic_ref)
// The reading and counting the library does on a shared holder count;
// every operation sequentially consistent, which is at least as strong as
// any order asked.
template <class T>
class atomic_ref {
 public:
  explicit atomic_ref(T& object) noexcept : object_(&object) {}
  T load(memory_order = memory_order_seq_cst) const noexcept { return __atomic_load_n(object_, __ATOMIC_SEQ_CST); }
  T fetch_add(T delta, memory_order = memory_order_seq_cst) const noexcept {
    return __atomic_fetch_add(object_, delta, __ATOMIC_SEQ_CST);
  }
  T fetch_sub(T delta, memory_order = memory_order_seq_cst) const noexcept {
    return __atomic_fetch_sub(object_, delta, __ATOMIC_SEQ_CST);
  }

 private:
  T* object_;
};
#endif

#if !defined(__cpp_lib_bit_cast)
template <class To, class From>
constexpr To bit_cast(const From& from) noexcept {
  return __builtin_bit_cast(To, from);
}
#endif

// The range algorithms the library uses, with their projections.
namespace ranges {
namespace compat {
struct Identity {
  template <class T>
  constexpr T&& operator()(T&& value) const noexcept {
    return std::forward<T>(value);
  }
};
struct Less {
  template <class A, class B>
  constexpr bool operator()(const A& a, const B& b) const {
    return a < b;
  }
};
template <class Predicate, class Projection>
constexpr auto Projected(Predicate& predicate, Projection& projection) {
  return [&](auto&& value) { return std::invoke(predicate, std::invoke(projection, value)); };
}
}  // namespace compat

template <class Range, class Out>
constexpr void copy(Range&& range, Out out) {
  std::copy(std::begin(range), std::end(range), out);
}

template <class Range, class Predicate, class Projection = compat::Identity>
constexpr bool any_of(Range&& range, Predicate predicate, Projection projection = {}) {
  return std::any_of(std::begin(range), std::end(range), compat::Projected(predicate, projection));
}

template <class Range, class Predicate, class Projection = compat::Identity>
constexpr bool all_of(Range&& range, Predicate predicate, Projection projection = {}) {
  return std::all_of(std::begin(range), std::end(range), compat::Projected(predicate, projection));
}

template <class Range, class Predicate, class Projection = compat::Identity>
constexpr auto find_if(Range&& range, Predicate predicate, Projection projection = {}) {
  return std::find_if(std::begin(range), std::end(range), compat::Projected(predicate, projection));
}

template <class Range, class T, class Projection = compat::Identity>
constexpr auto find(Range&& range, const T& value, Projection projection = {}) {
  return std::find_if(std::begin(range), std::end(range),
                      [&](auto&& element) { return std::invoke(projection, element) == value; });
}

template <class Range1, class Range2, class Predicate = std::equal_to<>>
constexpr bool equal(Range1&& a, Range2&& b, Predicate predicate = {}) {
  return std::equal(std::begin(a), std::end(a), std::begin(b), std::end(b), predicate);
}

template <class Range1, class Range2>
constexpr auto mismatch(Range1&& a, Range2&& b) {
  return std::mismatch(std::begin(a), std::end(a), std::begin(b), std::end(b));
}

template <class Range, class Compare = compat::Less, class Projection = compat::Identity>
void stable_sort(Range&& range, Compare compare = {}, Projection projection = {}) {
  std::stable_sort(std::begin(range), std::end(range), [&](auto&& a, auto&& b) {
    return std::invoke(compare, std::invoke(projection, a), std::invoke(projection, b));
  });
}

}  // namespace ranges

// A decimal number as from_chars reads it (no blanks, no "+", no hexadecimal
// or words): an optional "-", digits with an optional point and fraction, an
// optional exponent; out of range when it overflows or a non-zero number
// reads as zero.
inline from_chars_result from_chars(const char* first, const char* last, double& value,
                                    chars_format = chars_format::general) {
  const char* p = first;
  if (p != last && *p == '-') ++p;
  bool digits = false, non_zero = false;
  auto scan_digits = [&] {
    for (; p != last && *p >= '0' && *p <= '9'; ++p) digits = true, non_zero |= *p != '0';
  };
  scan_digits();
  if (p != last && *p == '.') ++p, scan_digits();
  if (!digits) return {first, errc::invalid_argument};
  if (p != last && (*p == 'e' || *p == 'E')) {
    const char* exponent = p + 1;
    if (exponent != last && (*exponent == '+' || *exponent == '-')) ++exponent;
    if (exponent != last && *exponent >= '0' && *exponent <= '9') {
      p = exponent;
      while (p != last && *p >= '0' && *p <= '9') ++p;
    }
  }
  char buffer[128];
  string text_storage;
  const size_t length = static_cast<size_t>(p - first);
  char* text = buffer;
  if (length >= sizeof buffer) {
    text_storage.assign(first, length);
    text = text_storage.data();
  } else {
    memcpy(buffer, first, length);
    buffer[length] = '\0';
  }
  const double read = strtod(text, nullptr);
  if (std::isinf(read) || (read == 0 && non_zero)) return {p, errc::result_out_of_range};
  value = read;
  return {p, errc{}};
}

// printf's %.{precision}g for chars_format::general, the only form used.
inline to_chars_result to_chars(char* first, char* last, double value, chars_format, int precision) {
  char buffer[512];
  const int length = snprintf(buffer, sizeof buffer, "%.*g", precision, value);
  if (length < 0 || length > last - first) return {last, errc::value_too_large};
  memcpy(first, buffer, static_cast<size_t>(length));
  return {first + length, errc{}};
}

// The shortest %g text that reads back as the same double: one text per
// value, as the shortest form gives, though not always the same characters.
inline to_chars_result to_chars(char* first, char* last, double value) {
  char buffer[64];
  int length = 0;
  for (int precision = 1; precision <= 17; ++precision) {
    length = snprintf(buffer, sizeof buffer, "%.*g", precision, value);
    if (strtod(buffer, nullptr) == value) break;
  }
  if (length < 0 || length > last - first) return {last, errc::value_too_large};
  memcpy(first, buffer, static_cast<size_t>(length));
  return {first + length, errc{}};
}

}  // namespace std
#endif
