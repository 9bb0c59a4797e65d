// Helpers shared by the test suites: temporary folders, files and running
// programs.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace comsvc::testing {

// A fresh folder under the system's temporary folder, removed with the object.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& Path() const { return path_; }
  // Writes `bytes` to a file of this folder and returns its path.
  std::filesystem::path Write(const std::string& name, const std::string& bytes) const;

 private:
  std::filesystem::path path_;
};

std::string ReadBytes(const std::filesystem::path& path);

// Running programs: the Linux suites only.
// status: the exit status, or -1 when the program did not exit normally.
struct ProcessResult { int status = -1; std::string out, err; };

// Runs `argv` (argv[0] a path) with `input` on its standard input and the
// given extra environment entries ("NAME=value"), and collects its output.
ProcessResult RunProcess(const std::vector<std::string>& argv, const std::string& input = "",
                         const std::vector<std::string>& env = {});

// Runs the comsvc binary built with the tests.
ProcessResult RunComsvc(const std::vector<std::string>& args, const std::string& input = "",
                        const std::vector<std::string>& env = {});

}  // namespace comsvc::testing
