#include "support/local_channels.h"

#include <winsock2.h>
#include <windows.h>
#include <fcntl.h>
#include <io.h>

namespace comsvc::testing {
namespace {

SOCKET AsSocket(int socket) { return static_cast<SOCKET>(socket); }

std::filesystem::path ProgramFile() {
  wchar_t file[MAX_PATH];
  const DWORD length = GetModuleFileNameW(nullptr, file, MAX_PATH);
  return std::filesystem::path(std::wstring(file, length));
}

}  // namespace

bool MakePipe(int fds[2]) { return _pipe(fds, 1 << 16, _O_BINARY) == 0; }

// Winsock has no socketpair: a listener on the loopback interface accepts
// the one connection made to it.
bool MakeSocketPair(int sockets[2]) {
  WSADATA data;
  if (WSAStartup(MAKEWORD(2, 2), &data) != 0) return false;
  const SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int length = sizeof address;
  SOCKET ends[2] = {INVALID_SOCKET, INVALID_SOCKET};
  if (bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) == 0 && listen(listener, 1) == 0) {
    ends[1] = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (connect(ends[1], reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
      ends[0] = accept(listener, nullptr, nullptr);
    }
  }
  closesocket(listener);
  if (ends[0] == INVALID_SOCKET) {
    if (ends[1] != INVALID_SOCKET) closesocket(ends[1]);
    return false;
  }
  for (int i = 0; i < 2; ++i) sockets[i] = static_cast<int>(ends[i]);
  return true;
}

bool SendToSocket(int socket, std::string_view bytes) {
  return send(AsSocket(socket), bytes.data(), static_cast<int>(bytes.size()), 0) == static_cast<int>(bytes.size());
}

std::string ReceiveByte(int socket) {
  char byte;
  return recv(AsSocket(socket), &byte, 1, 0) == 1 ? std::string(1, byte) : std::string();
}

void CloseSocket(int socket) { closesocket(AsSocket(socket)); }

std::filesystem::path ProgramFolder() { return ProgramFile().parent_path(); }

std::string ProgramName() { return ProgramFile().stem().string(); }

}  // namespace comsvc::testing
