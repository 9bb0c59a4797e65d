#include "platform/atomic_file_edit.h"

#include <windows.h>

#include "platform/path_parts.h"
#include "platform/win32/wide_text.h"

namespace comsvc::platform {
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

bool ReadAll(HANDLE file, std::string& out) {
  char chunk[65536];
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(file, chunk, sizeof chunk, &got, nullptr)) return false;
    if (got == 0) return true;
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
  const std::wstring lock = WidePath(folder + "\\.comsvc-edit.lock");
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

std::optional<std::string> ReadWholeFile(const std::string& path) {
  Handle file(CreateFileW(WidePath(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                          nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  std::string content;
  if (!file.Valid() || !ReadAll(file.Get(), content)) return std::nullopt;
  return content;
}

EditOutcome EditFileUnderLock(const std::string& path, const FileEdit& edit) {
  if (path.empty()) return EditOutcome::kFailed;
  const std::string folder = FolderOf(path);
  Handle lock(LockFolder(folder));
  if (!lock.Valid()) return EditOutcome::kFailed;

  std::optional<std::string> current;
  const std::wstring target = WidePath(path);
  const DWORD attributes = GetFileAttributesW(target.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES) {
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return EditOutcome::kFailed;
    current = ReadWholeFile(path);
    if (!current) return EditOutcome::kFailed;
  } else if (GetLastError() != ERROR_FILE_NOT_FOUND) {
    return EditOutcome::kFailed;
  }

  std::optional<std::string> replacement = edit(current);
  if (!replacement) return EditOutcome::kFailed;
  if (current && *current == *replacement) return EditOutcome::kUnchanged;

  const std::wstring temp = WidePath(folder + "\\." + NameOf(path) + ".tmp~");
  if (!WriteTemporary(temp, *replacement) ||
      !MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    DeleteFileW(temp.c_str());
    return EditOutcome::kFailed;
  }
  return EditOutcome::kWritten;
}

}  // namespace comsvc::platform
