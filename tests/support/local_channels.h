// Pipes and connected sockets within the test process, for suites that play
// both ends of a terminal or a connection, and where the test program lives.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace comsvc::testing {

// A pipe as C runtime descriptors, [0] to read and [1] to write; binary on
// Windows. False when the system refuses one.
bool MakePipe(int fds[2]);

// A connected pair of stream sockets, as the message loop watches them: a
// socketpair on Linux, a loopback TCP connection on Windows.
bool MakeSocketPair(int sockets[2]);
bool SendToSocket(int socket, std::string_view bytes);
// One byte read from `socket`, or nothing when none could be read.
std::string ReceiveByte(int socket);
void CloseSocket(int socket);
#ifdef _WIN32
// A TCP listener on the loopback interface, its port in `port`; -1 when the
// system refuses one. The Linux suites have peers of their own (loopback_peer.h).
int ListenOnLoopback(int& port);
int AcceptConnection(int listener);
#endif

// The running test program's folder, and its name without the extension.
std::filesystem::path ProgramFolder();
std::string ProgramName();

}  // namespace comsvc::testing
