// comsvc.exe on Windows: arguments come from the wide command line and the
// output is UTF-8, whatever the system's ANSI code page.
#include <windows.h>

#include <gtest/gtest.h>

#include "support/local_channels.h"
#include "support/test_support.h"

namespace comsvc::testing {
namespace {

// Runs comsvc.exe (next to the tests' folder) with a command line of
// quoted arguments, in `folder` (default: this program's current folder);
// returns its standard output.
std::string RunComsvc(const std::vector<std::wstring>& args, const wchar_t* folder = nullptr) {
  std::wstring command = L"\"" + (ProgramFolder().parent_path() / L"comsvc.exe").wstring() + L"\"";
  for (const std::wstring& arg : args) command += L" \"" + arg + L"\"";
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE read_end = nullptr, write_end = nullptr;
  CreatePipe(&read_end, &write_end, &inherit, 0);
  SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = startup.hStdError = write_end;
  PROCESS_INFORMATION process{};
  const BOOL started =
      CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, folder, &startup, &process);
  CloseHandle(write_end);
  std::string out;
  char buffer[4096];
  DWORD got = 0;
  while (started && ReadFile(read_end, buffer, sizeof buffer, &got, nullptr) && got > 0) out.append(buffer, got);
  CloseHandle(read_end);
  if (started) WaitForSingleObject(process.hProcess, INFINITE);
  if (started) CloseHandle(process.hProcess), CloseHandle(process.hThread);
  return out;
}

TEST(CliOnWindows, AnArgumentOutsideTheAnsiCodePageArrivesWhole) {
  // The same text from a UTF-8 file and from the command line: a command line
  // read through the ANSI code page (1252 here) would have lost the character.
  TempDir dir;
  const std::wstring text = dir.Write("text.txt", "\xE4\xB8\xAD").wstring();
  const std::string from_file = RunComsvc({L"--codepage", L"936", L"md5", L"--server", L"32", L"--text-file", text});
  const std::string from_argument = RunComsvc({L"--codepage", L"936", L"md5", L"--server", L"32", L"\u4E2D"});
  EXPECT_EQ(from_file.size(), 33u) << from_file;
  EXPECT_EQ(from_argument, from_file);
}

TEST(CliOnWindows, PrintsUtf8WhateverTheAnsiCodePage) {
  TempDir dir;
  const std::wstring path = (dir.Path() / "s.ini").wstring();
  RunComsvc({L"--codepage", L"936", L"ini", L"write", L"--path", path, L"S", L"k", L"\u4E2D\u6587"});
  EXPECT_EQ(RunComsvc({L"--codepage", L"936", L"ini", L"read", L"--path", path, L"S", L"k"}),
            "\xE4\xB8\xAD\xE6\x96\x87\n");
}

TEST(CliOnWindows, ABareIniFileNameIsInTheCurrentFolder) {
  // The profile functions alone would read and write it in the Windows folder.
  TempDir dir;
  const std::wstring name = L"comsvc-bare-" + std::to_wstring(GetCurrentProcessId()) + L".ini";
  EXPECT_EQ(RunComsvc({L"ini", L"write", L"--path", name, L"S", L"k", L"here"}, dir.Path().c_str()), "1\n");
  EXPECT_EQ(RunComsvc({L"ini", L"read", L"--path", name, L"s", L"K"}, dir.Path().c_str()), "here\n");
  EXPECT_EQ(ReadBytes(dir.Path() / name), "[S]\r\nk=here\r\n");
  wchar_t windows[MAX_PATH];
  GetWindowsDirectoryW(windows, MAX_PATH);
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(windows) / name));
}

}  // namespace
}  // namespace comsvc::testing
