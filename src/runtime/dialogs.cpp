#include <comsvc/dialogs.h>

#include <algorithm>
#include <vector>

#include <comsvc/utf8.h>
#include "os/console.h"
#include "os/desktop_boxes.h"
#include "runtime/loop_events.h"

namespace comsvc::platform {

const char* BoxIconName(BoxIcon icon) {
  switch (icon) {
    case BoxIcon::kNone:
      return "none";
    case BoxIcon::kInformation:
      return "information";
    case BoxIcon::kExclamation:
      return "exclamation";
    case BoxIcon::kCritical:
      return "critical";
  }
  return "none";
}

// ---------------------------------------------------------------------------
// The process-wide service

namespace {

// Shows nothing and cancels every input box.
class NoDialogs final : public DialogService {
 public:
  void ShowMessageBox(const std::u16string&, const std::u16string&, BoxIcon) override {}
  std::optional<std::u16string> ShowInputBox(const std::u16string&, const std::u16string&,
                                             const std::u16string&) override {
    return std::nullopt;
  }
};

std::shared_ptr<DialogService>& Installed() {
  static std::shared_ptr<DialogService> service = std::make_shared<NoDialogs>();
  return service;
}

}  // namespace

DialogService& Dialogs() { return *Installed(); }

void SetDialogs(std::shared_ptr<DialogService> service) {
  Installed() = service ? std::move(service) : std::make_shared<NoDialogs>();
}

void MessageBox(const std::u16string& text, const std::u16string& title, BoxIcon icon) {
  // Held here so that a box that replaces the service does not destroy the
  // one still showing it.
  std::shared_ptr<DialogService> service = Installed();
  service->ShowMessageBox(text, title, icon);
}

std::u16string InputBox(const std::u16string& prompt, const std::u16string& title, const std::u16string& default_text) {
  std::shared_ptr<DialogService> service = Installed();
  return service->ShowInputBox(prompt, title, default_text).value_or(std::u16string());
}

// ---------------------------------------------------------------------------
// Boxes on a terminal

namespace {

constexpr size_t kMaxTextColumns = 72;

// Columns a code point takes on a terminal: two for the East Asian wide
// ranges, none for combining marks, one otherwise.
size_t Columns(char32_t c) {
  if ((c >= 0x0300 && c <= 0x036F) || (c >= 0x1AB0 && c <= 0x1AFF) || (c >= 0x1DC0 && c <= 0x1DFF) ||
      (c >= 0x20D0 && c <= 0x20FF) || (c >= 0xFE20 && c <= 0xFE2F)) {
    return 0;
  }
  if ((c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF) || (c >= 0xAC00 && c <= 0xD7A3) ||
      (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
      (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x1F300 && c <= 0x1FAFF) || (c >= 0x20000 && c <= 0x3FFFD)) {
    return 2;
  }
  return 1;
}

// One line of a box, already safe to print, and its width in columns.
struct BoxLine {
  std::u16string text;
  size_t columns = 0;
};

bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// Splits text into box lines at CR LF, LF or CR, and where a line grows
// wider than the box. Other control characters would steer the terminal, so
// they show as U+FFFD (a tab as a blank).
std::vector<BoxLine> LayOut(std::u16string_view text) {
  std::vector<BoxLine> lines(1);
  for (size_t i = 0; i < text.size(); ++i) {
    char16_t c = text[i];
    if (c == u'\r' || c == u'\n') {
      if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') ++i;
      lines.emplace_back();
      continue;
    }
    std::u16string unit(1, c == u'\t' ? u' ' : (c < 0x20 || (c >= 0x7F && c < 0xA0)) ? u'\uFFFD' : c);
    char32_t code_point = unit[0];
    if (IsHighSurrogate(c) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
      unit.push_back(text[++i]);
      code_point = 0x10000 + ((c - 0xD800) << 10) + (unit[1] - 0xDC00);
    }
    const size_t columns = Columns(code_point);
    if (lines.back().columns + columns > kMaxTextColumns) lines.emplace_back();
    lines.back().text += unit;
    lines.back().columns += columns;
  }
  return lines;
}

// Draws a framed box: the title, a rule, the body lines, and the button (if
// any) at the right edge.
std::string DrawBox(std::u16string_view title, std::vector<BoxLine> body, std::u16string_view button = {}) {
  std::vector<BoxLine> heading = LayOut(title.empty() ? Utf8ToUtf16(os::ApplicationName()) : std::u16string(title));
  size_t width = button.size();
  for (const auto* part : {&heading, &body}) {
    for (const auto& line : *part) width = std::max(width, line.columns);
  }
  if (!button.empty()) {
    body.push_back(BoxLine{std::u16string(width - button.size(), u' ') + std::u16string(button), width});
  }
  const std::string rule = "+" + std::string(width + 2, '-') + "+\n";
  auto framed = [width](const BoxLine& line) {
    return "| " + EncodeUtf8(line.text) + std::string(width - line.columns, ' ') + " |\n";
  };
  std::string box = "\n" + rule;
  for (const auto& line : heading) box += framed(line);
  box += rule;
  for (const auto& line : body) box += framed(line);
  return box + rule;
}

}  // namespace

TerminalDialogs::TerminalDialogs(int in_fd, int out_fd) : in_fd_(in_fd), out_fd_(out_fd) {}

void TerminalDialogs::ShowMessageBox(const std::u16string& text, const std::u16string& title, BoxIcon icon) {
  std::vector<BoxLine> body;
  if (icon != BoxIcon::kNone) body = LayOut(Utf8ToUtf16(std::string("(") + BoxIconName(icon) + ")"));
  for (auto& line : LayOut(text)) body.push_back(std::move(line));
  os::WriteAll(out_fd_, DrawBox(title, std::move(body), u"[ OK ]"));
  os::ReadLine(in_fd_, LoopEvents());  // Enter closes the box, and so does the end of input
}

std::optional<std::u16string> TerminalDialogs::ShowInputBox(const std::u16string& prompt, const std::u16string& title,
                                                            const std::u16string& default_text) {
  std::vector<BoxLine> body = LayOut(prompt);
  body.emplace_back();
  for (auto& line : LayOut(u"[" + default_text + u"]")) body.push_back(std::move(line));
  os::WriteAll(out_fd_, DrawBox(title, body) + "An empty line keeps the default; end of input cancels.\n> ");
  std::optional<std::string> line = os::ReadLine(in_fd_, LoopEvents());
  if (!line) {
    os::WriteAll(out_fd_, "\n");
    return std::nullopt;
  }
  if (line->empty()) return default_text;
  return Utf8ToUtf16(*line);
}

// ---------------------------------------------------------------------------
// Boxes on the desktop

namespace {

os::DesktopIcon DesktopIconOf(BoxIcon icon) {
  switch (icon) {
    case BoxIcon::kInformation: return os::DesktopIcon::kInformation;
    case BoxIcon::kExclamation: return os::DesktopIcon::kExclamation;
    case BoxIcon::kCritical: return os::DesktopIcon::kCritical;
    case BoxIcon::kNone: break;
  }
  return os::DesktopIcon::kNone;
}

class DesktopDialogs final : public DialogService {
 public:
  void ShowMessageBox(const std::u16string& text, const std::u16string& title, BoxIcon icon) override {
    os::ShowDesktopMessageBox(EncodeUtf8(text), EncodeUtf8(title), DesktopIconOf(icon), LoopEvents());
  }
  std::optional<std::u16string> ShowInputBox(const std::u16string& prompt, const std::u16string& title,
                                             const std::u16string& default_text) override {
    std::optional<std::string> answer =
        os::ShowDesktopInputBox(EncodeUtf8(prompt), EncodeUtf8(title), EncodeUtf8(default_text), LoopEvents());
    if (!answer) return std::nullopt;
    return Utf8ToUtf16(*answer);
  }
};

}  // namespace

std::shared_ptr<DialogService> MakeDesktopDialogs() {
  if (!os::DesktopBoxesAvailable()) return nullptr;
  return std::make_shared<DesktopDialogs>();
}

}  // namespace comsvc::platform
