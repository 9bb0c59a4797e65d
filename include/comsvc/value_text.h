// The default conversion of a single value to text, with no rendering rules:
// a string is itself, the empty value is empty text, a number its default
// text (locale's decimal separator), a Boolean "True"/"False". Null raises
// error 94 (invalid use of Null); a dictionary or collection raises error 13.
// The text returned is the caller's.
#pragma once

#include <string>

#include <comsvc/value.h>
#include <comsvc/locale.h>

namespace comsvc::platform {

std::u16string PlainText(const Value& value, const NumberFormat& format = Locale::Numbers());

}  // namespace comsvc::platform
