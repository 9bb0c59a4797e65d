// Runs arbitrary text as a script, boxes answered from a script of answers,
// once unwatched and once watched: any outcome is fine but a crash, a hang
// or a leak. A raised runtime error is an ordinary outcome.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <comsvc/runtime_error.h>
#include <comsvc/utf8.h>
#include <comsvc/json_path.h>
#include <comsvc/json_script.h>
#include <comsvc/dialogs.h>
#include <comsvc/testing/scripted_dialogs.h>

namespace {

// Each "set" may join copies of a variable into itself, so output can grow
// exponentially with the script's length; beyond this length inputs only
// measure memory.
constexpr size_t kMaxScript = 512;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > kMaxScript) return -1;
  using comsvc::platform::ScriptedDialogs;
  comsvc::platform::SetDialogs(std::make_shared<ScriptedDialogs>(
      std::vector<std::optional<std::u16string>>{u"answer", std::nullopt, u"", u"yes"}));
  const std::u16string text = comsvc::Utf8ToUtf16(std::string_view(reinterpret_cast<const char*>(data), size));
  comsvc::cJSONScript script;
  try {
    script.Eval(text);
    // Again, watched, with the variables of the first run; each event's
    // path is written out as text.
    script.Observe([](const comsvc::ScriptEvent& event) { comsvc::JSON::PathText(event.path); });
    script.Eval(text);
  } catch (const comsvc::RuntimeError&) {
  }
  if (script.Level() != 0) __builtin_trap();
  return 0;
}
