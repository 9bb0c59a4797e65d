// What the reader and its located form share so that they read exactly the
// same text alike: the filler between a document's tokens (blanks, CR, LF,
// parentheses and comments, a "//" one to the line end and a "/*" one to its
// "*/"), and the count of containers being read.
#pragma once

#include <cstddef>
#include <string_view>

namespace comsvc::JSON {

// Where the filler that starts at `pos` ends. The three flags follow the
// comment marks: a "/" or "*" just seen, inside a comment, inside a block
// comment.
template <typename Unit>
size_t FillerEnd(std::basic_string_view<Unit> text, size_t pos) {
  bool start = false, comment = false, block = false;
  for (; pos < text.size(); ++pos) {
    switch (text[pos]) {
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
        if (!comment) return pos;
    }
  }
  return pos;
}

// One level of nesting, counted for as long as a container is being read.
class NestingLevel {
 public:
  explicit NestingLevel(int& depth) : depth_(depth) { ++depth_; }
  ~NestingLevel() { --depth_; }
  NestingLevel(const NestingLevel&) = delete;
  NestingLevel& operator=(const NestingLevel&) = delete;

 private:
  int& depth_;
};

}  // namespace comsvc::JSON
