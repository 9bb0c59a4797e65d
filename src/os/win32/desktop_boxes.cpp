// The system's own message box, and an input dialog of comsvc's own built
// in memory. Both are modal and serve the thread's message queue while open.
#include "os/desktop_boxes.h"

#include <windows.h>

#include <vector>

#include "os/win32/wide_text.h"

namespace comsvc::os {
namespace {

constexpr WORD kEditId = 100;

UINT IconStyle(DesktopIcon icon) {
  switch (icon) {
    case DesktopIcon::kInformation: return MB_ICONINFORMATION;
    case DesktopIcon::kExclamation: return MB_ICONEXCLAMATION;
    case DesktopIcon::kCritical: return MB_ICONERROR;
    case DesktopIcon::kNone: break;
  }
  return 0;
}

// A dialog template built in memory: DLGTEMPLATE, then each DLGITEMTEMPLATE,
// every part on a DWORD boundary, texts as NUL-terminated UTF-16.
class DialogTemplate {
 public:
  DialogTemplate(std::wstring_view title, short width, short height, WORD items) {
    Align();
    Put(DS_MODALFRAME | DS_CENTER | DS_SETFONT | WS_POPUP | WS_CAPTION | WS_SYSMENU);
    Put(0);  // extended style
    words_.push_back(items);
    Short(0), Short(0), Short(width), Short(height);
    words_.push_back(0), words_.push_back(0);  // no menu, the dialog class
    Text(title);
    words_.push_back(9);
    Text(L"MS Shell Dlg");
  }
  void Item(DWORD style, short x, short y, short cx, short cy, WORD id, WORD class_atom, std::wstring_view text) {
    Align();
    Put(style | WS_CHILD | WS_VISIBLE);
    Put(0);
    Short(x), Short(y), Short(cx), Short(cy);
    words_.push_back(id);
    words_.push_back(0xFFFF), words_.push_back(class_atom);
    Text(text);
    words_.push_back(0);  // no creation data
  }
  const DLGTEMPLATE* Get() const { return reinterpret_cast<const DLGTEMPLATE*>(words_.data()); }

 private:
  void Align() {
    if (words_.size() % 2) words_.push_back(0);
  }
  void Put(DWORD value) { words_.push_back(LOWORD(value)), words_.push_back(HIWORD(value)); }
  void Short(short value) { words_.push_back(static_cast<WORD>(value)); }
  void Text(std::wstring_view text) {
    words_.insert(words_.end(), text.begin(), text.end());
    words_.push_back(0);
  }
  std::vector<WORD> words_;
};

struct InputState {
  std::wstring default_text;
  std::optional<std::wstring> answer;
};

INT_PTR CALLBACK InputProcedure(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  auto* state = reinterpret_cast<InputState*>(GetWindowLongPtrW(dialog, DWLP_USER));
  if (message == WM_INITDIALOG) {
    state = reinterpret_cast<InputState*>(lparam);
    SetWindowLongPtrW(dialog, DWLP_USER, lparam);
    SetDlgItemTextW(dialog, kEditId, state->default_text.c_str());
    return TRUE;
  }
  if (message == WM_COMMAND && (LOWORD(wparam) == IDOK || LOWORD(wparam) == IDCANCEL)) {
    if (LOWORD(wparam) == IDOK) {
      const int length = GetWindowTextLengthW(GetDlgItem(dialog, kEditId));
      std::vector<wchar_t> text(static_cast<size_t>(length) + 1);
      GetDlgItemTextW(dialog, kEditId, text.data(), length + 1);
      state->answer = std::wstring(text.data());
    }
    EndDialog(dialog, LOWORD(wparam));
    return TRUE;
  }
  return FALSE;
}

}  // namespace

bool DesktopBoxesAvailable() { return true; }

void ShowDesktopMessageBox(const std::string& text, const std::string& title, DesktopIcon icon, EventSink&) {
  MessageBoxW(nullptr, Wide(text).c_str(), Wide(title).c_str(), MB_OK | IconStyle(icon));
}

// Prompt at the top left, OK and Cancel at the right, the text field below.
std::optional<std::string> ShowDesktopInputBox(const std::string& prompt, const std::string& title,
                                               const std::string& default_text, EventSink&) {
  constexpr WORD kButton = 0x0080, kEdit = 0x0081, kStatic = 0x0082;
  DialogTemplate form(Wide(title), 240, 96, 4);
  form.Item(SS_LEFT, 7, 7, 170, 56, static_cast<WORD>(-1), kStatic, Wide(prompt));
  form.Item(BS_DEFPUSHBUTTON | WS_TABSTOP, 184, 7, 50, 14, IDOK, kButton, L"OK");
  form.Item(BS_PUSHBUTTON | WS_TABSTOP, 184, 25, 50, 14, IDCANCEL, kButton, L"Cancel");
  form.Item(ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP, 7, 72, 226, 14, kEditId, kEdit, L"");
  InputState state{Wide(default_text), std::nullopt};
  DialogBoxIndirectParamW(GetModuleHandleW(nullptr), form.Get(), nullptr, &InputProcedure,
                          reinterpret_cast<LPARAM>(&state));
  if (!state.answer) return std::nullopt;
  return Utf8(*state.answer);
}

}  // namespace comsvc::os
