#include <comsvc/runtime_error.h>

#include <cstdio>

namespace comsvc {

const char* ErrorDescription(ErrorNumber number) {
  switch (number) {
    case ErrorNumber::kInvalidProcedureCall: return "Invalid procedure call or argument";
    case ErrorNumber::kOverflow: return "Overflow";
    case ErrorNumber::kOutOfMemory: return "Out of memory";
    case ErrorNumber::kSubscriptOutOfRange: return "Subscript out of range";
    case ErrorNumber::kTypeMismatch: return "Type mismatch";
    case ErrorNumber::kOutOfStackSpace: return "Out of stack space";
    case ErrorNumber::kInvalidUseOfNull: return "Invalid use of Null";
    case ErrorNumber::kObjectRequired: return "Object required";
    case ErrorNumber::kDuplicateKey:
      return "This key is already associated with an element of this collection";
  }
  return "Application-defined or object-defined error";
}

RuntimeError::RuntimeError(ErrorNumber number)
    : RuntimeError(static_cast<int32_t>(number), ErrorDescription(number)) {}

namespace {
std::string ErrorLine(int32_t number, const std::string& description) {
  char prefix[32];
  std::snprintf(prefix, sizeof prefix, "error %d: ", static_cast<int>(number));
  std::string line(prefix);
  line += description;
  return line;
}
}  // namespace

RuntimeError::RuntimeError(int32_t number, const std::string& description)
    : std::runtime_error(ErrorLine(number, description)),
      number_(number),
      description_(description) {}

void Raise(ErrorNumber number) { throw RuntimeError(number); }

}  // namespace comsvc
