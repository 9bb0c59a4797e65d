#include <comsvc/folder_locations.h>

#include <comsvc/code_page.h>
#include <comsvc/utf8.h>
#include "os/known_folders.h"

namespace comsvc {
namespace {

constexpr size_t kPathBuffer = 260;  // bytes, terminating NUL included

// What an ANSI-form platform call hands back for a path: its code-page
// bytes, when they fit the buffer, read back as text; the empty text for a
// path the system could not give or that does not fit.
std::u16string ThroughAnsiBuffer(os::KnownFolder folder) {
  const std::optional<std::string> path = os::KnownFolderPath(folder);
  if (!path) return u"";
  const platform::CodePage& code_page = platform::CodePage::Current();
  const std::string bytes = code_page.ToBytes(Utf8ToUtf16(*path));
  if (bytes.size() >= kPathBuffer) return u"";
  return code_page.FromBytes(bytes);
}

}  // namespace

std::u16string PersonalFolderPath() { return ThroughAnsiBuffer(os::KnownFolder::kDocuments); }
std::u16string AppDataFolderPath() { return ThroughAnsiBuffer(os::KnownFolder::kRoamingAppData); }
std::u16string SystemDirectoryPath() { return ThroughAnsiBuffer(os::KnownFolder::kSystem); }

}  // namespace comsvc
