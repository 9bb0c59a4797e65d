// The system's own converter between a code page and UTF-16LE, from which
// the code-page tables are built, and the code page the system runs in.
#pragma once

#include <cstddef>
#include <memory>

namespace comsvc::platform {

class Converter {
 public:
  // `to` and `from` name encodings: "UTF-16LE" or a code page ("CP936").
  Converter(const char* to, const char* from);
  ~Converter();
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;
  bool ok() const;

  enum class Outcome { kConverted, kIncomplete, kInvalid };

  // Converts `in` whole, from the initial shift state, flushing any state the
  // converter keeps (the combining code pages hold back a base letter).
  Outcome Convert(const char* in, size_t in_size, char* out, size_t out_capacity, size_t* out_size);

 private:
  struct Handle;
  std::unique_ptr<Handle> handle_;
};

// The ANSI code page the process runs in when nothing chooses another.
int SystemCodePage();

}  // namespace comsvc::platform
