// The Winsock calls on an open socket, and the byte-order and text helpers.
#include <climits>

#include "internal/kernel.h"
#include "internal/net.h"
#include "internal/sockets.h"

namespace {

// Runs `call` on the host descriptor behind `s`; its -1 becomes SOCKET_ERROR
// with the Winsock error as the last error.
template <class Call>
long OnSocket(SOCKET s, Call call) {
  sim::StopPoint();
  std::shared_ptr<sim::SocketRecord> record = sim::LookUpSocket(s);
  if (!record) return SOCKET_ERROR;
  int error = 0;
  long result = call(record->fd, error);
  if (result < 0) return sim::SocketFailure(error);
  return result;
}

}  // namespace

int WINAPI connect(SOCKET s, const struct sockaddr *address, int length) {
  return int(OnSocket(
      s, [&](int fd, int &error) { return long(sim::HostConnect(fd, address, length, error)); }));
}

int WINAPI bind(SOCKET s, const struct sockaddr *address, int length) {
  return int(OnSocket(
      s, [&](int fd, int &error) { return long(sim::HostBind(fd, address, length, error)); }));
}

int WINAPI listen(SOCKET s, int backlog) {
  return int(
      OnSocket(s, [&](int fd, int &error) { return long(sim::HostListen(fd, backlog, error)); }));
}

SOCKET WINAPI accept(SOCKET s, struct sockaddr *address, int *length) {
  long accepted = OnSocket(
      s, [&](int fd, int &error) { return long(sim::HostAccept(fd, address, length, error)); });
  if (accepted < 0) return INVALID_SOCKET;
  return sim::InsertSocket(int(accepted));
}

int WINAPI getsockname(SOCKET s, struct sockaddr *address, int *length) {
  return int(OnSocket(
      s, [&](int fd, int &error) { return long(sim::HostSockName(fd, address, length, error)); }));
}

int WINAPI shutdown(SOCKET s, int how) {
  return int(
      OnSocket(s, [&](int fd, int &error) { return long(sim::HostShutdown(fd, how, error)); }));
}

// Out-of-band data and peeking are not modelled: the program sends with flags 0.
int WINAPI send(SOCKET s, const char *buffer, int length, int flags) {
  return int(OnSocket(s, [&](int fd, int &error) -> long {
    if (flags != 0 || length < 0 || (buffer == nullptr && length != 0)) {
      error = flags != 0 ? WSAEINVAL : WSAEFAULT;
      return -1;
    }
    return sim::HostSend(fd, buffer, size_t(length), error);
  }));
}

int WINAPI recv(SOCKET s, char *buffer, int length, int flags) {
  return int(OnSocket(s, [&](int fd, int &error) -> long {
    if (flags != 0 || length < 0 || (buffer == nullptr && length != 0)) {
      error = flags != 0 ? WSAEINVAL : WSAEFAULT;
      return -1;
    }
    return sim::HostReceive(fd, buffer, size_t(length), error);
  }));
}

USHORT WINAPI htons(USHORT value) { return USHORT(value << 8 | value >> 8); }
USHORT WINAPI ntohs(USHORT value) { return htons(value); }
ULONG WINAPI htonl(ULONG value) {
  return (value >> 24) | ((value >> 8) & 0xFF00u) | ((value << 8) & 0xFF0000u) | (value << 24);
}

ULONG WINAPI inet_addr(const char *text) { return sim::HostInetAddr(text); }
