// JSON::Read with the limit on its error text given by the caller; Read
// itself gives kMaxErrorUnits.
#pragma once

#include <cstddef>
#include <string_view>

#include <comsvc/json_reader.h>

#include "json/reader_limits.h"

namespace comsvc::JSON {

ReadResult ReadBounded(std::u16string_view text, size_t max_error_units);
ReadResult ReadBounded(std::string_view utf8, size_t max_error_units);

}  // namespace comsvc::JSON
