// Paths into a JSON document: the members and items that lead from the root
// to one value, such as [3].switch.items[2].return. Items count from 0, as
// JSON tools count them (a Collection's Item() counts from 1).
//
// A step holds a view of its member name; the name must outlive the path.
// PathText returns text the caller owns and raises nothing but error 7.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace comsvc::JSON {

struct PathStep {
  static constexpr size_t kMember = SIZE_MAX;

  static PathStep Member(std::u16string_view name) { return {name, kMember}; }
  static PathStep Item(size_t index) { return {{}, index}; }
  bool IsItem() const { return index != kMember; }

  std::u16string_view name;  // a member's name, as the document writes it
  size_t index = kMember;    // an item's index from 0, or kMember
};

// The path as text: "[N]" for an item, ".name" for a member (the first step
// without the dot). A name that is empty or holds any of . [ ] " \ or a
// control character is written ["name"], with " and \ escaped.
std::u16string PathText(std::span<const PathStep> path);

}  // namespace comsvc::JSON
