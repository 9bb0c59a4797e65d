// comsvc.exe on Windows: arguments come from the wide command line and the
// output is UTF-8, whatever the system's ANSI code page.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

std::filesystem::path ProgramFolder() {
  wchar_t path[MAX_PATH];
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  return std::filesystem::path(path).parent_path();
}

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
  startup.hStdOutput = write_end;
  startup.hStdError = write_end;
  PROCESS_INFORMATION process{};
  const BOOL started =
      CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, folder, &startup, &process);
  CloseHandle(write_end);
  std::string out;
  char buffer[4096];
  DWORD got = 0;
  while (started && ReadFile(read_end, buffer, sizeof buffer, &got, nullptr) && got > 0) out.append(buffer, got);
  CloseHandle(read_end);
  if (started) {
    WaitForSingleObject(process.hProcess, INFINITE);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
  }
  return out;
}

class CliOnWindows : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = std::filesystem::temp_directory_path() / ("comsvc-cli-" + std::to_string(GetCurrentProcessId()));
    std::filesystem::create_directories(folder_);
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }
  std::filesystem::path folder_;
};

TEST_F(CliOnWindows, AnArgumentOutsideTheAnsiCodePageArrivesWhole) {
  // The same text from a UTF-8 file and from the command line: a command line
  // read through the ANSI code page (1252 here) would have lost the character.
  const std::filesystem::path text = folder_ / "text.txt";
  std::ofstream(text, std::ios::binary) << "\xE4\xB8\xAD";
  const std::string from_file = RunComsvc({L"--codepage", L"936", L"md5", L"--server", L"32", L"--text-file",
                                           text.wstring()});
  const std::string from_argument = RunComsvc({L"--codepage", L"936", L"md5", L"--server", L"32", L"\u4E2D"});
  EXPECT_EQ(from_file.size(), 33u) << from_file;
  EXPECT_EQ(from_argument, from_file);
}

TEST_F(CliOnWindows, PrintsUtf8WhateverTheAnsiCodePage) {
  const std::wstring path = (folder_ / "s.ini").wstring();
  RunComsvc({L"--codepage", L"936", L"ini", L"write", L"--path", path, L"S", L"k", L"\u4E2D\u6587"});
  EXPECT_EQ(RunComsvc({L"--codepage", L"936", L"ini", L"read", L"--path", path, L"S", L"k"}),
            "\xE4\xB8\xAD\xE6\x96\x87\n");
}

TEST_F(CliOnWindows, ABareIniFileNameIsInTheCurrentFolder) {
  // The profile functions alone would read and write it in the Windows folder.
  const std::wstring name = L"comsvc-bare-" + std::to_wstring(GetCurrentProcessId()) + L".ini";
  EXPECT_EQ(RunComsvc({L"ini", L"write", L"--path", name, L"S", L"k", L"here"}, folder_.c_str()), "1\n");
  EXPECT_EQ(RunComsvc({L"ini", L"read", L"--path", name, L"s", L"K"}, folder_.c_str()), "here\n");
  std::ifstream file(folder_ / name, std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(file), {}), "[S]\r\nk=here\r\n");
  wchar_t windows[MAX_PATH];
  GetWindowsDirectoryW(windows, MAX_PATH);
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(windows) / name));
}

}  // namespace
