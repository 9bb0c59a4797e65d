#include <windows.h>

#include "os/form_window.h"
#include "os/win32/wide_text.h"

namespace comsvc::os {
namespace {

constexpr wchar_t kClassName[] = L"comsvcFormWindow";

class Win32FormWindow : public FormWindow {
 public:
  Win32FormWindow(const FormLayout& layout, std::function<void()> on_close) : on_close_(std::move(on_close)) {
    RECT frame{0, 0, layout.client_width, layout.client_height};
    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU;
    AdjustWindowRect(&frame, style, FALSE);
    window_ = CreateWindowExW(0, kClassName, Wide(layout.caption).c_str(), style, CW_USEDEFAULT, CW_USEDEFAULT,
                              frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr,
                              GetModuleHandleW(nullptr), this);
    label_ = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE | SS_LEFT, layout.label_left, layout.label_top,
                             layout.label_width, layout.label_height, window_, nullptr, GetModuleHandleW(nullptr),
                             nullptr);
  }
  ~Win32FormWindow() override {
    if (window_) DestroyWindow(window_);
  }
  bool Valid() const { return window_ != nullptr && label_ != nullptr; }
  void Show() override { ShowWindow(window_, SW_SHOWNORMAL); }
  void SetLabelText(const std::string& text) override { SetWindowTextW(label_, Wide(text).c_str()); }

  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_NCCREATE) {
      auto* create = reinterpret_cast<CREATESTRUCTW*>(lparam);
      SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<Win32FormWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (message == WM_CLOSE && self) {
      // The owner unloads the form, which destroys this window.
      self->on_close_();
      return 0;
    }
    return DefWindowProcW(window, message, wparam, lparam);
  }

 private:
  std::function<void()> on_close_;
  HWND window_ = nullptr;
  HWND label_ = nullptr;
};

bool RegisterFormClass() {
  static const bool registered = [] {
    WNDCLASSW window_class{};
    window_class.lpfnWndProc = &Win32FormWindow::Procedure;
    window_class.hInstance = GetModuleHandleW(nullptr);
    window_class.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    window_class.lpszClassName = kClassName;
    return RegisterClassW(&window_class) != 0;
  }();
  return registered;
}

}  // namespace

// The window is served by the thread's message queue, which the loop's wait
// dispatches; `events` has nothing more to do for it.
std::unique_ptr<FormWindow> OpenFormWindow(const FormLayout& layout, std::function<void()> on_close, EventSink&) {
  if (!RegisterFormClass()) return nullptr;
  auto window = std::make_unique<Win32FormWindow>(layout, std::move(on_close));
  if (!window->Valid()) return nullptr;
  return window;
}

}  // namespace comsvc::os
