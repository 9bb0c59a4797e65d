// Full paths of three folders of the local machine: the user's documents,
// the user's roaming application data, and the system directory.
//
// On Linux: documents are XDG_DOCUMENTS_DIR of the xdg-user-dirs file
// ($XDG_CONFIG_HOME/user-dirs.dirs, default $HOME/.config/user-dirs.dirs),
// else $HOME/Documents; application data is $XDG_CONFIG_HOME when it is an
// absolute path, else $HOME/.config; the system directory is the folder that
// holds the C library the process loaded.
//
// Each path passes through the ANSI code page ("?" for what it lacks) and
// must fit a 260-byte buffer with its terminating NUL; a path that does not,
// or any other failure, gives the empty text. No separator is added or
// removed at the end. Nothing raises; the texts are the caller's.
#pragma once

#include <string>

namespace comsvc {

std::u16string PersonalFolderPath();
std::u16string AppDataFolderPath();
std::u16string SystemDirectoryPath();

}  // namespace comsvc
