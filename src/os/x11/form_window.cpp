// The form window on X11: Xlib for the window, Xft for the text, so that
// Chinese captions and labels draw with any installed font that has them.
#include <X11/Xatom.h>
#include <X11/Xft/Xft.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdlib>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "os/form_window.h"

namespace comsvc::os {
namespace {

// The desktop's default dialog look: light grey face, black text.
constexpr unsigned long kFaceColour = 0xF0F0F0;
constexpr XRenderColor kTextColour{0, 0, 0, 0xFFFF};
// Fonts tried in order; the first covers Latin and Chinese alike.
constexpr const char* kFontNames[] = {"WenQuanYi Zen Hei:pixelsize=12", "sans-serif:pixelsize=12"};

bool IsWide(char32_t c) { return c >= 0x2E80; }

// The label's text as code points, for Xft's 32-bit calls; the text comes
// from the form's own UTF-8 encoding, and a sequence that is not valid
// (which it never holds) shows as U+FFFD.
std::u32string CodePoints(std::string_view utf8) {
  std::u32string text;
  for (size_t i = 0; i < utf8.size();) {
    const auto lead = static_cast<unsigned char>(utf8[i]);
    const size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
    if (length == 0 || i + length > utf8.size()) {
      text.push_back(U'\uFFFD');
      ++i;
      continue;
    }
    char32_t c = length == 1 ? lead : lead & (0x7F >> length);
    for (size_t k = 1; k < length; ++k) c = c << 6 | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
    text.push_back(c);
    i += length;
  }
  return text;
}

std::vector<std::u32string> Paragraphs(std::u32string_view text) {
  std::vector<std::u32string> paragraphs(1);
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == U'\r' || text[i] == U'\n') {
      if (text[i] == U'\r' && i + 1 < text.size() && text[i + 1] == U'\n') ++i;
      paragraphs.emplace_back();
    } else {
      paragraphs.back().push_back(text[i]);
    }
  }
  return paragraphs;
}

// Where a line may break before the last character: after the last blank or
// wide character; 0 when there is no such place.
size_t LastBreak(std::u32string_view line) {
  for (size_t i = line.size() - 1; i > 0; --i) {
    if (line[i - 1] == U' ' || IsWide(line[i - 1]) || IsWide(line[i])) return i;
  }
  return 0;
}

template <typename Measure>
std::vector<std::u32string> WrapLines(std::u32string_view text, int width, size_t max_lines, Measure measure) {
  std::vector<std::u32string> lines;
  for (const std::u32string& paragraph : Paragraphs(text)) {
    std::u32string line;
    for (char32_t c : paragraph) {
      if (lines.size() >= max_lines) return lines;
      line.push_back(c);
      if (line.size() < 2 || measure(line) <= width) continue;
      size_t cut = LastBreak(line);
      if (cut == 0) cut = line.size() - 1;
      std::u32string head = line.substr(0, cut);
      while (!head.empty() && head.back() == U' ') head.pop_back();
      lines.push_back(std::move(head));
      line.erase(0, cut);
      while (!line.empty() && line.front() == U' ') line.erase(0, 1);
    }
    lines.push_back(std::move(line));
  }
  return lines;
}

// One connection to the display per thread, shared by every window of the
// thread and never closed: Xft keeps per-connection caches that do not
// survive reopening a connection, and closing at exit would only fail when
// the server has gone first. The loop serves it while a window exists.
class X11Connection {
 public:
  using EventHandler = std::function<void(const XEvent&)>;

  // The thread's connection to $DISPLAY; nullptr without a display. A
  // connection to a display that $DISPLAY no longer names is left alone.
  static X11Connection* ForThread() {
    thread_local X11Connection* connection = nullptr;
    const char* name = std::getenv("DISPLAY");
    if (name == nullptr || *name == '\0') return nullptr;
    if (connection == nullptr || (connection->name_ != name && connection->handlers_.empty())) {
      Display* display = XOpenDisplay(name);
      if (display == nullptr) return nullptr;
      connection = new X11Connection(display, name);
    }
    return connection;
  }

  Display* Get() const { return display_; }

  // The label font, opened once for the connection's lifetime; nullptr when
  // no font can be found.
  XftFont* LabelFont() {
    for (size_t i = 0; font_ == nullptr && i < std::size(kFontNames); ++i) {
      font_ = XftFontOpenName(display_, DefaultScreen(display_), kFontNames[i]);
    }
    return font_;
  }

  // Every window of the thread is served by the thread's one loop, whose
  // `events` outlive the connection's use of them.
  void Register(Window window, EventHandler handler, EventSink& events) {
    if (handlers_.empty()) StartServing(events);
    handlers_[window] = std::move(handler);
  }

  void Unregister(Window window) {
    handlers_.erase(window);
    if (handlers_.empty()) StopServing();
  }

 private:
  X11Connection(Display* display, std::string name) : display_(display), name_(std::move(name)) {}

  void StartServing(EventSink& events) {
    events_ = &events;
    watch_ = events.WatchReadable(ConnectionNumber(display_), [this] { Dispatch(); });
    source_ = events.AddSource([this] { return XPending(display_) > 0; }, [this] { Dispatch(); });
  }

  void StopServing() {
    events_->RemoveSource(std::exchange(source_, 0));
    events_->Unwatch(std::exchange(watch_, 0));
  }

  void Dispatch() {
    while (XPending(display_) > 0) {
      XEvent event;
      XNextEvent(display_, &event);
      auto handler = handlers_.find(event.xany.window);
      if (handler != handlers_.end()) handler->second(event);
    }
    XFlush(display_);
  }

  Display* display_;
  std::string name_;
  EventSink* events_ = nullptr;
  std::map<Window, EventHandler> handlers_;
  XftFont* font_ = nullptr;
  EventSink::Token watch_ = 0;
  EventSink::Token source_ = 0;
};

class X11FormWindow : public FormWindow {
 public:
  X11FormWindow(X11Connection& connection, const FormLayout& layout, std::function<void()> on_close,
                EventSink& events)
      : connection_(connection),
        display_(connection.Get()),
        layout_(layout),
        on_close_(std::move(on_close)),
        events_(events) {
    CreateWindow();
    OpenFont();
    connection_.Register(window_, [this](const XEvent& event) { Handle(event); }, events_);
  }

  ~X11FormWindow() override {
    *alive_ = false;
    connection_.Unregister(window_);
    if (draw_) XftDrawDestroy(draw_);
    if (colour_ready_) XftColorFree(display_, VisualOf(), ColormapOf(), &colour_);
    XDestroyWindow(display_, window_);
    // Waits for the server: an unloaded notice is gone for every other client too.
    XSync(display_, False);
  }

  void Show() override {
    XMapRaised(display_, window_);
    XFlush(display_);
  }

  void SetLabelText(const std::string& text) override {
    text_ = CodePoints(text);
    DrawLabel();
    XFlush(display_);
  }

 private:
  ::Visual* VisualOf() const { return DefaultVisual(display_, DefaultScreen(display_)); }
  ::Colormap ColormapOf() const { return DefaultColormap(display_, DefaultScreen(display_)); }

  void CreateWindow() {
    const int screen = DefaultScreen(display_);
    const int x = (DisplayWidth(display_, screen) - layout_.client_width) / 2;
    const int y = (DisplayHeight(display_, screen) - layout_.client_height) / 2;
    window_ = XCreateSimpleWindow(display_, RootWindow(display_, screen), x, y, layout_.client_width,
                                  layout_.client_height, 0, 0, kFaceColour);
    XSelectInput(display_, window_, ExposureMask | StructureNotifyMask);
    SetCaption();
    SetFixedSize(x, y);
    XClassHint class_hint{const_cast<char*>("formMsg"), const_cast<char*>("comsvc")};
    XSetClassHint(display_, window_, &class_hint);
    delete_window_ = XInternAtom(display_, "WM_DELETE_WINDOW", False);
    XSetWMProtocols(display_, window_, &delete_window_, 1);
  }

  // The caption in UTF-8, for window managers that read either property.
  void SetCaption() {
    const std::string& caption = layout_.caption;
    const Atom utf8 = XInternAtom(display_, "UTF8_STRING", False);
    const auto* bytes = reinterpret_cast<const unsigned char*>(caption.data());
    const int length = static_cast<int>(caption.size());
    XChangeProperty(display_, window_, XInternAtom(display_, "_NET_WM_NAME", False), utf8, 8, PropModeReplace, bytes,
                    length);
    XChangeProperty(display_, window_, XA_WM_NAME, utf8, 8, PropModeReplace, bytes, length);
  }

  void SetFixedSize(int x, int y) {
    XSizeHints hints{};
    hints.flags = PPosition | PMinSize | PMaxSize;
    hints.x = x;
    hints.y = y;
    hints.min_width = hints.max_width = layout_.client_width;
    hints.min_height = hints.max_height = layout_.client_height;
    XSetWMNormalHints(display_, window_, &hints);
  }

  void OpenFont() {
    font_ = connection_.LabelFont();
    draw_ = XftDrawCreate(display_, window_, VisualOf(), ColormapOf());
    colour_ready_ = XftColorAllocValue(display_, VisualOf(), ColormapOf(), &kTextColour, &colour_);
  }

  int TextWidth(const std::u32string& text) const {
    XGlyphInfo extents;
    XftTextExtents32(display_, font_, reinterpret_cast<const FcChar32*>(text.data()), static_cast<int>(text.size()),
                     &extents);
    return extents.xOff;
  }

  void DrawLabel() {
    XClearArea(display_, window_, layout_.label_left, layout_.label_top, layout_.label_width, layout_.label_height,
               False);
    if (!font_ || !draw_ || !colour_ready_) return;
    const int line_height = font_->ascent + font_->descent;
    XRectangle clip{0, 0, static_cast<unsigned short>(layout_.label_width),
                    static_cast<unsigned short>(layout_.label_height)};
    XftDrawSetClipRectangles(draw_, layout_.label_left, layout_.label_top, &clip, 1);
    const size_t max_lines = static_cast<size_t>(layout_.label_height / line_height + 1);
    int baseline = layout_.label_top + font_->ascent;
    for (const std::u32string& line :
         WrapLines(text_, layout_.label_width, max_lines, [this](const std::u32string& t) { return TextWidth(t); })) {
      XftDrawString32(draw_, &colour_, font_, layout_.label_left, baseline,
                      reinterpret_cast<const FcChar32*>(line.data()), static_cast<int>(line.size()));
      baseline += line_height;
    }
    XftDrawSetClip(draw_, nullptr);
  }

  void Handle(const XEvent& event) {
    if (event.type == Expose && event.xexpose.count == 0) DrawLabel();
    if (event.type == ClientMessage && static_cast<Atom>(event.xclient.data.l[0]) == delete_window_) RequestClose();
  }

  // Closing destroys this window, so it happens on a later turn of the loop,
  // and only if the window still exists then.
  void RequestClose() {
    events_.Post([alive = alive_, close = on_close_] {
      if (*alive) close();
    });
  }

  X11Connection& connection_;
  Display* display_;
  FormLayout layout_;
  std::function<void()> on_close_;
  EventSink& events_;
  Window window_ = 0;
  Atom delete_window_ = 0;
  XftFont* font_ = nullptr;
  XftDraw* draw_ = nullptr;
  XftColor colour_{};
  bool colour_ready_ = false;
  std::u32string text_;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace

std::unique_ptr<FormWindow> OpenFormWindow(const FormLayout& layout, std::function<void()> on_close,
                                           EventSink& events) {
  X11Connection* connection = X11Connection::ForThread();
  if (connection == nullptr) return nullptr;
  return std::make_unique<X11FormWindow>(*connection, layout, std::move(on_close), events);
}

}  // namespace comsvc::os
