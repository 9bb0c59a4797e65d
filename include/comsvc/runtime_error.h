// Runtime errors raised to callers, carrying the platform's error numbers and
// description texts.
//
// The library's one error model: what the system raises is a RuntimeError
// (memory running out anywhere is error 7, and no other exception leaves a
// service); what it shows the user goes through the dialog service
// (dialogs.h); the JSON reader writes error lines instead of raising (but
// for error 7, see json_reader.h); and a few calls answer with an empty
// result, as their headers say.
#pragma once

#include <cstdint>
#include <new>
#include <stdexcept>
#include <string>

namespace comsvc {

// The platform's runtime error numbers that the services raise.
enum class ErrorNumber : int32_t {
  kInvalidProcedureCall = 5,
  kOverflow = 6,
  kOutOfMemory = 7,
  kSubscriptOutOfRange = 9,
  kTypeMismatch = 13,
  kOutOfStackSpace = 28,
  kInvalidUseOfNull = 94,
  kObjectRequired = 424,
  kDuplicateKey = 457,
};

// The platform's description text for an error number ("Overflow", ...).
const char* ErrorDescription(ErrorNumber number);

class RuntimeError : public std::runtime_error {
 public:
  explicit RuntimeError(ErrorNumber number);
  RuntimeError(int32_t number, const std::string& description);

  int32_t Number() const { return number_; }
  // The description alone; what() gives "error N: DESCRIPTION".
  const std::string& Description() const { return description_; }

 private:
  int32_t number_;
  std::string description_;
};

[[noreturn]] void Raise(ErrorNumber number);

// Runs `work` and gives its result; an allocation failure inside it, or a
// text or array longer than the address space allows (std::length_error,
// within reach of a 32-bit process), is raised as error 7, as the platform
// reports memory running out. Services
// call it at their entry points, so that a caller meets a runtime error
// rather than an exception of the language.
template <typename Work>
decltype(auto) RaisingOutOfMemory(Work&& work) {
  try {
    return work();
  } catch (const std::bad_alloc&) {
    Raise(ErrorNumber::kOutOfMemory);
  } catch (const std::length_error&) {
    Raise(ErrorNumber::kOutOfMemory);
  }
}

}  // namespace comsvc
