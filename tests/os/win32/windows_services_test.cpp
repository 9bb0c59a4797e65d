// The Windows backend answers through the system's own services: the same
// code pages as WideCharToMultiByte/MultiByteToWideChar, the prefix's
// folders, boxes, the loop's timers and windows, the socket.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include <comsvc/code_page.h>
#include <comsvc/dialogs.h>
#include <comsvc/folder_locations.h>
#include <comsvc/message_loop.h>
#include <comsvc/message_window.h>
#include "socket/tcp_socket.h"
#include "support/local_channels.h"
#include "support/notice_between_timers.h"

namespace comsvc::platform {
namespace {

using namespace std::chrono_literals;

// ---------------------------------------------------------------------------
// Code pages: every code unit and every byte sequence as the system converts it

std::string SystemBytes(int code_page, char16_t c) {
  char bytes[8];
  BOOL used_default = FALSE;
  const wchar_t unit = c;
  const int n = WideCharToMultiByte(code_page, WC_NO_BEST_FIT_CHARS, &unit, 1, bytes, sizeof bytes, nullptr,
                                    &used_default);
  return n <= 0 || used_default ? "?" : std::string(bytes, n);
}

std::u16string SystemText(int code_page, const std::string& bytes) {
  wchar_t text[8];
  const int n = MultiByteToWideChar(code_page, 0, bytes.data(), static_cast<int>(bytes.size()), text, 8);
  return std::u16string(reinterpret_cast<const char16_t*>(text), n > 0 ? n : 0);
}

// Where wine gives an undefined byte or pair a private-use character (874's
// and 1253's gaps, for example), comsvc answers as Windows' published tables
// do; the large code-page test checks those against the tables themselves.
bool IsPrivateUse(std::u16string_view text) {
  return std::any_of(text.begin(), text.end(), [](char16_t c) { return c >= 0xE000 && c <= 0xF8FF; });
}

class CodePageAgainstSystem : public ::testing::TestWithParam<int> {};

TEST_P(CodePageAgainstSystem, WritesEveryCodeUnitAsTheSystemDoes) {
  const CodePage page(GetParam());
  for (char32_t c = 0; c <= 0xFFFF; ++c) {
    const std::u16string unit(1, static_cast<char16_t>(c));
    if ((c >= 0xD800 && c <= 0xDFFF) || IsPrivateUse(unit)) continue;
    ASSERT_EQ(page.ToBytes(unit), SystemBytes(GetParam(), unit[0])) << "U+" << std::hex << static_cast<unsigned>(c);
  }
}

TEST_P(CodePageAgainstSystem, ReadsEveryByteAndPairAsTheSystemDoes) {
  const CodePage page(GetParam());
  for (int lead = 0; lead < 256; ++lead) {
    const bool pair = page.IsDoubleByte() && IsDBCSLeadByteEx(GetParam(), static_cast<BYTE>(lead));
    for (int trail = 0; trail < (pair ? 256 : 1); ++trail) {
      std::string bytes(1, static_cast<char>(lead));
      if (pair) bytes.push_back(static_cast<char>(trail));
      // A lead byte with a trail that makes no pair reads by the code page
      // reader's own rule (the portable suites cover it).
      const std::u16string expected = SystemText(GetParam(), bytes);
      if ((pair && expected.size() != 1) || IsPrivateUse(expected)) continue;
      ASSERT_EQ(page.FromBytes(bytes), expected) << std::hex << lead << " " << trail;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(EveryCodePage, CodePageAgainstSystem,
                         ::testing::Values(874, 932, 936, 949, 950, 1250, 1251, 1252, 1253, 1254, 1255, 1256, 1257,
                                           1258));

TEST(CodePage, DefaultsToTheSystemsAnsiCodePage) {
  EXPECT_EQ(CodePage::Current().Number(), static_cast<int>(GetACP()));
}

// ---------------------------------------------------------------------------
// Folders

std::u16string WideSystemFolder(int csidl) {
  wchar_t path[MAX_PATH];
  if (FAILED(SHGetFolderPathW(nullptr, csidl, nullptr, 0, path))) return u"?";
  return reinterpret_cast<const char16_t*>(path);
}

TEST(Folders, AreTheSystemsOwn) {
  wchar_t system[MAX_PATH];
  GetSystemDirectoryW(system, MAX_PATH);
  EXPECT_EQ(SystemDirectoryPath(), reinterpret_cast<const char16_t*>(system));
  EXPECT_EQ(AppDataFolderPath(), WideSystemFolder(CSIDL_APPDATA));
  // Wine ends the documents folder with a backslash where Windows does not.
  std::u16string documents = PersonalFolderPath();
  if (documents.ends_with(u'\\')) documents.pop_back();
  EXPECT_EQ(documents, WideSystemFolder(CSIDL_PERSONAL));
}

// ---------------------------------------------------------------------------
// Boxes, closed by a thread of the test as a user would

// The box once the system shows it, which is after the box has set itself
// up: text typed into it earlier would be overwritten by its default.
HWND WaitForDialog(const wchar_t* title) {
  for (int i = 0; i < 1200; ++i) {  // a first window may take seconds to come
    if (HWND box = FindWindowW(L"#32770", title); box != nullptr && IsWindowVisible(box)) return box;
    std::this_thread::sleep_for(50ms);
  }
  return nullptr;
}

// Whether windows can be shown at all: under wine without an X display (no
// $DISPLAY, or one that cannot be opened) creating one fails, and a box would
// never come. The tests that need one say so and are skipped.
class NeedsDesktop : public ::testing::Test {
 protected:
  void SetUp() override {
    HWND window = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    if (window == nullptr) GTEST_SKIP() << "needs a desktop: no window can be created (under wine: no X display)";
    DestroyWindow(window);
  }
};
using DesktopBoxes = NeedsDesktop;
using NoticeWindow = NeedsDesktop;

TEST_F(DesktopBoxes, InputBoxReturnsWhatWasTypedOrNothingWhenClosed) {
  auto dialogs = MakeDesktopDialogs();
  ASSERT_TRUE(dialogs);
  // The box's title, what the user types before OK (nullptr: closes the box instead), the answer.
  const std::tuple<std::u16string, const wchar_t*, std::optional<std::u16string>> cases[] = {
      {u"Ask once", L"typed \u4E2D", u"typed \u4E2D"}, {u"Ask twice", nullptr, std::nullopt}};
  for (const auto& [title, typed, answer] : cases) {
    std::thread user([&title, typed] {
      HWND box = WaitForDialog(reinterpret_cast<const wchar_t*>(title.c_str()));
      if (box && typed) SetDlgItemTextW(box, 100, typed);
      if (box) PostMessageW(box, typed ? WM_COMMAND : WM_CLOSE, typed ? IDOK : 0, 0);
    });
    EXPECT_EQ(dialogs->ShowInputBox(u"Your name?", title, u"default"), answer);
    user.join();
  }
}

// ---------------------------------------------------------------------------
// The notice window, on the thread's message queue

// Timers of the same loop, due just before and just after the notice's own,
// tell when it unloaded: wine may take seconds to destroy a window.
TEST_F(NoticeWindow, IsARealWindowThatClosesTwoSecondsAfterLoading) {
  constexpr wchar_t kCaption[] = L"\u63D0\u793A";
  testing::NoticeBetweenTimers timers;
  timers.Notice().Show();
  timers.Notice().setMessage(u"shown");
  EXPECT_NE(FindWindowW(nullptr, kCaption), nullptr);
  ASSERT_TRUE(MessageLoop::Current().RunUntil([&] { return timers.LoadedJustAfter().has_value(); }));
  EXPECT_EQ(timers.LoadedJustBefore(), true);
  EXPECT_EQ(timers.LoadedJustAfter(), false);
  EXPECT_EQ(FindWindowW(nullptr, kCaption), nullptr);
}

// ---------------------------------------------------------------------------
// The socket, against a loopback listener of the test

// A connection to a listener of the test that reads the ping, answers and
// closes; then one to a closed port, refused with the Winsock number.
TEST(TcpSocketOnWinsock, ConnectsSendsReceivesSeesThePeerCloseAndIsRefused) {
  int port = 0;
  const int listener = testing::ListenOnLoopback(port);
  ASSERT_GE(listener, 0);
  std::thread peer([listener] {
    const int client = testing::AcceptConnection(listener);
    for (int i = 0; i < 4; ++i) testing::ReceiveByte(client);
    testing::SendToSocket(client, "pong");
    testing::CloseSocket(client);
  });
  std::vector<std::string> events;
  std::u16string data;
  for (const int to : {port, 1}) {
    TcpSocket socket;
    socket.SetEvents({[&] { events.push_back("connected"), socket.SendData(u"ping"); },
                      [&](size_t) { data += socket.GetData(100); }, [&] { events.push_back("closed"); },
                      [&](int32_t number, const std::u16string&) { events.push_back(std::to_string(number)); }});
    socket.SetRemoteHost(u"127.0.0.1");
    socket.SetRemotePort(to);
    socket.Connect();
    const size_t before = events.size();
    MessageLoop::Current().RunUntil([&] { return events.size() > before && events.back() != "connected"; },
                                    MessageLoop::Clock::now() + 60s);
    if (to == port) testing::CloseSocket(listener), peer.join();  // ends a wait for a connection that never came
    socket.Close();
  }
  EXPECT_EQ(events, (std::vector<std::string>{"connected", "closed", "10061"}));
  EXPECT_EQ(data, u"pong");
}

}  // namespace
}  // namespace comsvc::platform
