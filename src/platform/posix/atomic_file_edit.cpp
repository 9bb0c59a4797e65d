#include "platform/atomic_file_edit.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <memory>

#include "platform/path_parts.h"

namespace comsvc::platform {
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
  // Closes now and reports whether the close succeeded (write-back errors).
  bool Close() {
    int fd = fd_;
    fd_ = -1;
    return close(fd) == 0;
  }

 private:
  int fd_;
};

// A symbolic link is edited through: the link stays, its target changes.
std::string FollowLink(const std::string& path) {
  struct stat st;
  if (lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
  std::unique_ptr<char, decltype(&std::free)> target(realpath(path.c_str(), nullptr), &std::free);
  return target ? std::string(target.get()) : path;
}

bool ReadAll(int fd, std::string& out) {
  char chunk[65536];
  for (;;) {
    ssize_t got = read(fd, chunk, sizeof chunk);
    if (got == 0) return true;
    if (got < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    out.append(chunk, static_cast<size_t>(got));
  }
}

bool WriteAll(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t put = write(fd, bytes.data() + done, bytes.size() - done);
    if (put < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<size_t>(put);
  }
  return true;
}

bool LockExclusive(int fd) {
  while (flock(fd, LOCK_EX) != 0) {
    if (errno != EINTR) return false;
  }
  return true;
}

// Writes `bytes` to `temp`, flushed to disk, with the permissions of the file
// it will replace (or the defaults the umask gives a new file).
bool WriteTemporary(const std::string& temp, const std::string& bytes, const struct stat* replaced) {
  unlink(temp.c_str());  // a leftover of a writer that was killed
  FileDescriptor fd(open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
  if (!fd.Valid()) return false;
  bool ok = WriteAll(fd.Get(), bytes) && (replaced == nullptr || fchmod(fd.Get(), replaced->st_mode & 07777) == 0) &&
            fsync(fd.Get()) == 0;
  return fd.Close() && ok;
}

}  // namespace

std::optional<std::string> ReadWholeFile(const std::string& path) {
  FileDescriptor fd(open(path.c_str(), O_RDONLY | O_CLOEXEC));
  std::string content;
  if (!fd.Valid() || !ReadAll(fd.Get(), content)) return std::nullopt;
  return content;
}

EditOutcome EditFileAtomically(const std::string& path, const FileEdit& edit) {
  if (path.empty()) return EditOutcome::kFailed;
  const std::string target = FollowLink(path);
  const std::string folder = FolderOf(target);
  // Locking the folder rather than the file: the file's inode changes with
  // every replacement, the folder's does not, and a missing file needs the
  // same protection while it is created.
  FileDescriptor folder_fd(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!folder_fd.Valid() || !LockExclusive(folder_fd.Get())) return EditOutcome::kFailed;

  std::optional<std::string> current;
  struct stat st;
  bool exists = stat(target.c_str(), &st) == 0;
  if (exists) {
    if (!S_ISREG(st.st_mode)) return EditOutcome::kFailed;
    current = ReadWholeFile(target);
    if (!current) return EditOutcome::kFailed;
  } else if (errno != ENOENT) {
    return EditOutcome::kFailed;
  }

  std::optional<std::string> replacement = edit(current);
  if (!replacement) return EditOutcome::kFailed;
  if (current && *current == *replacement) return EditOutcome::kUnchanged;

  const std::string temp = folder + "/." + NameOf(target) + ".tmp~";
  if (!WriteTemporary(temp, *replacement, exists ? &st : nullptr) || rename(temp.c_str(), target.c_str()) != 0) {
    unlink(temp.c_str());
    return EditOutcome::kFailed;
  }
  fsync(folder_fd.Get());  // makes the rename itself durable; best effort
  return EditOutcome::kWritten;
}

}  // namespace comsvc::platform
