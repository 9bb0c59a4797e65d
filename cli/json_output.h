// JSON text that the command line writes: strings, doubles, values in
// standard JSON and in the typed form, and dialog records.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include <comsvc/value.h>
#include <comsvc/dialogs.h>

namespace comsvc::cli {

// A JSON string literal: quotes, backslashes and control characters escaped,
// other characters as UTF-8, a lone surrogate as "\uD8xx".
std::string JsonString(std::u16string_view text);
void AppendJsonString(std::string& out, std::u16string_view text);

// The shortest text that reads back to the same double, always with a
// fraction or an exponent: 1000.0, 2.5, 1e+16, 1e-05, -0.0.
std::string JsonDouble(double value);

// Standard JSON: the empty value as null, members in order. `pretty` indents
// by two spaces.
std::string StandardJson(const Value& value, bool pretty);

// The typed form: ["empty"], ["null"], ["bool",true], ["int",N],
// ["double",N], ["string","..."], ["object",[["key",T],...]], ["array",[T,...]];
// `null` for no value at all is written by the caller.
std::string TypedJson(const Value& value);

// The same texts handed to `sink` a chunk at a time as they are made, so
// that printing a large tree never holds its whole text.
using OutputSink = std::function<void(std::string_view)>;
void WriteStandardJson(const Value& value, bool pretty, const OutputSink& sink);
void WriteTypedJson(const Value& value, const OutputSink& sink);

// {"box":"message",...} or {"box":"input",...} as the dialog log writes it.
std::string DialogRecordJson(const platform::DialogRecord& record);

}  // namespace comsvc::cli
