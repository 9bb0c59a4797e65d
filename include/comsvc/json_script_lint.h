// Checks scripts written in JSON without running them: what would make a
// run fail (errors), and what runs but most likely does not mean what it
// says (warnings), each with where it stands in the script's text.
//
// The rules, by name:
//   errors    parse-error       a line of the reader's error text
//             script-shape      a top-level number, Boolean or empty value;
//                               a top-level object with members
//             step-value        a step whose value is null, a number, a
//                               Boolean or empty
//             argument-kind     a command that needs an argument object given
//                               a text; "return" given an object or array
//             switch-items      "switch" without an "items" array of objects
//             switch-case       an item's "case" that is an object or array
//             if-type           an "if" "type" that is an object or array
//             get-name          a "get" "name" that is null, an object or an
//                               array
//             directive-argument  a directive's argument that is null, an
//                               object or an array
//             nesting           a value deeper than ExecCommand renders
//   warnings  misspelt-command  a key that is a command but for a slip,
//                               blanks or letter case: it writes a directive
//             unread-member     a member that the command does not read
//             if-never-holds    an "if" "type" that is none of the five
//             text-comparison   gt, lt, gte or lte between two numbers, which
//                               compare as texts
//             unset-variable    a "get" without "default" of a name that no
//                               "set" of the scripts stores
//             unreachable-case  a "switch" item that no selector can reach
//             self-set          a "set" whose own "value" sets the same name
//
// Boxes are never shown and nothing is run. The findings are the caller's;
// nothing raises but error 7, when memory runs out.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include <comsvc/json_located.h>

namespace comsvc {

enum class LintSeverity { kError, kWarning };

struct LintFinding {
  size_t script = 0;  // the index of the script among those linted
  JSON::TextPosition position;
  LintSeverity severity = LintSeverity::kError;
  std::string rule;  // one of the names above
  std::u16string message;
};

// Lints scripts that run together on one cJSONScript, in that order, so
// that a name one of them sets counts for the others. The findings come
// script by script, each script's in the order of their positions. The
// plain text forms of numbers follow the locale, as when the scripts run.
std::vector<LintFinding> LintScripts(std::span<const std::u16string_view> scripts);

}  // namespace comsvc
