// Read-modify-write of a whole file that never leaves it half written and
// never loses a concurrent writer's change.
//
// The edit runs while holding an exclusive advisory lock (flock) on the
// folder that holds the file, so every writer going through this function
// sees the previous writer's result. The new content goes to a temporary
// file in the same folder, is flushed to disk, and replaces the old file by
// rename: a reader, or a writer killed midway, sees either the old file or
// the new one, never a mix.
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
// the folder does not exist, the file cannot be read or replaced, or the edit
// refuses. A
// symbolic link is followed: its target gets the new content.
EditOutcome EditFileAtomically(const std::string& path, const FileEdit& edit);

// The whole content of a file, or nullopt when it cannot be read.
std::optional<std::string> ReadWholeFile(const std::string& path);

}  // namespace comsvc::platform
