// The Windows backend answers through the system's own services: the same
// code pages as WideCharToMultiByte/MultiByteToWideChar, the prefix's
// folders, INI files through the profile API, boxes, the socket.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <thread>

#include <comsvc/code_page.h>
#include <comsvc/dialogs.h>
#include <comsvc/folder_locations.h>
#include <comsvc/ini_settings.h>
#include <comsvc/message_loop.h>
#include <comsvc/message_window.h>
#include "socket/tcp_socket.h"

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
  int differences = 0;
  for (char32_t c = 0; c <= 0xFFFF; ++c) {
    const auto unit = static_cast<char16_t>(c);
    if ((c >= 0xD800 && c <= 0xDFFF) || IsPrivateUse(std::u16string(1, unit))) continue;
    const std::string ours = page.ToBytes(std::u16string(1, unit));
    if (ours != SystemBytes(GetParam(), unit) && ++differences <= 5) ADD_FAILURE() << "U+" << std::hex << static_cast<unsigned>(c);
  }
  EXPECT_EQ(differences, 0);
}

TEST_P(CodePageAgainstSystem, ReadsEveryByteAndPairAsTheSystemDoes) {
  const CodePage page(GetParam());
  int differences = 0;
  for (int lead = 0; lead < 256; ++lead) {
    const bool pair = page.IsDoubleByte() && IsDBCSLeadByteEx(GetParam(), static_cast<BYTE>(lead));
    for (int trail = 0; trail < (pair ? 256 : 1); ++trail) {
      std::string bytes(1, static_cast<char>(lead));
      if (pair) bytes.push_back(static_cast<char>(trail));
      // A lead byte with a trail that makes no pair reads by the code page
      // reader's own rule (the portable suites cover it).
      const std::u16string expected = SystemText(GetParam(), bytes);
      if ((pair && expected.size() != 1) || IsPrivateUse(expected)) continue;
      if (page.FromBytes(bytes) != expected && ++differences <= 5) {
        ADD_FAILURE() << std::hex << lead << " " << trail;
      }
    }
  }
  EXPECT_EQ(differences, 0);
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
// INI files through the profile API

class IniThroughTheSystem : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = std::filesystem::temp_directory_path() / ("comsvc-ini-" + std::to_string(GetCurrentProcessId()));
    std::filesystem::create_directories(folder_);
    file_ = folder_ / "settings.ini";
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }
  void Use() {
    RWINI::SetIniPath(file_.u16string());
  }
  std::string Bytes() const {
    std::ifstream in(file_, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  std::filesystem::path folder_;
  std::filesystem::path file_;
};

TEST_F(IniThroughTheSystem, WritesTheSystemsLayoutAndReadsItBack) {
  Use();
  EXPECT_EQ(RWINI::IniWrite(u"S1", u"a", u"1").AsInteger(), 1);
  EXPECT_EQ(Bytes(), "[S1]\r\na=1\r\n");
  Use();
  EXPECT_EQ(RWINI::IniRead(u"s1", u"A", u"default"), u"1");
}

TEST_F(IniThroughTheSystem, ReadingAMissingKeyWritesTheDefaultBack) {
  Use();
  EXPECT_EQ(RWINI::IniRead(u"Main", u"Name", u"Alpha"), u"Alpha");
  char value[16] = {};
  GetPrivateProfileStringA("Main", "Name", "", value, sizeof value, file_.string().c_str());
  EXPECT_STREQ(value, "Alpha");
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

TEST(DesktopBoxes, InputBoxReturnsWhatWasTypedOrNothingWhenClosed) {
  auto dialogs = MakeDesktopDialogs();
  ASSERT_TRUE(dialogs);
  std::atomic<bool> found{false};
  std::thread user([&] {
    HWND box = WaitForDialog(L"Ask once");
    found = box != nullptr;
    if (!box) return;
    SetDlgItemTextW(box, 100, L"typed \u4E2D");
    PostMessageW(box, WM_COMMAND, IDOK, 0);
  });
  EXPECT_EQ(dialogs->ShowInputBox(u"Your name?", u"Ask once", u"default"), u"typed \u4E2D");
  user.join();
  EXPECT_TRUE(found);

  std::thread closer([] {
    if (HWND box = WaitForDialog(L"Ask twice")) PostMessageW(box, WM_CLOSE, 0, 0);
  });
  EXPECT_EQ(dialogs->ShowInputBox(u"Your name?", u"Ask twice", u"default"), std::nullopt);
  closer.join();
}

// ---------------------------------------------------------------------------
// The loop's timers and the notice window, on the thread's message queue

TEST(LoopTimersOnWindows, FireOnTimeWhileTheQueueWaits) {
  // One short, one between the system's timer ticks, one long. Each fires,
  // and never early; how late depends on the host (a fresh wine desktop can
  // hold the first wake for seconds), so lateness is not asserted.
  MessageLoop& loop = MessageLoop::Current();
  for (const auto delay : {15ms, 120ms, 700ms}) {
    const auto started = MessageLoop::Clock::now();
    bool fired = false;
    loop.StartOneShot(delay, [&] { fired = true; });
    loop.RunUntil([&] { return fired; }, started + delay + 30s);
    EXPECT_TRUE(fired) << delay.count();
    EXPECT_GE(MessageLoop::Clock::now() - started, delay);
  }
}

TEST(NoticeWindow, IsARealWindowThatClosesTwoSecondsAfterLoading) {
  constexpr wchar_t kCaption[] = L"\u63D0\u793A";
  MessageLoop& loop = MessageLoop::Current();
  formMsg form;
  form.Show();
  form.setMessage(u"shown");
  EXPECT_NE(FindWindowW(nullptr, kCaption), nullptr);
  // Timers of the same loop on either side of the form's: Wine may take
  // seconds to destroy a window, so the order tells when the form unloaded.
  std::optional<bool> loaded_before, loaded_after;
  loop.StartOneShot(1800ms, [&] { loaded_before = form.IsLoaded(); });
  loop.StartOneShot(2200ms, [&] { loaded_after = form.IsLoaded(); });
  ASSERT_TRUE(loop.RunFor(10s, [&] { return loaded_after.has_value(); }));
  EXPECT_EQ(loaded_before, true);
  EXPECT_EQ(loaded_after, false);
  EXPECT_EQ(FindWindowW(nullptr, kCaption), nullptr);
}

// ---------------------------------------------------------------------------
// The socket, against a loopback listener of the test

class LoopbackListener {
 public:
  // Answers one connection: reads what comes, replies, closes.
  explicit LoopbackListener(std::string reply) {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    int length = sizeof address;
    getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    listen(listener_, 1);
    server_ = std::thread([this, reply] {
      SOCKET client = accept(listener_, nullptr, nullptr);
      char buffer[256];
      const int got = recv(client, buffer, sizeof buffer, 0);
      received_.assign(buffer, got > 0 ? got : 0);
      send(client, reply.data(), static_cast<int>(reply.size()), 0);
      closesocket(client);
    });
  }
  ~LoopbackListener() {
    closesocket(listener_);
    server_.join();
  }
  int Port() const { return port_; }
  std::string Received() const { return received_; }

 private:
  SOCKET listener_;
  int port_ = 0;
  std::thread server_;
  std::string received_;
};

TEST(TcpSocketOnWinsock, ConnectsSendsReceivesAndSeesThePeerClose) {
  LoopbackListener peer("pong");
  TcpSocket socket;
  std::vector<std::string> events;
  std::u16string data;
  socket.SetEvents({[&] {
                      events.push_back("connected");
                      socket.SendData(u"ping");
                    },
                    [&](size_t) { data += socket.GetData(100); },
                    [&] { events.push_back("closed"); },
                    [&](int32_t number, const std::u16string&) { events.push_back(std::to_string(number)); }});
  socket.SetRemoteHost(u"127.0.0.1");
  socket.SetRemotePort(peer.Port());
  socket.Connect();
  MessageLoop::Current().RunUntil([&] { return !events.empty() && events.back() != "connected"; },
                                  MessageLoop::Clock::now() + 30s);
  EXPECT_EQ(events, (std::vector<std::string>{"connected", "closed"}));
  EXPECT_EQ(data, u"pong");
  socket.Close();
}

TEST(TcpSocketOnWinsock, AClosedPortIsRefusedWithTheWinsockNumber) {
  TcpSocket socket;
  std::optional<int32_t> error;
  socket.SetEvents({{}, {}, {}, [&](int32_t number, const std::u16string&) { error = number; }});
  socket.SetRemoteHost(u"127.0.0.1");
  socket.SetRemotePort(1);
  socket.Connect();
  MessageLoop::Current().RunUntil([&] { return error.has_value(); }, MessageLoop::Clock::now() + 10s);
  EXPECT_EQ(error, 10061);
}

}  // namespace
}  // namespace comsvc::platform
