// Folders of the local machine as the system names them, in UTF-8.
//
// On POSIX: documents are XDG_DOCUMENTS_DIR of the xdg-user-dirs file
// ($XDG_CONFIG_HOME/user-dirs.dirs, default $HOME/.config/user-dirs.dirs;
// "$HOME/…" or an absolute path, the first valid line winning), else
// $HOME/Documents; the roaming application data is $XDG_CONFIG_HOME when it
// is an absolute path, else $HOME/.config; the system directory is the
// folder that holds the C library the process loaded. A user-dirs.dirs that
// is not a regular file, or is too large, counts as missing.
//
// On Windows: the shell's folders (CSIDL_PERSONAL, CSIDL_APPDATA) and the
// system directory.
#pragma once

#include <optional>
#include <string>

namespace comsvc::os {

enum class KnownFolder { kDocuments, kRoamingAppData, kSystem };

// The folder's path, or nothing when the system cannot say.
std::optional<std::string> KnownFolderPath(KnownFolder folder);

}  // namespace comsvc::os
