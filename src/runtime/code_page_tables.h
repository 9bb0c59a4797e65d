// Windows' conversion tables for the supported code pages, generated from
// Microsoft's published tables (see code_page_tables.cpp). Internal to the
// platform layer: CodePage is the interface.
#pragma once

#include <cstdint>
#include <span>

namespace comsvc::platform::code_page_tables {

struct LeadByteRange {
  uint8_t first;
  uint8_t last;
};

// A code unit that writing does not take from the inverse of reading: either
// another of the codes that read as it, or the default byte.
struct WriteException {
  char16_t unit;
  uint16_t code;  // a byte, or lead << 8 | trail
};

struct PageTables {
  int number;
  uint8_t default_byte;       // written for a code unit the page lacks
  char16_t unicode_default;   // read for a byte or pair the page lacks
  std::span<const LeadByteRange> lead_ranges;
  // What each byte reads as; the entries of lead bytes are unused.
  std::span<const char16_t, 256> single;
  // What each pair reads as: one row per lead byte, in byte order, holding
  // trail bytes first_trail..last_trail.
  uint8_t first_trail;
  uint8_t last_trail;
  std::span<const char16_t> pairs;
  // Writing is the inverse of reading (where several codes read as one unit,
  // the lowest), except for these units, in unit order.
  std::span<const WriteException> write_exceptions;
};

extern const std::span<const PageTables> kPages;

}  // namespace comsvc::platform::code_page_tables
