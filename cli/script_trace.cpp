#include "cli/script_trace.h"

#include <memory>

#include <comsvc/json_located.h>
#include <comsvc/utf8.h>

#include "cli/json_line.h"

namespace comsvc::cli {
namespace {

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

// The members that only this kind of event has.
void AddDetails(JsonLine& line, const ScriptEvent& event) {
  switch (event.kind) {
    case ScriptEvent::Kind::kStep: line.Text("command", event.command).Text("result", event.result); break;
    case ScriptEvent::Kind::kSet: line.Text("name", event.name).Text("value", event.value); break;
    case ScriptEvent::Kind::kGet:
      line.Text("name", event.name).Text("value", event.value).Flag("found", event.found);
      break;
    case ScriptEvent::Kind::kMessageBox:
      line.Text("box", u"message").Text("text", event.text).Text("title", event.title);
      break;
    case ScriptEvent::Kind::kInputBox:
      line.Text("box", u"input").Text("prompt", event.text).Text("title", event.title);
      line.Text("default", event.default_text).Text("answer", event.result);
      break;
    case ScriptEvent::Kind::kDirective:
      line.Text("command", event.command).Text("name", event.name).Text("arguments", event.value);
      line.Text("text", event.result);
      break;
    case ScriptEvent::Kind::kFailure: line.Number("number", event.number).Text("description", event.result); break;
  }
}

}  // namespace

ScriptObserver TraceObserver(std::FILE* out, const std::string& file, std::u16string_view text) {
  auto document = std::make_shared<const JSON::LocatedDocument>(text);
  const std::u16string file_name = Utf8ToUtf16(file);
  return [out, document, file_name](const ScriptEvent& event) {
    // A step stands where its key does; a path that leads into an absent
    // member stands where the member would be looked for.
    const JSON::TextPosition at = document->PositionOf(document->Find(event.path).key);
    JsonLine line;
    line.Text("event", Utf8ToUtf16(EventName(event.kind))).Text("file", file_name);
    line.Text("path", JSON::PathText(event.path)).Number("line", at.line).Number("column", at.column);
    AddDetails(line, event);
    const std::string written = line.Finish();
    std::fwrite(written.data(), 1, written.size(), out);
    std::fflush(out);
  };
}

}  // namespace comsvc::cli
