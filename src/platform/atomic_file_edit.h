// Read-modify-write of a whole file that never loses a concurrent writer's
// change, and keeps the file's links, owner and mode.
//
// The edit runs while holding an exclusive advisory lock (flock) on the
// folder that holds the file and on the file itself, so every writer going
// through this function sees the previous writer's result. When the file is
// a plain file with one name in a folder that may take a new file, the new
// content goes to a temporary file in the same folder, is flushed to disk,
// and replaces the old file by rename: a reader, or a writer killed midway,
// sees either the old file or the new one, never a mix. Otherwise (a hard
// link, a read-only folder, an owner the process cannot give a new file) the
// file is rewritten in place from the first byte that changes.
#pragma once

#include <functional>
#include <optional>
#include <string>

namespace comsvc::platform {

// Gets the current content (nullopt when the file does not exist) and returns
// the new content, or nullopt to refuse the edit (the file stays as it is).
using FileEdit = std::function<std::optional<std::string>(const std::optional<std::string>& current)>;

enum class EditOutcome { kWritten, kUnchanged, kFailed };

// `path` is a file-system path (UTF-8 bytes). Fails, touching nothing, when
// the folder does not exist, the file is not a regular file, is read-only
// (no write bit in its mode, whatever the process's privileges) or cannot be
// read, or the edit refuses. A symbolic link is followed: the link stays, its
// target gets the new content.
EditOutcome EditFileUnderLock(const std::string& path, const FileEdit& edit);

// The whole content of a file, or nullopt when it cannot be read.
std::optional<std::string> ReadWholeFile(const std::string& path);

}  // namespace comsvc::platform
