// MD5 (RFC 1321) of a text in one call, as lowercase hexadecimal: all 32
// digits, or the middle 16. Independent of the MD5 class: it keeps no state
// and digests each character as one byte position holding the character's
// code in the ANSI code page, so a double-byte character contributes its
// 16-bit code (sign-extended) rather than two bytes.
//
// Errors: a Null message raises error 94; a text that does not convert
// raises what its plain text form raises (see value_text.h).
#pragma once

#include <comsvc/value.h>

namespace comsvc::MD5ForServer {

// The digest of sMessage's text form: 32 lowercase hexadecimal digits when
// stype equals 32, else digest bytes 4 to 11 as 16 digits.
//
// stype equals 32 when it holds a number equal to 32, or a text that reads as
// a number equal to 32 under the locale ("32", " 32 ", "32.0", "&H20"), as the
// host's variant comparison treats numeric text against a number. The empty
// value, Null, Booleans, other texts, dictionaries and collections never
// equal 32. A Null sMessage raises error 94.
Value MD5(const Value& sMessage, const Value& stype);

}  // namespace comsvc::MD5ForServer
