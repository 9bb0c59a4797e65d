#include "support/local_channels.h"

#include <errno.h>
#include <sys/socket.h>
#include <unistd.h>

namespace comsvc::testing {

bool MakePipe(int fds[2]) { return pipe(fds) == 0; }

bool MakeSocketPair(int sockets[2]) { return socketpair(AF_UNIX, SOCK_STREAM, 0, sockets) == 0; }

bool SendToSocket(int socket, std::string_view bytes) {
  return send(socket, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
}

std::string ReceiveByte(int socket) {
  char byte;
  return recv(socket, &byte, 1, 0) == 1 ? std::string(1, byte) : std::string();
}

void CloseSocket(int socket) { close(socket); }

std::filesystem::path ProgramFolder() { return std::filesystem::canonical("/proc/self/exe").parent_path(); }

std::string ProgramName() { return program_invocation_short_name; }

}  // namespace comsvc::testing
