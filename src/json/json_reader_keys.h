// The member names of the documents the JSON reader reads: a name read in
// pieces, the names an object has so far, and the names of one document,
// each kept once.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <deque>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include <comsvc/utf8.h>
#include <comsvc/value.h>

#include "core/tree_builder.h"

namespace comsvc::JSON {

// An object finds a repeated member name by a plain scan of the names it
// has, behind a filter, up to this many members; a larger one keeps a set
// of its names.
constexpr size_t kMaxScannedMembers = 64;

// A member name as it is read: a view of the text while it is in one
// piece, put together in a buffer once a second piece comes.
template <typename Unit>
class KeyPieces {
 public:
  explicit KeyPieces(std::basic_string<Unit>& buffer) : buffer_(buffer) {}

  void Add(std::basic_string_view<Unit> piece) {
    if (!in_buffer_ && first_.empty()) {
      first_ = piece;
      return;
    }
    if (!in_buffer_) {
      buffer_.assign(first_);
      in_buffer_ = true;
    }
    buffer_.append(piece);
  }
  std::basic_string_view<Unit> Name() const {
    return in_buffer_ ? std::basic_string_view<Unit>(buffer_) : first_;
  }

 private:
  std::basic_string<Unit>& buffer_;
  std::basic_string_view<Unit> first_;
  bool in_buffer_ = false;
};

// The names an object has so far, to find a repeated one. The document's
// names are interned, so the same name is the same text, told by the
// address of its characters (none for the empty name). Each name has one
// of 256 marks from its hash (see KeyTable::Interned): a name whose mark is
// new is not among them. Past kMaxScannedMembers the names go into a set.
class MemberNames {
 public:
  // Whether `name` is among the names `before` holds; it is after.
  bool Repeated(const Text& name, uint8_t mark, std::span<const Dictionary::Member> before) {
    const char16_t* const identity = name.View().data();
    if (set_.empty() && before.size() < kMaxScannedMembers) {
      if (!TestAndSetMark(mark)) return false;
      return std::ranges::any_of(before, [&](const auto& member) { return member.first.View().data() == identity; });
    }
    if (set_.empty()) {
      for (const auto& member : before) Insert(member.first.View().data());
    }
    return !Insert(identity);
  }

 private:
  bool TestAndSetMark(uint8_t mark) {
    uint64_t& word = marks_[mark >> 6];
    const uint64_t bit = uint64_t{1} << (mark & 63);
    const bool was_set = (word & bit) != 0;
    word |= bit;
    return was_set;
  }

  // Adds a name's identity to the set; false when it was there.
  bool Insert(const char16_t* identity) {
    if (identity == nullptr) return !std::exchange(has_empty_, true);
    if (2 * (count_ + 1) > set_.size()) Grow();
    const size_t mask = set_.size() - 1;
    size_t s = Slot(identity, mask);
    for (; set_[s] != nullptr; s = (s + 1) & mask) {
      if (set_[s] == identity) return false;
    }
    set_[s] = identity;
    ++count_;
    return true;
  }
  static size_t Slot(const char16_t* identity, size_t mask) {
    return static_cast<size_t>((reinterpret_cast<uintptr_t>(identity) * 0x9E3779B97F4A7C15u) >> 32) & mask;
  }
  void Grow() {
    std::vector<const char16_t*> old(std::max<size_t>(4 * kMaxScannedMembers, 2 * set_.size()));
    old.swap(set_);
    const size_t mask = set_.size() - 1;
    for (const char16_t* identity : old) {
      if (identity == nullptr) continue;
      size_t s = Slot(identity, mask);
      while (set_[s] != nullptr) s = (s + 1) & mask;
      set_[s] = identity;
    }
  }

  std::array<uint64_t, 4> marks_{};
  std::vector<const char16_t*> set_;  // open addressing; nullptr is free
  size_t count_ = 0;
  bool has_empty_ = false;
};

// The member names of one document, each kept once: a document repeats the
// same few names thousands of times, so its objects share one text per name.
// Names come as the document's code units; UTF-8 ones are decoded to text
// only the first time they are met.
template <typename Unit>
class KeyTable {
 public:
  using View = std::basic_string_view<Unit>;

  // A name as the document keeps it, and one of 256 marks that its hash
  // gives it, so that an object can tell quickly that it has no member of
  // that name yet.
  struct Interned {
    Text text;
    uint8_t mark;
  };

  // The document's text for `key`, made by `tree`. `document` is the text
  // being read: a key that is a view of it is kept as one.
  Interned Intern(View key, View document, TreeBuilder& tree) {
    if (key.empty()) return {Text(), 0};
    if (2 * (count_ + 1) > slots_.size()) Grow();
    const Sample sample(key);
    const uint64_t hash = sample.hash;
    const size_t mask = slots_.size() - 1;
    const auto mark = static_cast<uint8_t>(hash >> 56);
    size_t s = hash & mask;
    for (; !slots_[s].text.empty(); s = (s + 1) & mask) {
      if (slots_[s].sample == sample && (key.size() <= Sample::kWhole || Same(slots_[s], key))) {
        return {tree.Share(slots_[s].text), mark};
      }
    }
    if constexpr (kUtf8) {
      decoded_.clear();
      AppendUtf8ToUtf16(decoded_, key);
      slots_[s] = {tree.NewText(decoded_), sample, Kept(key, document)};
    } else {
      slots_[s] = {tree.NewText(key), sample, View()};
    }
    ++count_;
    return {tree.Share(slots_[s].text), mark};
  }

 private:
  // The length of a name and its first, middle and last four characters:
  // enough to tell apart nearly any two names, and the whole of a name of
  // up to twelve. The hash takes every character of a longer name too, so
  // that names alike in those places cannot all fall into one chain.
  struct Sample {
    static constexpr size_t kWhole = 12;

    // Four code units read as one word.
    static uint64_t FourUnits(const Unit* units) {
      std::conditional_t<sizeof(Unit) == 1, uint32_t, uint64_t> word;
      std::memcpy(&word, units, sizeof word);
      return word;
    }

    explicit Sample(View key) : length(key.size()) {
      if (length >= 4) {
        first = FourUnits(key.data());
        middle = FourUnits(key.data() + (length - 4) / 2);
        last = FourUnits(key.data() + length - 4);
      } else {
        for (Unit c : key) first = first << 16 | static_cast<std::make_unsigned_t<Unit>>(c);
      }
      uint64_t h = (first * 0x9E3779B97F4A7C15u) ^ (middle * 0xC2B2AE3D27D4EB4Fu) ^ (last * 0x165667B19E3779F9u) ^ length;
      for (size_t i = 4; length > kWhole && i + 4 <= length; i += 4) {
        const uint64_t word = FourUnits(key.data() + i);
        h = (h ^ word) * 0x9E3779B97F4A7C15u;
        h ^= h >> 32;
      }
      hash = h ^ (h >> 29);
    }
    friend bool operator==(const Sample&, const Sample&) = default;

    uint64_t first = 0, middle = 0, last = 0;
    size_t length;
    uint64_t hash;  // 64 bits on every target: the mark is its top byte
  };

  static constexpr bool kUtf8 = sizeof(Unit) == 1;

  struct Slot {
    Text text;  // empty while the slot is free
    Sample sample{View()};
    View units;  // UTF-8 names: the name as the document writes it
  };

  // Whether the slot's name, of the same sample, is `key`: the units
  // between the first and the last four are compared four at a time
  // (names are short, and a call to memcmp costs more than the compare).
  static bool Same(const Slot& slot, View key) {
    const Unit* name;
    if constexpr (kUtf8) {
      name = slot.units.data();
    } else {
      name = slot.text.View().data();
    }
    for (size_t i = 4; i + 4 < key.size(); i += 4) {
      if (Sample::FourUnits(name + i) != Sample::FourUnits(key.data() + i)) return false;
    }
    return true;
  }

  // `key` where it outlives the read: in the document, or else a copy.
  View Kept(View key, View document) {
    const auto inside = [&](const Unit* p) { return p >= document.data() && p <= document.data() + document.size(); };
    if (inside(key.data()) && inside(key.data() + key.size())) return key;
    return copies_.emplace_back(key);
  }

  void Grow() {
    std::vector<Slot> old(std::max<size_t>(64, 2 * slots_.size()));
    old.swap(slots_);
    const size_t mask = slots_.size() - 1;
    for (Slot& slot : old) {
      if (slot.text.empty()) continue;
      size_t s = slot.sample.hash & mask;
      while (!slots_[s].text.empty()) s = (s + 1) & mask;
      slots_[s] = std::move(slot);
    }
  }

  std::vector<Slot> slots_;
  size_t count_ = 0;
  std::u16string decoded_;  // a new UTF-8 name as it is decoded
  std::deque<std::basic_string<Unit>> copies_;  // UTF-8 names put together from pieces
};

}  // namespace comsvc::JSON
