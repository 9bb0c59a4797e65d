#include <comsvc/json_reader.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <span>
#include <string>
#include <vector>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "core/document_arena.h"
#include <comsvc/runtime_error.h>
#include <comsvc/utf8.h>
#include "json/json_number.h"
#include <comsvc/locale.h>

namespace comsvc::JSON {

namespace {

// Containers nest at most this deep, the root being level 1. Reading a
// container one level deeper raises error 28 (out of stack space) at that
// level, which cascades like any raised failure. A level takes about 0.3 KB
// of stack (about 1.4 KB with the address sanitizer), so the deepest
// document needs well under a quarter of a default 8 MB stack.
constexpr int kMaxNestingDepth = 1000;

// An object finds a repeated member name by a plain scan of the names it
// has, behind a filter, up to this many members; a larger one keeps a set
// of its names.
constexpr size_t kMaxScannedMembers = 64;

// An array's failure line quotes this many characters from the position.
constexpr size_t kArrayQuoteLength = 20;

// A Boolean or null error line quotes the rest of the text. So that a text
// full of bad words cannot make the error text grow with the square of its
// length, the quotes of one read together hold at most this many times the
// text's length, plus a fixed allowance for short texts; past that budget a
// quote is cut short. A document with a handful of bad words, wherever they
// lie, keeps every quote whole.
constexpr size_t kQuoteBudgetPerCharacter = 8;
constexpr size_t kExtraQuoteBudget = 65536;

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

// The position of the first `quote` or backslash at or after `from`, or the
// text's length; eight code units at a time where the processor allows.
size_t StringStop(std::u16string_view text, size_t from, char16_t quote) {
  const char16_t* p = text.data() + from;
  const char16_t* const end = text.data() + text.size();
#ifdef __SSE2__
  const __m128i quotes = _mm_set1_epi16(static_cast<short>(quote));
  const __m128i backslashes = _mm_set1_epi16(u'\\');
  for (; end - p >= 8; p += 8) {
    const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i hits = _mm_or_si128(_mm_cmpeq_epi16(units, quotes), _mm_cmpeq_epi16(units, backslashes));
    if (const int mask = _mm_movemask_epi8(hits)) {
      return static_cast<size_t>(p - text.data()) + static_cast<size_t>(__builtin_ctz(mask)) / 2;
    }
  }
#endif
  while (p < end && *p != quote && *p != u'\\') ++p;
  return static_cast<size_t>(p - text.data());
}

// The end of the run of blanks at `from` (a line break and indentation is
// the longest run of filler in most documents), eight code units at a time
// where the processor allows.
size_t BlanksEnd(std::u16string_view text, size_t from) {
  const char16_t* p = text.data() + from;
  const char16_t* const end = text.data() + text.size();
#ifdef __SSE2__
  const __m128i spaces = _mm_set1_epi16(u' ');
  const __m128i line_feeds = _mm_set1_epi16(u'\n');
  const __m128i returns = _mm_set1_epi16(u'\r');
  const __m128i tabs = _mm_set1_epi16(u'\t');
  for (; end - p >= 8; p += 8) {
    const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i blanks = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi16(units, spaces), _mm_cmpeq_epi16(units, line_feeds)),
                                        _mm_or_si128(_mm_cmpeq_epi16(units, returns), _mm_cmpeq_epi16(units, tabs)));
    const int mask = _mm_movemask_epi8(blanks);
    if (mask != 0xFFFF) return static_cast<size_t>(p - text.data()) + static_cast<size_t>(__builtin_ctz(~mask)) / 2;
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
class KeyPieces {
 public:
  explicit KeyPieces(std::u16string& buffer) : buffer_(buffer) {}

  void Add(std::u16string_view piece) {
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
  std::u16string_view Name() const { return in_buffer_ ? std::u16string_view(buffer_) : first_; }

 private:
  std::u16string& buffer_;
  std::u16string_view first_;
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
class KeyTable {
 public:
  // A name as the document keeps it, and one of 256 marks that its hash
  // gives it, so that an object can tell quickly that it has no member of
  // that name yet.
  struct Interned {
    Text text;
    uint8_t mark;
  };

  // The document's text for `key`, in the credit's arena.
  Interned Intern(std::u16string_view key, ArenaHoldCredit& credit) {
    if (key.empty()) return {Text(), 0};
    if (2 * (count_ + 1) > slots_.size()) Grow();
    const Sample sample(key);
    const size_t hash = sample.hash, mask = slots_.size() - 1;
    const auto mark = static_cast<uint8_t>(hash >> 56);
    size_t s = hash & mask;
    for (; !slots_[s].text.empty(); s = (s + 1) & mask) {
      if (slots_[s].sample == sample && (key.size() <= Sample::kWhole || Same(slots_[s].text, key))) {
        return {ShareText(slots_[s].text, credit), mark};
      }
    }
    slots_[s] = {TextInArena(key, credit), sample};
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

    explicit Sample(std::u16string_view key) : length(key.size()) {
      if (length >= 4) {
        std::memcpy(&first, key.data(), sizeof first);
        std::memcpy(&middle, key.data() + (length - 4) / 2, sizeof middle);
        std::memcpy(&last, key.data() + length - 4, sizeof last);
      } else {
        for (char16_t c : key) first = first << 16 | c;
      }
      uint64_t h = (first * 0x9E3779B97F4A7C15u) ^ (middle * 0xC2B2AE3D27D4EB4Fu) ^ (last * 0x165667B19E3779F9u) ^ length;
      for (size_t i = 4; length > kWhole && i + 4 <= length; i += 4) {
        uint64_t word;
        std::memcpy(&word, key.data() + i, sizeof word);
        h = (h ^ word) * 0x9E3779B97F4A7C15u;
        h ^= h >> 32;
      }
      hash = static_cast<size_t>(h ^ (h >> 29));
    }
    friend bool operator==(const Sample&, const Sample&) = default;

    uint64_t first = 0, middle = 0, last = 0;
    size_t length;
    size_t hash;
  };

  struct Slot {
    Text text;  // empty while the slot is free
    Sample sample{std::u16string_view()};
  };

  static bool Same(std::u16string_view a, std::u16string_view b) {
    return std::memcmp(a.data(), b.data(), a.size() * sizeof(char16_t)) == 0;
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
};

// The characters all quotes of one read may hold, saturating for texts too
// long for the product to fit.
size_t QuoteBudget(size_t text_length) {
  if (text_length > (SIZE_MAX - kExtraQuoteBudget) / kQuoteBudgetPerCharacter) return SIZE_MAX;
  return text_length * kQuoteBudgetPerCharacter + kExtraQuoteBudget;
}

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

class Reader {
 public:
  Reader(std::u16string_view text, std::u16string& errors, ReaderStacks& stacks)
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
        errors_ = u"Invalid JSON";
        return Value();
    }
  }

 private:
  bool AtEnd() const { return pos_ >= text_.size(); }
  // The character at the position; NUL past the end, which no step treats
  // differently from an ordinary character.
  char16_t Peek() const { return AtEnd() ? u'\0' : text_[pos_]; }
  // Up to `count` characters from the position (none past the end).
  std::u16string_view Ahead(size_t count) const {
    return AtEnd() ? std::u16string_view() : text_.substr(pos_, count);
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
  [[gnu::noinline]] void AppendFailureLine(std::u16string_view context) {
    errors_ += failure_;
    errors_ += u": ";
    errors_ += context;
    errors_ += u"\r\n";
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
    std::u16string key_buffer;  // for the member names of this object in pieces
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
      const std::u16string_view key = ReadKey(key_buffer);
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
  void AddMember(Gathered<Dictionary::Member>& members, MemberNames& names, std::u16string_view key, Value value) {
    auto [name, mark] = keys_.Intern(key, holds_);
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
  [[gnu::noinline]] std::u16string_view ReadKey(std::u16string& buffer) {
    if (std::u16string_view name; ReadSimpleKey(name)) return name;
    KeyPieces key(buffer);
    bool in_double = false, in_single = false;
    while (!AtEnd()) {
      const char16_t c = text_[pos_];
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
  bool ReadSimpleKey(std::u16string_view& name) {
    const char16_t quote = Peek();
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
    const char16_t quote = text_[pos_++];
    // Most strings hold no escape and are taken from the text in one piece.
    const size_t stop = StringStop(text_, pos_, quote);
    if (stop < text_.size() && text_[stop] == quote) {
      Value plain = StringValue(text_.substr(pos_, stop - pos_));
      pos_ = stop + 1;
      return plain;
    }
    std::u16string& unescaped = scratch_;
    unescaped.clear();
    while (!AtEnd()) {
      const size_t run_start = pos_;
      pos_ = StringStop(text_, pos_, quote);
      unescaped.append(text_.substr(run_start, pos_ - run_start));
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
      case u'"': case u'\\': case u'/': case u'\'': unit = text_[pos_]; break;
      case u'b': unit = u'\b'; break;
      case u'f': unit = u'\f'; break;
      case u'n': unit = u'\n'; break;
      case u'r': unit = u'\r'; break;
      case u't': unit = u'\t'; break;
      case u'u':
        ++pos_;
        unit = platform::ReadHexDigits(Ahead(4));
        // Four characters are passed over however many were digits.
        pos_ += 3;
        break;
      default: return;
    }
    out += unit;
    ++pos_;
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
    return NumberValue(text_.substr(start, pos_ - start));
  }

  Value ReadBoolean() {
    if (Ahead(4) == u"true") {
      pos_ += 4;
      return true;
    }
    if (Ahead(5) == u"false") {
      pos_ += 5;
      return false;
    }
    AppendWordError(u"Invalid Boolean at position ");
    return false;
  }

  Value ReadNull() {
    if (Ahead(4) == u"null") {
      pos_ += 4;
      return Null{};
    }
    AppendWordError(u"Invalid null value at position ");
    return Value();
  }

  // A bad word's line quotes the rest of the text, within the budget.
  void AppendWordError(std::u16string_view what) {
    std::u16string_view rest = Ahead(std::u16string_view::npos);
    rest = rest.substr(0, std::min(rest.size(), quote_budget_));
    quote_budget_ -= rest.size();
    AppendPositionLine(what, rest);
  }

  // A text error: `what`, the 1-based position, " : " and `quoted`.
  [[gnu::noinline]] void AppendPositionLine(std::u16string_view what, std::u16string_view quoted) {
    errors_ += what;
    AppendDecimal(errors_, pos_ + 1);
    errors_ += u" : ";
    errors_ += quoted;
    errors_ += u"\r\n";
  }

  std::u16string_view text_;
  ArenaHold arena_ = DocumentArena::Create();
  // The holds of the nodes and texts read; it goes before the arena's own
  // hold.
  ArenaHoldCredit holds_{*arena_};
  KeyTable keys_;
  std::u16string scratch_;  // a string with escapes, as it is unescaped
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

}  // namespace

Value ReadJson(std::u16string_view text) {
  std::u16string& errors = ErrorText();
  errors.clear();
  ReaderStacks own_stacks;
  ReaderStacks& stacks = kKeepStacksPerThread ? ReaderStacks::OfThisThread() : own_stacks;
  Value root = RaisingOutOfMemory([&] { return Reader(text, errors, stacks).ReadRoot(); });
  stacks.Trim();
  return root;
}

std::u16string ReaderErrors() { return ErrorText(); }

}  // namespace comsvc::JSON
