#include <comsvc/json_reader.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <deque>
#include <memory>
#include <new>
#include <span>
#include <type_traits>
#include <string>
#include <vector>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "core/document_arena.h"
#include <comsvc/runtime_error.h>
#include <comsvc/utf8.h>
#include "json/json_number.h"
#include "json/reader_limits.h"
#include <comsvc/locale.h>

namespace comsvc::JSON {

namespace {

// An object finds a repeated member name by a plain scan of the names it
// has, behind a filter, up to this many members; a larger one keeps a set
// of its names.
constexpr size_t kMaxScannedMembers = 64;

// The error text of the calling thread's last read, kept for ReaderErrors.
// Each thread has its own, so readers on several threads neither share nor
// overwrite each other's lines.
std::u16string& ErrorText() {
  thread_local std::u16string text;
  return text;
}

void AppendDecimal(std::u16string& out, size_t number) {
  char digits[24];
  auto end = std::to_chars(digits, digits + sizeof digits, number).ptr;
  out.append(digits, end);
}

// The 15 characters of a number: "+-0123456789.eE".
bool IsNumberChar(char16_t c) {
  static constexpr uint64_t kMask = (uint64_t{0x3FF} << '0') | (uint64_t{1} << '+') | (uint64_t{1} << '-') |
                                    (uint64_t{1} << '.');
  return c < 64 ? (kMask >> c & 1) != 0 : c == u'e' || c == u'E';
}

bool IsBlank(char16_t c) { return c == u' ' || c == u'\n' || c == u'\r' || c == u'\t'; }

// Filler other than blanks: parentheses and comment marks.
bool MayBeFiller(char16_t c) { return c == u'(' || c == u')' || c == u'/' || c == u'*'; }

#ifdef __SSE2__
// The code units of a text, 16 bytes at a time: eight UTF-16 code units or
// sixteen UTF-8 bytes.
template <typename Unit>
struct Block {
  static constexpr size_t kUnits = 16 / sizeof(Unit);

  static __m128i Load(const Unit* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
  static __m128i Splat(char16_t c) {
    if constexpr (sizeof(Unit) == 1) return _mm_set1_epi8(static_cast<char>(c));
    return _mm_set1_epi16(static_cast<short>(c));
  }
  static __m128i Equal(__m128i a, __m128i b) {
    if constexpr (sizeof(Unit) == 1) return _mm_cmpeq_epi8(a, b);
    return _mm_cmpeq_epi16(a, b);
  }
  // The index of the unit that set the lowest bit of a byte mask.
  static size_t UnitAt(int mask) { return static_cast<size_t>(__builtin_ctz(static_cast<unsigned>(mask))) / sizeof(Unit); }
};
#endif

// The position of the first `quote` or backslash at or after `from`, or the
// text's length; 16 bytes at a time where the processor allows.
template <typename Unit>
size_t StringStop(std::basic_string_view<Unit> text, size_t from, char16_t quote) {
  const Unit* p = text.data() + from;
  const Unit* const end = text.data() + text.size();
#ifdef __SSE2__
  using B = Block<Unit>;
  const __m128i quotes = B::Splat(quote);
  const __m128i backslashes = B::Splat(u'\\');
  for (; static_cast<size_t>(end - p) >= B::kUnits; p += B::kUnits) {
    const __m128i units = B::Load(p);
    const __m128i hits = _mm_or_si128(B::Equal(units, quotes), B::Equal(units, backslashes));
    if (const int mask = _mm_movemask_epi8(hits)) return static_cast<size_t>(p - text.data()) + B::UnitAt(mask);
  }
#endif
  while (p < end && *p != quote && *p != u'\\') ++p;
  return static_cast<size_t>(p - text.data());
}

// The end of the run of blanks at `from` (a line break and indentation is
// the longest run of filler in most documents), 16 bytes at a time where the
// processor allows.
template <typename Unit>
size_t BlanksEnd(std::basic_string_view<Unit> text, size_t from) {
  const Unit* p = text.data() + from;
  const Unit* const end = text.data() + text.size();
#ifdef __SSE2__
  using B = Block<Unit>;
  const __m128i spaces = B::Splat(u' ');
  const __m128i line_feeds = B::Splat(u'\n');
  const __m128i returns = B::Splat(u'\r');
  const __m128i tabs = B::Splat(u'\t');
  for (; static_cast<size_t>(end - p) >= B::kUnits; p += B::kUnits) {
    const __m128i units = B::Load(p);
    const __m128i blanks = _mm_or_si128(_mm_or_si128(B::Equal(units, spaces), B::Equal(units, line_feeds)),
                                        _mm_or_si128(B::Equal(units, returns), B::Equal(units, tabs)));
    const int mask = _mm_movemask_epi8(blanks);
    if (mask != 0xFFFF) return static_cast<size_t>(p - text.data()) + B::UnitAt(~mask);
  }
#endif
  while (p < end && IsBlank(*p)) ++p;
  return static_cast<size_t>(p - text.data());
}

// A character that ends a run of plain key characters: a quote, the colon
// or a blank.
bool IsKeySpecial(char16_t c) {
  static constexpr uint64_t kMask = (uint64_t{1} << '"') | (uint64_t{1} << '\'') | (uint64_t{1} << ':') |
                                    (uint64_t{1} << '\r') | (uint64_t{1} << '\n') | (uint64_t{1} << '\t') |
                                    (uint64_t{1} << ' ');
  return c < 64 && (kMask >> c & 1) != 0;
}

// The elements a container has read so far, on top of one of the reader's
// stacks, where nested containers gather theirs above them. However the
// container ends, its elements leave the stack with it.
template <typename T>
class Gathered {
 public:
  explicit Gathered(std::vector<T>& stack) : stack_(stack), base_(stack.size()) {}
  ~Gathered() { Clear(); }
  Gathered(const Gathered&) = delete;
  Gathered& operator=(const Gathered&) = delete;

  size_t Count() const { return stack_.size() - base_; }
  std::span<T> Elements() { return {stack_.data() + base_, Count()}; }
  void Push(T element) { stack_.push_back(std::move(element)); }
  void Clear() { stack_.erase(stack_.begin() + static_cast<std::ptrdiff_t>(base_), stack_.end()); }

 private:
  std::vector<T>& stack_;
  const size_t base_;
};

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

  // The document's text for `key`, in the credit's arena. `document` is
  // the text being read: a key that is a view of it is kept as one.
  Interned Intern(View key, View document, ArenaHoldCredit& credit) {
    if (key.empty()) return {Text(), 0};
    if (2 * (count_ + 1) > slots_.size()) Grow();
    const Sample sample(key);
    const uint64_t hash = sample.hash;
    const size_t mask = slots_.size() - 1;
    const auto mark = static_cast<uint8_t>(hash >> 56);
    size_t s = hash & mask;
    for (; !slots_[s].text.empty(); s = (s + 1) & mask) {
      if (slots_[s].sample == sample && (key.size() <= Sample::kWhole || Same(slots_[s], key))) {
        return {ShareText(slots_[s].text, credit), mark};
      }
    }
    if constexpr (kUtf8) {
      decoded_.clear();
      AppendUtf8ToUtf16(decoded_, key);
      slots_[s] = {TextInArena(decoded_, credit), sample, Kept(key, document)};
    } else {
      slots_[s] = {TextInArena(key, credit), sample, View()};
    }
    ++count_;
    return {ShareText(slots_[s].text, credit), mark};
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

// The stacks on which containers gather their elements while they are
// read. Each thread keeps its own from one read to the next, so that a
// program reading document after document does not grow them afresh (and
// touch fresh memory) every time; stacks that an unusual document grew past
// a limit are given back at the end of its read.
//
// Where thread-local storage is emulated (mingw-w64's Windows targets), a
// thread-local object's storage may be freed before its destructor runs at
// thread exit, so there each read has stacks of its own.
#if defined(_WIN32)
constexpr bool kKeepStacksPerThread = false;
#else
constexpr bool kKeepStacksPerThread = true;
#endif

struct ReaderStacks {
  static constexpr size_t kKeptBytes = size_t{1} << 20;

  std::vector<Dictionary::Member> members;
  std::vector<Value> items;

  static ReaderStacks& OfThisThread() {
    thread_local ReaderStacks stacks;
    return stacks;
  }
  // Both stacks are empty between reads.
  void Trim() {
    if (members.capacity() * sizeof(Dictionary::Member) > kKeptBytes) members = {};
    if (items.capacity() * sizeof(Value) > kKeptBytes) items = {};
  }
};

// Thrown by a reader of UTF-8 that meets something it leaves to the reader
// of UTF-16 (see ReadJson): the read starts again on the decoded text.
struct NeedsUtf16 {};

// A reader of UTF-16 code units (char16_t) or of valid UTF-8 (char). The
// characters that give a document its shape are ASCII, and every other
// character, however many code units it takes, is read as ordinary text in
// both, so both read the same tree. They differ where the count of code
// units shows: in the positions and quotes of error lines and in the four
// code units after "\u". A reader of UTF-8 never writes an error line or
// raises a failure: it gives up there (NeedsUtf16), and on a "\u" not
// followed by four ASCII code units.
template <typename Unit>
class Reader {
 public:
  using View = std::basic_string_view<Unit>;

  Reader(View text, std::u16string& errors, ReaderStacks& stacks)
      : text_(text),
        member_stack_(stacks.members),
        item_stack_(stacks.items),
        errors_(errors),
        quote_budget_(QuoteBudget(text.size())) {}

  Value ReadRoot() {
    SkipFiller();
    switch (Peek()) {
      case u'{': return ReadObject();
      case u'[': return ReadArray();
      default:
        ErrorsToWrite() = u"Invalid JSON";
        return Value();
    }
  }

 private:
  bool AtEnd() const { return pos_ >= text_.size(); }
  static constexpr bool kUtf8 = sizeof(Unit) == 1;

  // The character at the position; NUL past the end, which no step treats
  // differently from an ordinary character.
  Unit Peek() const { return AtEnd() ? Unit{0} : text_[pos_]; }
  // Up to `count` characters from the position (none past the end).
  View Ahead(size_t count) const { return AtEnd() ? View() : text_.substr(pos_, count); }
  // Whether the text at the position starts with the ASCII `word`.
  bool AheadIs(std::string_view word) const {
    return std::ranges::equal(Ahead(word.size()), word, [](Unit a, char b) { return a == Unit(b); });
  }

  // Appends code units of the text, decoded when they are UTF-8.
  static void AppendUnits(std::u16string& out, View units) {
    if constexpr (kUtf8) {
      AppendUtf8ToUtf16(out, units);
    } else {
      out.append(units);
    }
  }
  // Code units of the text as UTF-16, decoded when they are UTF-8.
  std::u16string_view Widened(View units) {
    if constexpr (kUtf8) {
      widened_.clear();
      AppendUtf8ToUtf16(widened_, units);
      return widened_;
    } else {
      return units;
    }
  }

  // Every line of the error text is written through here.
  std::u16string& ErrorsToWrite() {
    if constexpr (kUtf8) throw NeedsUtf16();
    return errors_;
  }

  // Blanks, CR, LF, parentheses and comments. The three flags follow the
  // comment marks: a "/" or "*" just seen, inside a comment, inside a block
  // comment.
  void SkipFiller() {
    if (AtEnd()) return;
    // A lone space, as after most colons, is passed here; before any
    // comment mark a blank changes nothing the longer run tracks.
    if (text_[pos_] == u' ') ++pos_;
    if (!AtEnd() && !IsBlank(text_[pos_]) && !MayBeFiller(text_[pos_])) return;
    SkipFillerRun();
  }

  [[gnu::noinline]] void SkipFillerRun() {
    // With no comment mark seen yet, blanks change no flag.
    pos_ = BlanksEnd(text_, pos_);
    if (AtEnd() || !MayBeFiller(text_[pos_])) return;
    bool start = false, comment = false, block = false;
    for (; pos_ < text_.size(); ++pos_) {
      switch (text_[pos_]) {
        case u'\r':
        case u'\n':
          if (!block) start = comment = false;
          break;
        case u'\t':
        case u' ':
        case u'(':
        case u')':
          break;
        case u'/':
          if (!block) {
            comment = start;
            start = !start;
          } else if (start) {
            start = comment = block = false;
          }
          break;
        case u'*':
          if (start) {
            start = false;
            comment = block = true;
          } else {
            start = true;
          }
          break;
        default:
          if (!comment) return;
      }
    }
  }

  [[gnu::noinline]] void SetFailure(std::string_view description) {
    if constexpr (kUtf8) throw NeedsUtf16();
    failure_pending_ = true;
    failure_ = Utf8ToUtf16(description);
  }

  // Runs `read`; a failure it raises becomes the pending failure.
  template <typename Read>
  void Attempt(Read read) {
    try {
      read();
    } catch (const RuntimeError& e) {
      SetFailure(e.Description());
    } catch (const std::bad_alloc&) {
      SetFailure("Out of memory");
    }
  }

  // The line a container appends when it stops on a raised failure.
  [[gnu::noinline]] void AppendFailureLine(View context) {
    std::u16string& errors = ErrorsToWrite();
    errors += failure_;
    errors += u": ";
    AppendUnits(errors, context);
    errors += u"\r\n";
  }

  // Containers recurse through here; everything else is read out of line,
  // so that the frames of the recursion stay small. Each read below starts
  // past the filler, which its caller has skipped.
  Value ReadValue() {
    SkipFiller();
    switch (Peek()) {
      case u'{':
      case u'[':
        if (depth_ >= kMaxNestingDepth) Raise(ErrorNumber::kOutOfStackSpace);
        return Peek() == u'{' ? ReadObject() : ReadArray();
      default: return ReadScalar();
    }
  }

  [[gnu::noinline]] Value ReadScalar() {
    switch (Peek()) {
      case u'"':
      case u'\'': return ReadString();
      case u't':
      case u'f': return ReadBoolean();
      case u'n': return ReadNull();
      default: return ReadNumber();
    }
  }

  // One level of nesting, for as long as a container is being read.
  class Level {
   public:
    explicit Level(int& depth) : depth_(depth) { ++depth_; }
    ~Level() { --depth_; }

   private:
    int& depth_;
  };

  // An object ends at "}" or on a raised failure. Cut off by the end of the
  // text, it reads the empty key with the empty value on every pass, so the
  // second such member fails as a duplicate key and ends it.
  Value ReadObject() {
    Level level(depth_);
    auto object = MakeInArena<Dictionary>(holds_);
    Gathered<Dictionary::Member> members(member_stack_);
    MemberNames names;
    std::basic_string<Unit> key_buffer;  // for the member names of this object in pieces
    ++pos_;
    for (;;) {
      SkipFiller();
      if (Peek() == u'}') {
        ++pos_;
        break;
      }
      if (Peek() == u',') {
        ++pos_;
        SkipFiller();
      }
      const View key = ReadKey(key_buffer);
      failure_pending_ = false;
      Attempt([&] { AddMember(members, names, key, ReadValue()); });
      if (failure_pending_) {
        AppendFailureLine(key);
        break;
      }
    }
    Finish(*object, members);
    return object;
  }

  // A repeated key raises error 457, as the dictionary itself would.
  void AddMember(Gathered<Dictionary::Member>& members, MemberNames& names, View key, Value value) {
    auto [name, mark] = keys_.Intern(key, text_, holds_);
    if (names.Repeated(name, mark, members.Elements())) Raise(ErrorNumber::kDuplicateKey);
    members.Push({std::move(name), std::move(value)});
  }

  Value StringValue(std::u16string_view text) { return StringInArena(text, holds_); }

  // Moves the gathered members, whose names are distinct, into the
  // dictionary in one exact-size block.
  void Finish(Dictionary& object, Gathered<Dictionary::Member>& members) {
    if (members.Count() > 0) object.AdoptDistinct(members.Elements(), *arena_);
  }

  // An array ends at "]" or on a raised failure, and in two more cases:
  // - Cut off by the end of the text, it would read the empty value for
  //   ever. When an item would be read past the end, the array raises
  //   error 9 (subscript out of range) instead: it stops with the line
  //   "Subscript out of range: " and the failure cascades to the root.
  // - An invalid true/false/null word leaves the position where it was, so
  //   it would be read again and again. The item read for it (false, or the
  //   empty value) is added once with its error line, then the array stops
  //   and returns normally; the container around it goes on from the word.
  Value ReadArray() {
    Level level(depth_);
    Gathered<Value> items(item_stack_);
    ++pos_;
    for (;;) {
      SkipFiller();
      if (Peek() == u']') {
        ++pos_;
        return Finish(items);
      }
      if (Peek() == u',') {
        ++pos_;
        SkipFiller();
      }
      failure_pending_ = false;
      const size_t item_start = pos_;
      if (AtEnd()) {
        SetFailure(ErrorDescription(ErrorNumber::kSubscriptOutOfRange));
      } else {
        Attempt([&] { items.Push(ReadValue()); });
        if (!failure_pending_ && pos_ == item_start) return Finish(items);
      }
      if (failure_pending_) {
        AppendFailureLine(Ahead(kArrayQuoteLength));
        return Finish(items);
      }
    }
  }

  Value Finish(Gathered<Value>& items) {
    auto array = MakeInArena<Collection>(holds_);
    array->Adopt(items.Elements(), *arena_);
    return array;
  }

  // A member name up to and including its colon. Quotes only group: they
  // never become part of the key, and blanks are dropped even inside them.
  // A name in one piece, as most are, is a view of the text; one in pieces
  // is put together in `buffer`.
  [[gnu::noinline]] View ReadKey(std::basic_string<Unit>& buffer) {
    if (View name; ReadSimpleKey(name)) return name;
    KeyPieces<Unit> key(buffer);
    bool in_double = false, in_single = false;
    while (!AtEnd()) {
      const Unit c = text_[pos_];
      switch (c) {
        case u'"':
        case u'\'': {
          bool& quoted = c == u'"' ? in_double : in_single;
          quoted = !quoted;
          ++pos_;
          if (!quoted) {
            SkipFiller();
            if (Peek() != u':') {
              AppendPositionLine(u"Invalid Key at position ", key.Name());
              return key.Name();
            }
          }
          break;
        }
        case u':':
          ++pos_;
          if (!in_double && !in_single) return key.Name();
          break;
        case u'\r':
        case u'\n':
        case u'\t':
        case u' ':
          ++pos_;
          break;
        default: {
          const size_t run_start = pos_;
          while (!AtEnd() && !IsKeySpecial(text_[pos_])) ++pos_;
          key.Add(text_.substr(run_start, pos_ - run_start));
        }
      }
    }
    return key.Name();
  }

  // The usual member name, "name": or 'name': with nothing in the quotes
  // that the general reading drops, taken as a view of the text; false,
  // with the position unchanged, for any other.
  bool ReadSimpleKey(View& name) {
    const Unit quote = Peek();
    if (quote != u'"' && quote != u'\'') return false;
    size_t end = pos_ + 1;
    while (end < text_.size() && !IsKeySpecial(text_[end])) ++end;
    if (end >= text_.size() || text_[end] != quote) return false;
    const size_t name_start = pos_ + 1, after_quote = end + 1;
    pos_ = after_quote;
    SkipFiller();
    if (Peek() != u':') {
      pos_ = name_start - 1;
      return false;
    }
    ++pos_;
    name = text_.substr(name_start, end - name_start);
    return true;
  }

  Value ReadString() {
    const char16_t quote = static_cast<char16_t>(text_[pos_++]);
    // Most strings hold no escape and are taken from the text in one piece.
    const size_t stop = StringStop(text_, pos_, quote);
    if (stop < text_.size() && text_[stop] == quote) {
      Value plain = StringValue(Widened(text_.substr(pos_, stop - pos_)));
      pos_ = stop + 1;
      return plain;
    }
    std::u16string& unescaped = scratch_;
    unescaped.clear();
    while (!AtEnd()) {
      const size_t run_start = pos_;
      pos_ = StringStop(text_, pos_, quote);
      AppendUnits(unescaped, text_.substr(run_start, pos_ - run_start));
      if (AtEnd()) break;
      if (text_[pos_] == quote) {
        ++pos_;
        break;
      }
      ++pos_;
      AppendEscape(unescaped);
    }
    return StringValue(unescaped);
  }

  // The character after a backslash. An unknown one (or none) is left to be
  // read as an ordinary character, so the backslash alone is dropped.
  void AppendEscape(std::u16string& out) {
    char16_t unit;
    switch (Peek()) {
      case u'"': case u'\\': case u'/': case u'\'': unit = static_cast<char16_t>(text_[pos_]); break;
      case u'b': unit = u'\b'; break;
      case u'f': unit = u'\f'; break;
      case u'n': unit = u'\n'; break;
      case u'r': unit = u'\r'; break;
      case u't': unit = u'\t'; break;
      case u'u':
        ++pos_;
        unit = platform::ReadHexDigits(HexDigitsAhead());
        // Four characters are passed over however many were digits.
        pos_ += 3;
        break;
      default: return;
    }
    out += unit;
    ++pos_;
  }

  // The four code units after "\u", however many there are digits.
  std::u16string_view HexDigitsAhead() {
    const View units = Ahead(4);
    if constexpr (kUtf8) {
      if (std::ranges::any_of(units, [](Unit c) { return static_cast<unsigned char>(c) >= 0x80; })) throw NeedsUtf16();
    }
    return Widened(units);
  }

  // The run of number characters at the position. A run that reaches the
  // end of the text gives the empty value without being converted.
  Value ReadNumber() {
    // An escape cut short at the end of the text leaves the position past
    // it; like a run that reaches the end, that is the empty value.
    if (AtEnd()) return Value();
    const size_t start = pos_;
    // Most numbers are in the plain form and end the run: read in one pass.
    size_t length = 0;
    if (std::optional<Value> plain = PlainNumberAt(text_.substr(start), length)) {
      const size_t end = start + length;
      if (end < text_.size() && !IsNumberChar(text_[end])) {
        pos_ = end;
        return std::move(*plain);
      }
    }
    while (!AtEnd() && IsNumberChar(text_[pos_])) ++pos_;
    if (AtEnd()) return Value();
    return NumberValue(Widened(text_.substr(start, pos_ - start)));
  }

  [[gnu::noinline]] Value ReadBoolean() {
    if (AheadIs("true")) {
      pos_ += 4;
      return true;
    }
    if (AheadIs("false")) {
      pos_ += 5;
      return false;
    }
    AppendWordError(u"Invalid Boolean at position ");
    return false;
  }

  [[gnu::noinline]] Value ReadNull() {
    if (AheadIs("null")) {
      pos_ += 4;
      return Null{};
    }
    AppendWordError(u"Invalid null value at position ");
    return Value();
  }

  // A bad word's line quotes the rest of the text, within the budget.
  void AppendWordError(std::u16string_view what) {
    View rest = Ahead(View::npos);
    rest = rest.substr(0, std::min(rest.size(), quote_budget_));
    quote_budget_ -= rest.size();
    AppendPositionLine(what, rest);
  }

  // A text error: `what`, the 1-based position, " : " and `quoted`.
  [[gnu::noinline]] void AppendPositionLine(std::u16string_view what, View quoted) {
    std::u16string& errors = ErrorsToWrite();
    errors += what;
    AppendDecimal(errors, pos_ + 1);
    errors += u" : ";
    AppendUnits(errors, quoted);
    errors += u"\r\n";
  }

  View text_;
  ArenaHold arena_ = DocumentArena::Create();
  // The holds of the nodes and texts read; it goes before the arena's own
  // hold.
  ArenaHoldCredit holds_{*arena_};
  KeyTable<Unit> keys_;
  std::u16string scratch_;  // a string with escapes, as it is unescaped
  std::u16string widened_;  // UTF-8 code units as they are decoded
  // The elements of the containers being read, innermost on top.
  std::vector<Dictionary::Member>& member_stack_;
  std::vector<Value>& item_stack_;
  size_t pos_ = 0;  // 0-based; error lines show it 1-based
  std::u16string& errors_;
  size_t quote_budget_;
  int depth_ = 0;
  bool failure_pending_ = false;
  std::u16string failure_;  // the pending failure's description
};

// The root of `text`, its error text left in the thread's.
template <typename Unit>
Value Read(std::basic_string_view<Unit> text) {
  std::u16string& errors = ErrorText();
  errors.clear();
  ReaderStacks own_stacks;
  ReaderStacks& stacks = kKeepStacksPerThread ? ReaderStacks::OfThisThread() : own_stacks;
  // However the read ends, the stacks it grew are trimmed.
  struct Trim {
    ReaderStacks& stacks;
    ~Trim() { stacks.Trim(); }
  } trim{stacks};
  Value root = RaisingOutOfMemory([&] { return Reader<Unit>(text, errors, stacks).ReadRoot(); });
  SealTree(root);
  return root;
}

}  // namespace

Value ReadJson(std::u16string_view text) { return Read(text); }

Value ReadJson(std::string_view utf8) {
  if (!FirstInvalidUtf8(utf8)) {
    try {
      return Read(utf8);
    } catch (const NeedsUtf16&) {
      // The partial tree is gone; the text is read again as UTF-16.
    }
  }
  return Read(std::u16string_view(Utf8ToUtf16(utf8)));
}

std::u16string ReaderErrors() { return ErrorText(); }

}  // namespace comsvc::JSON
