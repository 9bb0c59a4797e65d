// A reading of JSON text that also tells where each value stands, for tools
// that point into a document (the script linter, traces of a running
// script). It follows the same forgiving grammar as JSON::ReadJson and gives
// the same tree and the same error text; it is plainer and slower, and keeps
// one location per value.
//
// Offsets count UTF-16 code units from 0; positions count lines and columns
// from 1, columns in UTF-16 code units. A line ends at LF, at CR LF or at a
// CR alone.
//
// A document owns its tree, its error text and the locations; what its
// members return by reference or view lasts as long as it does. Like
// ReadJson it writes error lines for the text it reads and raises nothing
// but error 7, when memory runs out or the error text would pass 256 MiB.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include <comsvc/json_path.h>
#include <comsvc/value.h>

namespace comsvc::JSON {

struct TextPosition {
  int32_t line = 1;
  int32_t column = 1;
  bool operator==(const TextPosition&) const = default;
};

// Where a value stands: its first character and, for a member, the first
// character of its name (the opening quote when it is quoted). The
// locations of a container's members or items are in the order the tree
// holds them.
struct ValueLocation {
  size_t key = 0;  // a member's name; the value's own offset for an item or the root
  size_t value = 0;
  std::vector<ValueLocation> elements;
};

class LocatedDocument {
 public:
  // Reads `text`, which need not outlive the document.
  explicit LocatedDocument(std::u16string_view text);

  // The root and the error text, as ReadJson and ReaderErrors give them.
  const Value& Root() const { return root_; }
  const std::u16string& Errors() const { return errors_; }
  // One line of the error text, without its line end (a line may quote
  // text with line ends of its own), and where the reader stood for it: the
  // position the line names; for a raised failure, the value (or the
  // repeated name) that raised it, and for each container it ended on the
  // way out, the member or item that held the inner one. The views last as
  // long as the document.
  struct ErrorLine {
    std::u16string_view text;
    size_t offset;
  };
  std::vector<ErrorLine> ErrorLines() const;

  const ValueLocation& RootLocation() const { return root_location_; }
  // The location of the deepest value along `path` that the tree holds: a
  // path that leads to an absent member stops at the object it would be in.
  const ValueLocation& Find(std::span<const PathStep> path) const;

  TextPosition PositionOf(size_t offset) const;

 private:
  Value root_;
  std::u16string errors_;
  // Each line of the error text: where it begins and ends in errors_ (its
  // line end left out), and its offset in the text.
  std::vector<std::array<size_t, 3>> error_lines_;
  ValueLocation root_location_;
  std::vector<size_t> line_starts_;
  size_t length_;
};

}  // namespace comsvc::JSON
