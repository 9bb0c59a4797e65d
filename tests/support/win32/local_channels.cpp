#include "support/local_channels.h"

#include <winsock2.h>
#include <windows.h>
#include <fcntl.h>
#include <io.h>

namespace comsvc::testing {
namespace {

SOCKET AsSocket(int socket) { return static_cast<SOCKET>(socket); }

sockaddr_in LoopbackAddress(int port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<u_short>(port));
  return address;
}

std::filesystem::path ProgramFile() {
  wchar_t file[MAX_PATH];
  const DWORD length = GetModuleFileNameW(nullptr, file, MAX_PATH);
  return std::filesystem::path(std::wstring(file, length));
}

}  // namespace

bool MakePipe(int fds[2]) { return _pipe(fds, 1 << 16, _O_BINARY) == 0; }

int ListenOnLoopback(int& port) {
  WSADATA data;
  if (WSAStartup(MAKEWORD(2, 2), &data) != 0) return -1;
  const SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in address = LoopbackAddress(0);
  int length = sizeof address;
  if (bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0 || listen(listener, 1) != 0) {
    closesocket(listener);
    return -1;
  }
  port = ntohs(address.sin_port);
  return static_cast<int>(listener);
}

int AcceptConnection(int listener) { return static_cast<int>(accept(AsSocket(listener), nullptr, nullptr)); }

// Winsock has no socketpair: a listener on the loopback interface accepts
// the one connection made to it.
bool MakeSocketPair(int sockets[2]) {
  int port = 0;
  const int listener = ListenOnLoopback(port);
  if (listener < 0) return false;
  const SOCKET client = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  const sockaddr_in address = LoopbackAddress(port);
  const bool connected = connect(client, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
  sockets[0] = connected ? AcceptConnection(listener) : -1;
  sockets[1] = static_cast<int>(client);
  CloseSocket(listener);
  if (sockets[0] >= 0) return true;
  closesocket(client);
  return false;
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
