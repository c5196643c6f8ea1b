// The model's socket table, shared by the Winsock calls.
#pragma once

#include <memory>

#include "../win32_net.h"

namespace sim {

// One open socket. The host descriptor is closed when the last reference goes,
// so a call still blocked on it when closesocket runs never meets a reused one.
struct SocketRecord {
  explicit SocketRecord(int descriptor) : fd(descriptor) {}
  ~SocketRecord();
  const int fd;
};

// The socket behind `s`, or null with WSAENOTSOCK (WSANOTINITIALISED before
// any WSAStartup) as the last error.
std::shared_ptr<SocketRecord> LookUpSocket(SOCKET s);
SOCKET InsertSocket(int fd);
// Fails the calling model call with a Winsock error.
int SocketFailure(int error);

}  // namespace sim
