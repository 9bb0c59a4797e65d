#include "json/json_reader_core.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <new>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include <comsvc/locale.h>
#include <comsvc/runtime_error.h>
#include <comsvc/utf8.h>

#include "core/tree_builder.h"
#include "json/filler.h"
#include "json/json_number.h"
#include "json/json_reader_keys.h"
#include "json/json_reader_scan.h"
#include "json/reader_limits.h"

namespace comsvc::JSON {

namespace {

// `number` in decimal digits, written into `digits`.
std::u16string_view Decimal(size_t number, char16_t (&digits)[24]) {
  char ascii[24];
  const char* const end = std::to_chars(ascii, ascii + sizeof ascii, number).ptr;
  std::copy(static_cast<const char*>(ascii), end, digits);
  return {digits, static_cast<size_t>(end - ascii)};
}

// A stack of elements that leave it by relocation: a container's node takes
// their bytes (see TreeBuilder), and the stack then forgets them. It grows
// by relocation too, as a copy of its bytes.
template <typename T>
class ElementStack {
 public:
  ElementStack() = default;
  ElementStack(const ElementStack&) = delete;
  ElementStack& operator=(const ElementStack&) = delete;
  ~ElementStack() { DestroyFrom(0); }

  size_t Size() const { return size_; }
  size_t Capacity() const { return capacity_; }
  T* Data() { return reinterpret_cast<T*>(slots_.get()); }

  template <typename... Args>
  void Emplace(Args&&... args) {
    if (size_ == capacity_) Grow();
    std::construct_at(Data() + size_, std::forward<Args>(args)...);
    ++size_;
  }
  // An element made by `make` right in its slot: what it returns is built
  // there, with no temporary to move from and destroy. `make` must leave
  // this stack alone, as a number's read does.
  template <typename Make>
  void EmplaceMade(Make make) {
    if (size_ == capacity_) Grow();
    ::new (static_cast<void*>(Data() + size_)) T(make());
    ++size_;
  }
  // Ends the elements from `from` on, destroying them, or forgetting them
  // once they were relocated.
  void DestroyFrom(size_t from) {
    std::destroy(Data() + from, Data() + size_);
    size_ = from;
  }
  void ForgetFrom(size_t from) { size_ = from; }
  void Release() {
    DestroyFrom(0);
    slots_.reset();
    capacity_ = 0;
  }

 private:
  struct Slot {
    alignas(T) std::byte bytes[sizeof(T)];
  };

  void Grow() {
    const size_t capacity = capacity_ == 0 ? 64 : 2 * capacity_;
    std::unique_ptr<Slot[]> slots(new Slot[capacity]);  // left uninitialized
    if (size_ > 0) std::memcpy(static_cast<void*>(slots.get()), static_cast<const void*>(slots_.get()), size_ * sizeof(Slot));
    slots_ = std::move(slots);
    capacity_ = capacity;
  }

  std::unique_ptr<Slot[]> slots_;
  size_t size_ = 0;
  size_t capacity_ = 0;
};

// The elements a container has read so far, on top of one of the reader's
// stacks, where nested containers gather theirs above them. However the
// container ends, its elements leave the stack with it: in its node, or
// destroyed.
template <typename T>
class Gathered {
 public:
  explicit Gathered(ElementStack<T>& stack) : stack_(stack), base_(stack.Size()) {}
  ~Gathered() { stack_.DestroyFrom(base_); }
  Gathered(const Gathered&) = delete;
  Gathered& operator=(const Gathered&) = delete;

  size_t Count() const { return stack_.Size() - base_; }
  std::span<T> Elements() { return {stack_.Data() + base_, Count()}; }
  void Push(T&& element) { stack_.Emplace(std::move(element)); }
  template <typename Make>
  void PushMade(Make make) {
    stack_.EmplaceMade(make);
  }
  // The node made of the elements, which relocated them.
  template <typename Node>
  Node TakenInto(Node node) {
    stack_.ForgetFrom(base_);
    return node;
  }

 private:
  ElementStack<T>& stack_;
  const size_t base_;
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

  ElementStack<Dictionary::Member> members;
  ElementStack<Value> items;

  static ReaderStacks& OfThisThread() {
    thread_local ReaderStacks stacks;
    return stacks;
  }
  // Both stacks are empty between reads.
  void Trim() {
    if (members.Capacity() * sizeof(Dictionary::Member) > kKeptBytes) members.Release();
    if (items.Capacity() * sizeof(Value) > kKeptBytes) items.Release();
  }
};

// A reader of UTF-16 code units (char16_t) or of valid UTF-8 (char). The
// characters that give a document its shape are ASCII, and every other
// character, however many code units it takes, is read as ordinary text in
// both, so both read the same tree. They differ where the count of code
// units shows: in the positions and quotes of error lines, which a reader of
// UTF-8 counts in the UTF-16 code units the bytes make, and in the four code
// units after "\u": there a reader of UTF-8 gives up on any but four ASCII
// ones and leaves the text to a reader of its UTF-16 form.
template <typename Unit>
class Reader {
 public:
  using View = std::basic_string_view<Unit>;

  Reader(View text, std::u16string& errors, ReaderStacks& stacks, size_t max_error_units)
      : text_(text),
        member_stack_(stacks.members),
        item_stack_(stacks.items),
        errors_(errors),
        max_error_units_(max_error_units) {}

  Value ReadRoot() {
    SkipFiller();
    switch (Peek()) {
      case u'{': return ReadObject();
      case u'[': return ReadArray();
      default:
        AppendError(u"Invalid JSON");
        return Value();
    }
  }

  // Whether a reader of UTF-8 gave up, leaving the text to a reader of its
  // UTF-16 form; its root is then to be dropped.
  bool GaveUp() const { return gave_up_; }

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

  // Whether the read is to end at once: a reader of UTF-8 that gave up.
  bool Stopped() const {
    if constexpr (kUtf8) return gave_up_;
    return false;
  }

  // The UTF-16 code units a byte's sequence makes, counted at its first
  // byte: one, or two for a four-byte sequence.
  static size_t UnitsAt(Unit byte) {
    const auto b = static_cast<unsigned char>(byte);
    return ((b & 0xC0) != 0x80) + (b >= 0xF0);
  }

  // The code units before position `end` as a reader of UTF-16 counts them.
  // Error lines come in reading order, so a reader of UTF-8 goes on counting
  // from the last position asked for.
  size_t UnitsBefore(size_t end) {
    if constexpr (!kUtf8) {
      return end;
    } else {
      if (end > text_.size()) return UnitsBefore(text_.size()) + (end - text_.size());
      if (end < counted_bytes_) counted_bytes_ = counted_units_ = 0;
      for (; counted_bytes_ < end; ++counted_bytes_) counted_units_ += UnitsAt(text_[counted_bytes_]);
      return counted_units_;
    }
  }

  // Up to `count` code units from the position, as a reader of UTF-16
  // quotes them: a four-byte sequence that the count cuts gives its first
  // code unit alone.
  std::u16string_view UnitsAhead(size_t count) {
    if constexpr (!kUtf8) {
      return Ahead(count);
    } else {
      if (AtEnd()) return {};
      size_t end = pos_, units = 0;
      while (end < text_.size() && units < count) {
        units += UnitsAt(text_[end++]);
        while (end < text_.size() && UnitsAt(text_[end]) == 0) ++end;
      }
      Widened(text_.substr(pos_, end - pos_));
      if (units > count) widened_.pop_back();
      return widened_;
    }
  }

  // Every piece of the error text is written through here. The text stops
  // growing at its limit: the read raises error 7 instead, as it would if
  // memory ran out, and no failure line is added on the way out.
  template <typename... Pieces>
  void AppendError(const Pieces&... pieces) {
    const size_t units = (std::u16string_view(pieces).size() + ...);
    if (units > max_error_units_ - errors_.size()) {
      error_text_full_ = true;
      Raise(ErrorNumber::kOutOfMemory);
    }
    (errors_.append(pieces), ...);
  }

  // Blanks, CR, LF, parentheses and comments (see FillerEnd).
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
    pos_ = FillerEnd(text_, pos_);
  }

  [[gnu::noinline]] void SetFailure(std::string_view description) {
    failure_pending_ = true;
    failure_ = Utf8ToUtf16(description);
  }

  // Runs `read`; a failure it raises becomes the pending failure, unless
  // the error text is full, which ends the read.
  template <typename Read>
  void Attempt(Read read) {
    try {
      read();
    } catch (const RuntimeError& e) {
      if (error_text_full_) throw;
      SetFailure(e.Description());
    } catch (const std::bad_alloc&) {
      SetFailure("Out of memory");
    }
  }

  // The line a container appends when it stops on a raised failure.
  [[gnu::noinline]] void AppendFailureLine(std::u16string_view context) {
    AppendError(failure_, u": ", context, u"\r\n");
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

  // An object ends at "}" or on a raised failure. Cut off by the end of the
  // text, it reads the empty key with the empty value on every pass, so the
  // second such member fails as a duplicate key and ends it.
  Value ReadObject() {
    NestingLevel level(depth_);
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
        AppendFailureLine(Widened(key));
        break;
      }
      if (Stopped()) break;
    }
    return members.TakenInto(tree_.MakeDictionary(members.Elements()));
  }

  // A repeated key raises error 457, as the dictionary itself would.
  void AddMember(Gathered<Dictionary::Member>& members, MemberNames& names, View key, Value value) {
    auto [name, mark] = keys_.Intern(key, text_, tree_);
    if (names.Repeated(name, mark, members.Elements())) Raise(ErrorNumber::kDuplicateKey);
    members.Push({std::move(name), std::move(value)});
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
    NestingLevel level(depth_);
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
        Attempt([&] { PushItem(items); });
        if (!failure_pending_ && pos_ == item_start) return Finish(items);
      }
      if (failure_pending_) {
        AppendFailureLine(UnitsAhead(kArrayQuoteLength));
        return Finish(items);
      }
      if (Stopped()) return Finish(items);
    }
  }

  // An item: past the filler already, so a number, the most common item of
  // large arrays (coordinates, indices), goes straight to the number reader,
  // which makes it right in its slot.
  void PushItem(Gathered<Value>& items) {
    const Unit c = Peek();
    if ((c >= u'0' && c <= u'9') || c == u'-') return items.PushMade([&] { return ReadNumberOutOfLine(); });
    items.Push(ReadValue());
  }
  [[gnu::noinline]] Value ReadNumberOutOfLine() { return ReadNumber(); }

  Value Finish(Gathered<Value>& items) { return items.TakenInto(tree_.MakeCollection(items.Elements())); }

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
      Value plain = tree_.String(Widened(text_.substr(pos_, stop - pos_)));
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
    return tree_.String(unescaped);
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
      if (std::ranges::any_of(units, [](Unit c) { return static_cast<unsigned char>(c) >= 0x80; })) gave_up_ = true;
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

  // A bad word's line quotes the whole rest of the text.
  void AppendWordError(std::u16string_view what) { AppendPositionLine(what, Ahead(View::npos)); }

  // A text error: `what`, the 1-based position, " : " and `quoted`.
  [[gnu::noinline]] void AppendPositionLine(std::u16string_view what, View quoted) {
    char16_t digits[24];
    AppendError(what, Decimal(UnitsBefore(pos_) + 1, digits), u" : ", Widened(quoted), u"\r\n");
  }

  View text_;
  TreeBuilder tree_;
  KeyTable<Unit> keys_;  // goes before the tree builder
  std::u16string scratch_;  // a string with escapes, as it is unescaped
  std::u16string widened_;  // UTF-8 code units as they are decoded
  // The elements of the containers being read, innermost on top.
  ElementStack<Dictionary::Member>& member_stack_;
  ElementStack<Value>& item_stack_;
  size_t pos_ = 0;  // 0-based; error lines show it 1-based
  std::u16string& errors_;
  const size_t max_error_units_;
  int depth_ = 0;
  bool failure_pending_ = false;
  bool error_text_full_ = false;
  bool gave_up_ = false;
  // How many code units the first counted_bytes_ bytes of UTF-8 make.
  size_t counted_bytes_ = 0;
  size_t counted_units_ = 0;
  std::u16string failure_;  // the pending failure's description
};

// The root of `text` and its error text. A reader of UTF-8 that gives up
// leaves nothing.
template <typename Unit>
std::optional<ReadResult> ReadText(std::basic_string_view<Unit> text, size_t max_error_units) {
  ReadResult result;
  ReaderStacks own_stacks;
  ReaderStacks& stacks = kKeepStacksPerThread ? ReaderStacks::OfThisThread() : own_stacks;
  // However the read ends, the stacks it grew are trimmed.
  struct Trim {
    ReaderStacks& stacks;
    ~Trim() { stacks.Trim(); }
  } trim{stacks};
  const bool gave_up = RaisingOutOfMemory([&] {
    Reader<Unit> reader(text, result.errors, stacks, max_error_units);
    result.root = reader.ReadRoot();
    return reader.GaveUp();
  });
  if (gave_up) return std::nullopt;
  SealTree(result.root);
  return result;
}

}  // namespace

ReadResult ReadBounded(std::u16string_view text, size_t max_error_units) {
  return *ReadText(text, max_error_units);
}

ReadResult ReadBounded(std::string_view utf8, size_t max_error_units) {
  if (!FirstInvalidUtf8(utf8)) {
    if (std::optional<ReadResult> read = ReadText(utf8, max_error_units)) return std::move(*read);
  }
  return ReadBounded(std::u16string_view(RaisingOutOfMemory([&] { return Utf8ToUtf16(utf8); })), max_error_units);
}

}  // namespace comsvc::JSON
