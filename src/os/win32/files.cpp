#include "os/files.h"

#include <windows.h>

#include <algorithm>

#include "os/error.h"
#include "os/path_rules.h"
#include "os/win32/wide_text.h"

namespace comsvc::os {

std::error_code LastSystemError() noexcept { return {static_cast<int>(GetLastError()), std::system_category()}; }

namespace {

// A file handle that closes itself.
class Handle {
 public:
  explicit Handle(HANDLE handle) : handle_(handle) {}
  ~Handle() {
    if (Valid()) CloseHandle(handle_);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  HANDLE Get() const { return handle_; }
  bool Valid() const { return handle_ != INVALID_HANDLE_VALUE; }

 private:
  HANDLE handle_;
};

// Opens a file on disk for reading: a pipe, a console or a device is
// refused by its type, before anything is read from it.
std::error_code OpenRegular(const std::string& path, HANDLE& out) {
  std::wstring wide;
  if (!WidePath(path, wide)) return std::make_error_code(std::errc::invalid_argument);
  HANDLE file = CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return LastSystemError();
  BY_HANDLE_FILE_INFORMATION info;
  if (GetFileType(file) != FILE_TYPE_DISK || !GetFileInformationByHandle(file, &info)) {
    CloseHandle(file);
    return Errc::kNotRegularFile;
  }
  if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
    CloseHandle(file);
    return std::make_error_code(std::errc::is_a_directory);
  }
  out = file;
  return {};
}

std::error_code ReadAll(HANDLE file, size_t max_bytes, std::string& out) {
  LARGE_INTEGER size;
  if (GetFileSizeEx(file, &size) && static_cast<unsigned long long>(size.QuadPart) > max_bytes) {
    return Errc::kFileTooLarge;
  }
  char chunk[65536];
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(file, chunk, sizeof chunk, &got, nullptr)) return LastSystemError();
    if (got == 0) return {};
    if (got > max_bytes - out.size()) return Errc::kFileTooLarge;
    out.append(chunk, got);
  }
}

bool WriteAll(HANDLE file, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    DWORD put = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1 << 20));
    if (!WriteFile(file, bytes.data() + done, chunk, &put, nullptr) || put == 0) return false;
    done += put;
  }
  return true;
}

// Writes `bytes` to `temp`, flushed to disk.
bool WriteTemporary(const std::wstring& temp, const std::string& bytes) {
  Handle file(CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  return file.Valid() && WriteAll(file.Get(), bytes) && FlushFileBuffers(file.Get());
}

// Writers of one folder take turns through a lock file of their own, locked
// whole: the edited file is replaced, the lock file stays.
HANDLE LockFolder(const std::string& folder) {
  const std::wstring lock = Wide(folder + "\\.comsvc-edit.lock");
  HANDLE file = CreateFileW(lock.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_HIDDEN, nullptr);
  if (file == INVALID_HANDLE_VALUE) return file;
  OVERLAPPED whole{};
  if (!LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD, &whole)) {
    CloseHandle(file);
    return INVALID_HANDLE_VALUE;
  }
  return file;  // closing the handle releases the lock
}

}  // namespace

std::error_code ReadWholeFile(const std::string& path, std::string& content, size_t max_bytes) {
  HANDLE opened = INVALID_HANDLE_VALUE;
  if (std::error_code error = OpenRegular(path, opened)) return error;
  Handle file(opened);
  content.clear();
  return ReadAll(file.Get(), max_bytes, content);
}

EditOutcome EditFileUnderLock(const std::string& path, const FileEdit& edit) {
  std::wstring target;
  if (path.empty() || !WidePath(path, target)) return EditOutcome::kFailed;
  const std::string folder = FolderOf(path, PathStyle::kWindows);
  Handle lock(LockFolder(folder));
  if (!lock.Valid()) return EditOutcome::kFailed;

  std::optional<std::string> current;
  if (GetFileAttributesW(target.c_str()) != INVALID_FILE_ATTRIBUTES) {
    current.emplace();
    if (ReadWholeFile(path, *current)) return EditOutcome::kFailed;
  } else if (GetLastError() != ERROR_FILE_NOT_FOUND) {
    return EditOutcome::kFailed;
  }

  std::optional<std::string> replacement = edit(current);
  if (!replacement) return EditOutcome::kFailed;
  if (current && *current == *replacement) return EditOutcome::kUnchanged;

  const std::wstring temp = Wide(folder + "\\." + NameOf(path, PathStyle::kWindows) + ".tmp~");
  if (!WriteTemporary(temp, *replacement) ||
      !MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    DeleteFileW(temp.c_str());
    return EditOutcome::kFailed;
  }
  return EditOutcome::kWritten;
}

}  // namespace comsvc::os
