#include <comsvc/json_located.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <new>
#include <optional>

#include <comsvc/locale.h>
#include <comsvc/runtime_error.h>
#include <comsvc/utf8.h>

#include "json/filler.h"
#include "json/json_number.h"
#include "json/reader_limits.h"

namespace comsvc::JSON {
namespace {

bool IsNumberChar(char16_t c) {
  return (c >= u'0' && c <= u'9') || c == u'+' || c == u'-' || c == u'.' || c == u'e' || c == u'E';
}

// The grammar of ReadJson, read one character at a time with nothing
// tokenised ahead, noting where every value starts. It is kept plain on
// purpose: ReadJson is the fast reader, this one is the one to read.
//
// Where a line of error text points: a text error at the position its line
// names; a raised failure, in the innermost container, at the value that
// raised it (or at the repeated member name), and in each container it ends
// on its way out, at the member or item that held the inner container.
class LocatingReader {
 public:
  // Each line of the error text: its begin and end there, its offset here.
  using LineMarks = std::vector<std::array<size_t, 3>>;

  LocatingReader(std::u16string_view text, std::u16string& errors, LineMarks& lines)
      : text_(text), errors_(errors), lines_(lines) {}

  Value ReadRoot(ValueLocation& where) {
    SkipFiller();
    where.key = where.value = pos_;
    if (Peek() == u'{') return ReadObject(where);
    if (Peek() == u'[') return ReadArray(where);
    errors_ = u"Invalid JSON";
    lines_.push_back({0, errors_.size(), pos_});
    return Value();
  }

 private:
  bool AtEnd() const { return pos_ >= text_.size(); }
  char16_t Peek() const { return AtEnd() ? u'\0' : text_[pos_]; }
  std::u16string_view Ahead(size_t count) const { return AtEnd() ? std::u16string_view() : text_.substr(pos_, count); }

  // Blanks, line ends, parentheses and comments, as the reader passes them.
  void SkipFiller() { pos_ = FillerEnd(text_, pos_); }

  Value ReadValue(ValueLocation& where) {
    SkipFiller();
    where.value = raise_offset_ = pos_;
    switch (Peek()) {
      case u'{':
      case u'[':
        if (depth_ >= kMaxNestingDepth) Raise(ErrorNumber::kOutOfStackSpace);
        return Peek() == u'{' ? ReadObject(where) : ReadArray(where);
      case u'"':
      case u'\'': return ReadString();
      case u't':
      case u'f': return ReadBoolean();
      case u'n': return ReadNull();
      default: return ReadNumber();
    }
  }

  // Cut off by the end of the text, an object reads the empty name with the
  // empty value on every pass, and the second such member ends it as a
  // repeated name.
  Value ReadObject(ValueLocation& where) {
    NestingLevel level(depth_);
    Ref<Dictionary> object = MakeRef<Dictionary>();
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
      const size_t key_start = pos_;
      const std::u16string key = ReadKey();
      ValueLocation member;
      member.key = key_start;
      failure_pending_ = false;
      Attempt([&] {
        Value value = ReadValue(member);
        if (object->Exists(key)) {
          raise_offset_ = key_start;
          Raise(ErrorNumber::kDuplicateKey);
        }
        object->Add(key, std::move(value));
        where.elements.push_back(std::move(member));
      });
      if (failure_pending_) {
        AppendFailureLine(key, key_start);
        break;
      }
    }
    return object;
  }

  // As ReadJson ends an array that would never reach "]": cut off by the
  // end of the text, it fails with error 9; an item that leaves the
  // position where it was (a bad true/false/null word) is its last.
  Value ReadArray(ValueLocation& where) {
    NestingLevel level(depth_);
    Ref<Collection> array = MakeRef<Collection>();
    ++pos_;
    for (;;) {
      SkipFiller();
      if (Peek() == u']') {
        ++pos_;
        return array;
      }
      if (Peek() == u',') {
        ++pos_;
        SkipFiller();
      }
      failure_pending_ = false;
      const size_t item_start = raise_offset_ = pos_;
      if (AtEnd()) {
        SetFailure(Utf8ToUtf16(ErrorDescription(ErrorNumber::kSubscriptOutOfRange)));
      } else {
        ValueLocation item;
        Attempt([&] {
          array->Add(ReadValue(item));
          item.key = item.value;
          where.elements.push_back(std::move(item));
        });
        if (!failure_pending_ && pos_ == item_start) return array;
      }
      if (failure_pending_) {
        AppendFailureLine(Ahead(kArrayQuoteLength), item_start);
        return array;
      }
    }
  }

  // A member name up to and including its colon. Quotes only group; blanks
  // are dropped, inside quotes too.
  std::u16string ReadKey() {
    std::u16string key;
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
              AppendPositionLine(u"Invalid Key at position ", key);
              return key;
            }
          }
          break;
        }
        case u':':
          ++pos_;
          if (!in_double && !in_single) return key;
          break;
        case u'\r':
        case u'\n':
        case u'\t':
        case u' ': ++pos_; break;
        default: key += text_[pos_++];
      }
    }
    return key;
  }

  Value ReadString() {
    const char16_t quote = text_[pos_++];
    std::u16string text;
    while (!AtEnd()) {
      const char16_t c = text_[pos_++];
      if (c == quote) break;
      if (c == u'\\') {
        AppendEscape(text);
      } else {
        text += c;
      }
    }
    return Value(std::u16string_view(text));
  }

  // The character after a backslash; an unknown one (or none) is read next
  // as an ordinary character.
  void AppendEscape(std::u16string& out) {
    char16_t unit;
    switch (Peek()) {
      case u'"':
      case u'\\':
      case u'/':
      case u'\'': unit = text_[pos_]; break;
      case u'b': unit = u'\b'; break;
      case u'f': unit = u'\f'; break;
      case u'n': unit = u'\n'; break;
      case u'r': unit = u'\r'; break;
      case u't': unit = u'\t'; break;
      case u'u':
        ++pos_;
        unit = platform::ReadHexDigits(Ahead(4));
        pos_ += 3;  // four characters are passed over, however many were digits
        break;
      default: return;
    }
    out += unit;
    // An escape cut short by the end of the text leaves the reading at the end.
    pos_ = std::min(pos_ + 1, text_.size());
  }

  // A run of number characters that reaches the end of the text is the
  // empty value, not converted.
  Value ReadNumber() {
    const size_t start = pos_;
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

  // A bad word's line quotes the whole rest of the text.
  void AppendWordError(std::u16string_view what) { AppendPositionLine(what, Ahead(std::u16string_view::npos)); }

  void AppendPositionLine(std::u16string_view what, std::u16string_view quoted) {
    char digits[24];
    char* const end = std::to_chars(digits, digits + sizeof digits, pos_ + 1).ptr;
    MakeRoom(what.size() + static_cast<size_t>(end - digits) + quoted.size() + 5);
    const size_t begin = errors_.size();
    errors_ += what;
    errors_.append(digits, end);
    errors_ += u" : ";
    errors_ += quoted;
    EndLine(begin, pos_);
  }

  template <typename Read>
  void Attempt(Read read) {
    try {
      read();
    } catch (const RuntimeError& e) {
      if (error_text_full_) throw;
      SetFailure(Utf8ToUtf16(e.Description()));
    } catch (const std::bad_alloc&) {
      SetFailure(u"Out of memory");
    }
  }

  void SetFailure(std::u16string description) {
    failure_pending_ = true;
    failure_ = std::move(description);
    failure_offset_ = raise_offset_;
  }

  // The line of a container that a raised failure ends; `holder` is where
  // the member or item being read starts.
  void AppendFailureLine(std::u16string_view context, size_t holder) {
    MakeRoom(failure_.size() + context.size() + 4);
    const size_t begin = errors_.size();
    errors_ += failure_;
    errors_ += u": ";
    errors_ += context;
    EndLine(begin, failure_offset_.value_or(holder));
    failure_offset_.reset();
  }

  // The error text stops at its limit, as ReadJson's does: the read raises
  // error 7, and no failure line is added on the way out.
  void MakeRoom(size_t units) {
    if (units <= kMaxErrorUnits - errors_.size()) return;
    error_text_full_ = true;
    Raise(ErrorNumber::kOutOfMemory);
  }

  void EndLine(size_t begin, size_t offset) {
    lines_.push_back({begin, errors_.size(), offset});
    errors_ += u"\r\n";
  }

  std::u16string_view text_;
  std::u16string& errors_;
  LineMarks& lines_;
  size_t pos_ = 0;
  int depth_ = 0;
  size_t raise_offset_ = 0;  // where a failure raised now would point
  bool failure_pending_ = false;
  bool error_text_full_ = false;
  std::u16string failure_;
  std::optional<size_t> failure_offset_;  // until the innermost line is written
};

std::vector<size_t> LineStarts(std::u16string_view text) {
  std::vector<size_t> starts{0};
  for (size_t i = 0; i < text.size(); ++i) {
    const bool crlf = text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n';
    if (text[i] == u'\n' || (text[i] == u'\r' && !crlf)) starts.push_back(i + 1);
  }
  return starts;
}

// The index of the element `step` names in `value`, if it holds one.
std::optional<size_t> ElementIndex(const Value& value, const PathStep& step) {
  if (step.IsItem()) {
    if (value.IsArray() && step.index < value.AsArray()->Items().size()) return step.index;
    return std::nullopt;
  }
  if (!value.IsObject()) return std::nullopt;
  const auto members = value.AsObject()->Members();
  const auto found = std::ranges::find_if(members, [&](const auto& member) { return member.first == step.name; });
  if (found == members.end()) return std::nullopt;
  return static_cast<size_t>(found - members.begin());
}

const Value& Element(const Value& value, size_t index) {
  return value.IsArray() ? value.AsArray()->Items()[index] : value.AsObject()->Members()[index].second;
}

}  // namespace

LocatedDocument::LocatedDocument(std::u16string_view text) : length_(text.size()) {
  RaisingOutOfMemory([&] {
    line_starts_ = LineStarts(text);
    root_ = LocatingReader(text, errors_, error_lines_).ReadRoot(root_location_);
  });
}

std::vector<LocatedDocument::ErrorLine> LocatedDocument::ErrorLines() const {
  return RaisingOutOfMemory([&] {
    std::vector<ErrorLine> lines;
    for (const auto& [begin, end, offset] : error_lines_) {
      lines.push_back({std::u16string_view(errors_).substr(begin, end - begin), offset});
    }
    return lines;
  });
}

const ValueLocation& LocatedDocument::Find(std::span<const PathStep> path) const {
  const Value* value = &root_;
  const ValueLocation* where = &root_location_;
  for (const PathStep& step : path) {
    const std::optional<size_t> index = ElementIndex(*value, step);
    if (!index || *index >= where->elements.size()) break;
    value = &Element(*value, *index);
    where = &where->elements[*index];
  }
  return *where;
}

TextPosition LocatedDocument::PositionOf(size_t offset) const {
  offset = std::min(offset, length_);  // past the end is at the end
  const auto after = std::upper_bound(line_starts_.begin(), line_starts_.end(), offset);
  const size_t line = static_cast<size_t>(after - line_starts_.begin());
  return {static_cast<int32_t>(line), static_cast<int32_t>(offset - line_starts_[line - 1] + 1)};
}

}  // namespace comsvc::JSON
