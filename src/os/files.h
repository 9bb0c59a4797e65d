// Whole files: read at once, or edited under a lock without losing a
// concurrent writer's change. Paths are UTF-8.
//
// Only regular files are read or edited, and opening one never blocks: a
// FIFO, a socket or a device is refused at once (Errc::kNotRegularFile)
// rather than waited on or read for ever, and a folder as the system refuses
// to read one (std::errc::is_a_directory). A whole file holds at most
// kMaxWholeFileBytes; a longer one is refused (Errc::kFileTooLarge) before
// its content is read.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <system_error>

namespace comsvc::os {

// More text than a 32-bit process could hold twice over.
inline constexpr size_t kMaxWholeFileBytes = size_t{1} << 30;

// The whole content of the file at `path`, or why it could not be read.
std::error_code ReadWholeFile(const std::string& path, std::string& content,
                              size_t max_bytes = kMaxWholeFileBytes);

// Gets the current content (nullopt when the file does not exist) and returns
// the new content, or nullopt to refuse the edit (the file stays as it is).
using FileEdit = std::function<std::optional<std::string>(const std::optional<std::string>& current)>;

enum class EditOutcome { kWritten, kUnchanged, kFailed };

// Read-modify-write of a whole file that keeps its links, owner and mode.
//
// The edit runs while holding an exclusive lock on the folder that holds
// the file and on the file itself, so every writer going through this
// function sees the previous writer's result. When the file is a plain file
// with one name in a folder that may take a new file, the new content goes
// to a temporary file in the same folder, is flushed to disk, and replaces
// the old file by rename: a reader, or a writer killed midway, sees either
// the old file or the new one. Otherwise (a hard link, a read-only folder,
// an owner the process cannot give a new file) the file is rewritten in
// place from the first byte that changes.
//
// Fails, touching nothing, when the folder does not exist, the file is not a
// regular file, is read-only (no write bit in its mode, whatever the
// process's privileges), cannot be read or is too large to read whole, or
// the edit refuses. A symbolic link is followed: the link stays, its target
// gets the new content.
EditOutcome EditFileUnderLock(const std::string& path, const FileEdit& edit);

}  // namespace comsvc::os
