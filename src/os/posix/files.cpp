#include "os/files.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <memory>
#include <string_view>

#include "os/error.h"
#include "os/path_rules.h"

namespace comsvc::os {

std::error_code LastSystemError() noexcept { return {errno, std::system_category()}; }

namespace {

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) close(fd_);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int Get() const { return fd_; }
  bool Valid() const { return fd_ >= 0; }
  void Reset(int fd) {
    if (fd_ >= 0) close(fd_);
    fd_ = fd;
  }
  // Closes now and reports whether the close succeeded (write-back errors).
  bool Close() {
    int fd = fd_;
    fd_ = -1;
    return close(fd) == 0;
  }

 private:
  int fd_;
};

// Opens a regular file. O_NONBLOCK keeps a FIFO from holding the caller
// until a writer comes; the file's kind is checked on the open descriptor,
// so nothing is read from anything else.
std::error_code OpenRegular(const std::string& path, int flags, FileDescriptor& fd, struct stat& st) {
  fd.Reset(open(path.c_str(), flags | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  if (!fd.Valid()) return LastSystemError();
  if (fstat(fd.Get(), &st) != 0) return LastSystemError();
  // A folder gets the reason the system itself gives for reading one.
  if (S_ISDIR(st.st_mode)) return std::make_error_code(std::errc::is_a_directory);
  if (!S_ISREG(st.st_mode)) return Errc::kNotRegularFile;
  // Reads of a regular file never block; the flag only mattered for the open.
  fcntl(fd.Get(), F_SETFL, flags);
  return {};
}

std::error_code ReadAll(int fd, size_t expected, size_t max_bytes, std::string& out) {
  if (expected > max_bytes) return Errc::kFileTooLarge;
  out.reserve(expected);
  char chunk[65536];
  for (;;) {
    ssize_t got = read(fd, chunk, sizeof chunk);
    if (got == 0) return {};
    if (got < 0) {
      if (errno == EINTR) continue;
      return LastSystemError();
    }
    // The file may grow while it is read.
    if (static_cast<size_t>(got) > max_bytes - out.size()) return Errc::kFileTooLarge;
    out.append(chunk, static_cast<size_t>(got));
  }
}

// A symbolic link is edited through: the link stays, its target changes
// (and is created when the link dangles).
std::string FollowLink(const std::string& path) {
  struct stat st;
  if (lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
  std::unique_ptr<char, decltype(&std::free)> target(realpath(path.c_str(), nullptr), &std::free);
  if (target) return std::string(target.get());
  char dangling[PATH_MAX];
  ssize_t size = readlink(path.c_str(), dangling, sizeof dangling);
  if (size <= 0 || static_cast<size_t>(size) >= sizeof dangling) return path;
  std::string link_target(dangling, static_cast<size_t>(size));
  return link_target.front() == '/' ? link_target : FolderOf(path) + "/" + link_target;
}

// Windows refuses to write a file by its read-only attribute, whoever asks;
// here a file (or folder) counts as writable only when its mode has a write
// bit AND the process may write it. The mode check matters for a process
// with the privilege to write anything (root): it must still see a 0444
// file as read-only.
bool MayWrite(const std::string& path, const struct stat& st) {
  return (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0 && access(path.c_str(), W_OK) == 0;
}

bool WriteAllAt(int fd, std::string_view bytes, off_t offset) {
  while (!bytes.empty()) {
    ssize_t put = pwrite(fd, bytes.data(), bytes.size(), offset);
    if (put < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<size_t>(put));
    offset += put;
  }
  return true;
}

bool LockExclusive(int fd) {
  while (flock(fd, LOCK_EX) != 0) {
    if (errno != EINTR) return false;
  }
  return true;
}

// Writes `bytes` to `temp`, flushed to disk, with the owner and permissions
// of the file it will replace (or the defaults a new file gets). Changing the
// owner comes first: it may clear set-id bits that the mode then restores.
bool WriteTemporary(const std::string& temp, const std::string& bytes, const struct stat* replaced) {
  unlink(temp.c_str());  // a leftover of a writer that was killed
  FileDescriptor fd(open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
  if (!fd.Valid()) return false;
  bool ok = WriteAllAt(fd.Get(), bytes, 0);
  if (ok && replaced != nullptr) {
    struct stat now;
    ok = fstat(fd.Get(), &now) == 0;
    if (ok && (now.st_uid != replaced->st_uid || now.st_gid != replaced->st_gid)) {
      ok = fchown(fd.Get(), replaced->st_uid, replaced->st_gid) == 0;
    }
    ok = ok && fchmod(fd.Get(), replaced->st_mode & 07777) == 0;
  }
  ok = ok && fsync(fd.Get()) == 0;
  return fd.Close() && ok;
}

// Replaces `target` by a complete new file: a reader, or a writer killed
// midway, sees the old file or the new one, never a mix.
bool ReplaceByRename(const std::string& target, const std::string& bytes, const struct stat* replaced,
                     int folder_fd) {
  const std::string temp = FolderOf(target) + "/." + NameOf(target) + ".tmp~";
  if (!WriteTemporary(temp, bytes, replaced) || rename(temp.c_str(), target.c_str()) != 0) {
    unlink(temp.c_str());
    return false;
  }
  fsync(folder_fd);  // makes the rename itself durable; best effort
  return true;
}

// Only a plain file with one name, in a folder that may take a new file,
// can be replaced without losing a link, the owner or the mode.
bool Replaceable(const std::string& folder, int folder_fd, const struct stat& file) {
  struct stat st;
  return file.st_nlink == 1 && fstat(folder_fd, &st) == 0 && MayWrite(folder, st);
}

// Writes the new content over the old in the same file, from the first byte
// that differs, and cuts what is left over. The file keeps its identity, so
// its links, owner and mode stay as they are.
bool RewriteInPlace(int fd, const std::string& current, const std::string& replacement) {
  size_t same = 0;
  while (same < current.size() && same < replacement.size() && current[same] == replacement[same]) ++same;
  return WriteAllAt(fd, std::string_view(replacement).substr(same), static_cast<off_t>(same)) &&
         ftruncate(fd, static_cast<off_t>(replacement.size())) == 0 && fsync(fd) == 0;
}

EditOutcome CreateFile(const std::string& target, int folder_fd, const FileEdit& edit) {
  std::optional<std::string> content = edit(std::nullopt);
  if (!content) return EditOutcome::kFailed;
  return ReplaceByRename(target, *content, nullptr, folder_fd) ? EditOutcome::kWritten : EditOutcome::kFailed;
}

}  // namespace

std::error_code ReadWholeFile(const std::string& path, std::string& content, size_t max_bytes) {
  FileDescriptor fd(-1);
  struct stat st;
  if (std::error_code error = OpenRegular(path, O_RDONLY, fd, st)) return error;
  content.clear();
  return ReadAll(fd.Get(), static_cast<size_t>(st.st_size), max_bytes, content);
}

EditOutcome EditFileUnderLock(const std::string& path, const FileEdit& edit) {
  if (path.empty()) return EditOutcome::kFailed;
  const std::string target = FollowLink(path);
  const std::string folder = FolderOf(target);
  // The folder's lock serializes the writers of a file with one name: its
  // inode changes with every replacement, the folder's does not, and a
  // missing file needs the same protection while it is created. The file's
  // own lock serializes writers reaching a file by different names (hard
  // links), which always edit in place.
  FileDescriptor folder_fd(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!folder_fd.Valid() || !LockExclusive(folder_fd.Get())) return EditOutcome::kFailed;

  struct stat st;
  if (stat(target.c_str(), &st) != 0) {
    return errno == ENOENT ? CreateFile(target, folder_fd.Get(), edit) : EditOutcome::kFailed;
  }
  if (!S_ISREG(st.st_mode) || !MayWrite(target, st)) return EditOutcome::kFailed;
  FileDescriptor file(-1);
  std::string current;
  if (OpenRegular(target, O_RDWR, file, st) || !LockExclusive(file.Get()) ||
      ReadAll(file.Get(), static_cast<size_t>(st.st_size), kMaxWholeFileBytes, current)) {
    return EditOutcome::kFailed;
  }

  std::optional<std::string> replacement = edit(current);
  if (!replacement) return EditOutcome::kFailed;
  if (*replacement == current) return EditOutcome::kUnchanged;
  if (Replaceable(folder, folder_fd.Get(), st) && ReplaceByRename(target, *replacement, &st, folder_fd.Get())) {
    return EditOutcome::kWritten;
  }
  return RewriteInPlace(file.Get(), current, *replacement) ? EditOutcome::kWritten : EditOutcome::kFailed;
}

}  // namespace comsvc::os
