// The playground's way into the library: a few C functions that the page
// calls with ccall. Text crosses as UTF-16 both ways, so positions in the
// library's answers are indices into the page's own strings: an argument is
// a pointer to code units and their count, a result is a JSON text that
// stays valid until the next call, ended by a NUL code unit.
//
// The page calls one function at a time and waits for it: a script may stop
// in a box, and the module then waits (Asyncify) for the page's answer.
#include <emscripten.h>

#include <cstdint>
#include <string>
#include <string_view>

#include <comsvc/code_page.h>
#include <comsvc/dialogs.h>
#include <comsvc/json_located.h>
#include <comsvc/json_path.h>
#include <comsvc/json_script.h>
#include <comsvc/json_script_events.h>
#include <comsvc/json_script_lint.h>
#include <comsvc/md5_digest.h>
#include <comsvc/md5_function.h>
#include <comsvc/runtime_error.h>
#include <comsvc/url_helper.h>
#include <comsvc/utf8.h>
#include <comsvc/value.h>
#include <comsvc/value_text.h>
#include <comsvc/version.h>

namespace comsvc::playground {
namespace {

// A JSON text written as UTF-16.
class JsonWriter {
 public:
  JsonWriter& Raw(std::u16string_view text) {
    out_ += text;
    return *this;
  }
  JsonWriter& Raw(std::string_view ascii) {
    out_.append(ascii.begin(), ascii.end());
    return *this;
  }
  JsonWriter& String(std::u16string_view text) {
    static constexpr char kHex[] = "0123456789abcdef";
    out_ += u'"';
    for (char16_t c : text) {
      if (c == u'"' || c == u'\\') {
        out_ += u'\\';
        out_ += c;
      } else if (c < 0x20 || c == 0x2028 || c == 0x2029) {
        out_ += u"\\u";
        for (int shift = 12; shift >= 0; shift -= 4) out_ += static_cast<char16_t>(kHex[(c >> shift) & 0xF]);
      } else {
        out_ += c;
      }
    }
    out_ += u'"';
    return *this;
  }
  JsonWriter& String(std::string_view utf8) { return String(std::u16string_view(Utf8ToUtf16(utf8))); }
  JsonWriter& Number(int64_t number) { return Raw(std::to_string(number)); }
  // "name": — the member's value follows.
  JsonWriter& Key(std::string_view name) {
    if (!out_.empty() && out_.back() != u'{' && out_.back() != u'[') out_ += u',';
    return String(name).Raw(":");
  }
  // A separator before the next item of an array.
  JsonWriter& Next() {
    if (!out_.empty() && out_.back() != u'[') out_ += u',';
    return *this;
  }
  JsonWriter& Failure(const RuntimeError& error) {
    Raw("{");
    Key("number").Number(error.Number());
    Key("description").String(error.Description());
    return Raw("}");
  }

  std::u16string Take() { return std::move(out_); }

 private:
  std::u16string out_;
};

// The text handed back to the page, kept until the next call.
const char16_t* Answer(JsonWriter& out) {
  static std::u16string answer;
  answer = out.Take();
  return answer.c_str();
}

std::u16string_view Argument(const char16_t* text, int32_t length) {
  return length > 0 ? std::u16string_view(text, static_cast<size_t>(length)) : std::u16string_view();
}

const char* KindName(ValueKind kind) {
  switch (kind) {
    case ValueKind::kEmpty: return "empty";
    case ValueKind::kNull: return "null";
    case ValueKind::kBoolean: return "Boolean";
    case ValueKind::kInteger:
    case ValueKind::kLong: return "integer";
    case ValueKind::kDouble: return "double";
    case ValueKind::kString: return "string";
    case ValueKind::kObject: return "object";
    case ValueKind::kArray: return "array";
  }
  return "empty";
}

// {"kind":K, "text":T} for a single value (its plain text form), with
// "members":[[name, node]...] for an object and "items":[node...] for an
// array.
void WriteTree(JsonWriter& out, const Value& value) {
  out.Raw("{");
  out.Key("kind").String(KindName(value.Kind()));
  if (value.IsObject()) {
    out.Key("members").Raw("[");
    for (const auto& [name, member] : value.AsObject()->Members()) {
      out.Next().Raw("[").String(std::u16string_view(name)).Raw(",");
      WriteTree(out, member);
      out.Raw("]");
    }
    out.Raw("]");
  } else if (value.IsArray()) {
    out.Key("items").Raw("[");
    for (const Value& item : value.AsArray()->Items()) {
      out.Next();
      WriteTree(out, item);
    }
    out.Raw("]");
  } else if (!value.IsNull()) {
    out.Key("text").String(platform::PlainText(value));
  }
  out.Raw("}");
}

// The boxes go to the page (the seam's web backend); without it, none.
void UsePageBoxes() {
  static const bool installed = [] {
    platform::SetDialogs(platform::MakeDesktopDialogs());
    return true;
  }();
  (void)installed;
}

const char* EventName(ScriptEvent::Kind kind) {
  switch (kind) {
    case ScriptEvent::Kind::kStep: return "step";
    case ScriptEvent::Kind::kSet: return "set";
    case ScriptEvent::Kind::kGet: return "get";
    case ScriptEvent::Kind::kMessageBox:
    case ScriptEvent::Kind::kInputBox: return "box";
    case ScriptEvent::Kind::kDirective: return "directive";
    case ScriptEvent::Kind::kFailure: return "failure";
  }
  return "step";
}

// One event as an item of the trace, in the terms of comsvc eval --trace:
// its kind, its path, the offset in the script of the member or item it
// stands at, and the parts that kind fills.
void WriteEvent(JsonWriter& out, const ScriptEvent& event, const JSON::LocatedDocument& script) {
  using Kind = ScriptEvent::Kind;
  out.Next().Raw("{");
  out.Key("event").String(EventName(event.kind));
  out.Key("path").String(JSON::PathText(event.path));
  out.Key("offset").Number(static_cast<int64_t>(script.Find(event.path).key));
  const auto text = [&](std::string_view name, std::u16string_view value) { out.Key(name).String(value); };
  switch (event.kind) {
    case Kind::kStep: text("command", event.command), text("result", event.result); break;
    case Kind::kSet: text("name", event.name), text("value", event.value); break;
    case Kind::kGet:
      text("name", event.name), text("value", event.value);
      out.Key("found").Raw(event.found ? "true" : "false");
      break;
    case Kind::kMessageBox: text("box", u"message"), text("text", event.text), text("title", event.title); break;
    case Kind::kInputBox:
      text("box", u"input"), text("prompt", event.text), text("title", event.title);
      text("default", event.default_text), text("answer", event.result);
      break;
    case Kind::kDirective:
      text("command", event.command), text("name", event.name), text("arguments", event.value);
      text("text", event.result);
      break;
    case Kind::kFailure: out.Key("number").Number(event.number), text("description", event.result); break;
  }
  out.Raw("}");
}

}  // namespace
}  // namespace comsvc::playground

using comsvc::playground::Argument;
using comsvc::playground::Answer;
using comsvc::playground::JsonWriter;

extern "C" {

// The library's version, as plain text.
EMSCRIPTEN_KEEPALIVE const char16_t* comsvc_version() {
  JsonWriter out;
  return Answer(out.Raw(COMSVC_VERSION));
}


// {"root":TREE,"errors":[{"text":LINE,"offset":N}...]}: what the reader makes
// of the text (JSON::LocatedDocument, whose root and error text are those of
// ReadJson), each error line with the offset in the text it stands at.
EMSCRIPTEN_KEEPALIVE const char16_t* comsvc_read_json(const char16_t* text, int32_t length) {
  JsonWriter out;
  out.Raw("{");
  try {
    const comsvc::JSON::LocatedDocument document(Argument(text, length));
    out.Key("root");
    comsvc::playground::WriteTree(out, document.Root());
    out.Key("errors").Raw("[");
    for (const auto& line : document.ErrorLines()) {
      out.Next().Raw("{");
      out.Key("text").String(line.text);
      out.Key("offset").Number(static_cast<int64_t>(line.offset));
      out.Raw("}");
    }
    out.Raw("]");
  } catch (const comsvc::RuntimeError& error) {
    out.Key("failure").Failure(error);
  }
  return Answer(out.Raw("}"));
}

// {"output":TEXT,"failure":null|{"number":N,"description":D},"trace":[...]}:
// one run of cJSONScript::Eval on a new instance, every event of it traced.
// Boxes are the page's.
EMSCRIPTEN_KEEPALIVE const char16_t* comsvc_eval(const char16_t* script, int32_t length) {
  comsvc::playground::UsePageBoxes();
  JsonWriter out;
  out.Raw("{");
  JsonWriter trace;
  trace.Raw("[");
  try {
    const comsvc::JSON::LocatedDocument located(Argument(script, length));
    comsvc::cJSONScript evaluator;
    evaluator.Observe([&](const comsvc::ScriptEvent& event) { comsvc::playground::WriteEvent(trace, event, located); });
    const std::u16string output = evaluator.Eval(std::u16string(Argument(script, length)));
    out.Key("output").String(output);
    out.Key("failure").Raw("null");
  } catch (const comsvc::RuntimeError& error) {
    out.Key("output").Raw("null");
    out.Key("failure").Failure(error);
  }
  out.Key("trace").Raw(std::u16string_view(trace.Raw("]").Take()));
  return Answer(out.Raw("}"));
}

// [{"line":L,"column":C,"severity":"error"|"warning","rule":R,"message":M}...]:
// what LintScripts finds in the script.
EMSCRIPTEN_KEEPALIVE const char16_t* comsvc_lint(const char16_t* script, int32_t length) {
  JsonWriter out;
  out.Raw("[");
  const std::u16string_view scripts[] = {Argument(script, length)};
  try {
    for (const comsvc::LintFinding& finding : comsvc::LintScripts(scripts)) {
      out.Next().Raw("{");
      out.Key("line").Number(finding.position.line);
      out.Key("column").Number(finding.position.column);
      out.Key("severity").String(finding.severity == comsvc::LintSeverity::kError ? "error" : "warning");
      out.Key("rule").String(finding.rule);
      out.Key("message").String(finding.message);
      out.Raw("}");
    }
  } catch (const comsvc::RuntimeError&) {
    // Out of memory: no findings to show.
  }
  return Answer(out.Raw("]"));
}

// {"md5":D,"server32":D,"server16":D,"percent":T}, each a text or a failure
// {"number":N,"description":D}, under code page `code_page`.
EMSCRIPTEN_KEEPALIVE const char16_t* comsvc_digest(const char16_t* text, int32_t length, int32_t code_page) {
  JsonWriter out;
  out.Raw("{");
  if (!comsvc::platform::CodePage::SetCurrent(code_page)) {
    out.Key("failure").Failure(comsvc::RuntimeError(comsvc::ErrorNumber::kInvalidProcedureCall));
    return Answer(out.Raw("}"));
  }
  const std::u16string input(Argument(text, length));
  const auto field = [&](std::string_view name, auto&& work) {
    out.Key(name);
    try {
      const std::u16string result = work();
      out.String(std::u16string_view(result));
    } catch (const comsvc::RuntimeError& error) {
      out.Failure(error);
    }
  };
  field("md5", [&] { return comsvc::MD5().Md5_String_Calc(input); });
  const auto server = [&](int32_t form) {
    return std::u16string(comsvc::MD5ForServer::MD5(comsvc::Value(input), comsvc::Value(form)).AsString());
  };
  field("server32", [&] { return server(32); });
  field("server16", [&] { return server(16); });
  field("percent", [&] { return comsvc::url_helper::PercentEncode(input); });
  return Answer(out.Raw("}"));
}

}  // extern "C"
