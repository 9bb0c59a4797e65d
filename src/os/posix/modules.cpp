#include "os/modules.h"
#include "os/posix/loaded_objects.h"

#include <link.h>
#include <unistd.h>

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>

namespace comsvc::os {
namespace {

struct LoadedObject {
  const dl_phdr_info* info;
  bool is_main_program;  // the loader lists the executable first
};

using ObjectTest = std::function<bool(const LoadedObject&)>;

struct Search {
  const ObjectTest* test;
  size_t index = 0;
  std::optional<std::string> file;
};

std::optional<std::string> RealPath(const char* path) {
  std::unique_ptr<char, decltype(&std::free)> real(realpath(path, nullptr), &std::free);
  if (!real) return std::nullopt;
  return std::string(real.get());
}

std::optional<std::string> ExecutableFile() {
  char buffer[PATH_MAX];
  ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer);
  if (length <= 0 || static_cast<size_t>(length) >= sizeof buffer) return std::nullopt;
  return std::string(buffer, static_cast<size_t>(length));
}

int VisitObject(dl_phdr_info* info, size_t, void* data) {
  auto* search = static_cast<Search*>(data);
  LoadedObject object{info, search->index++ == 0};
  if (!(*search->test)(object)) return 0;
  search->file = object.is_main_program ? ExecutableFile() : RealPath(info->dlpi_name);
  return 1;
}

std::optional<std::string> FindObjectFile(const ObjectTest& test) {
  Search search{&test, 0, std::nullopt};
  dl_iterate_phdr(VisitObject, &search);
  return search.file;
}

bool Contains(const dl_phdr_info& info, uintptr_t address) {
  for (int i = 0; i < info.dlpi_phnum; ++i) {
    const ElfW(Phdr)& segment = info.dlpi_phdr[i];
    uintptr_t start = info.dlpi_addr + segment.p_vaddr;
    if (segment.p_type == PT_LOAD && address >= start && address - start < segment.p_memsz) return true;
  }
  return false;
}

}  // namespace

std::optional<std::string> OwnModuleFile() {
  const auto here = reinterpret_cast<uintptr_t>(&OwnModuleFile);
  return FindObjectFile([here](const LoadedObject& object) { return Contains(*object.info, here); });
}

std::optional<std::string> CLibraryFile() {
  return FindObjectFile([](const LoadedObject& object) {
    const char* name = object.info->dlpi_name;
    const char* slash = name ? std::strrchr(name, '/') : nullptr;
    return slash != nullptr && std::strncmp(slash + 1, "libc.so", 7) == 0;
  });
}

}  // namespace comsvc::os
