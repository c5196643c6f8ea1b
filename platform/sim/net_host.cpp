// The host's BSD sockets behind the model's Winsock. Addresses arrive and
// leave in Windows' layout, which matches Linux's but for the family numbers.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "internal/net.h"
#include "win32_types.h"

namespace sim {
namespace {

constexpr int kWinInet6 = 23;
// Winsock's codes for the host's errors the model can meet.
int WsaError(int host) {
  switch (host) {
    case ECONNREFUSED:
      return 10061;
    case ECONNRESET:
      return 10054;
    case ECONNABORTED:
      return 10053;
    case EPIPE:
      return 10058;  // WSAESHUTDOWN
    case ENOTCONN:
      return 10057;
    case EISCONN:
      return 10056;
    case EADDRINUSE:
      return 10048;
    case EADDRNOTAVAIL:
      return 10049;
    case ENETUNREACH:
      return 10051;
    case EHOSTUNREACH:
      return 10065;
    case ETIMEDOUT:
      return 10060;
    case EAFNOSUPPORT:
      return 10047;
    case EBADF:
      return 10038;  // WSAENOTSOCK
    case EFAULT:
      return 10014;
    default:
      return 10022;  // WSAEINVAL
  }
}

int Fail(int &error, int code) {
  error = code;
  return -1;
}

int HostFamily(int windows) {
  if (windows == 2) return AF_INET;
  if (windows == kWinInet6) return AF_INET6;
  return -1;
}

// A Windows address as the host's; false when its family or length is wrong.
bool ToHost(const void *address, int length, sockaddr_storage &host, socklen_t &hostLength) {
  if (address == nullptr || length < 2 || size_t(length) > sizeof host) return false;
  uint16_t family;
  std::memcpy(&family, address, 2);
  int hostFamily = HostFamily(family);
  size_t needed = hostFamily == AF_INET ? sizeof(sockaddr_in) : sizeof(sockaddr_in6);
  if (hostFamily < 0 || size_t(length) < needed) return false;
  std::memset(&host, 0, sizeof host);
  std::memcpy(&host, address, needed);
  host.ss_family = sa_family_t(hostFamily);
  hostLength = socklen_t(needed);
  return true;
}

int FromHost(const sockaddr_storage &host, socklen_t hostLength, void *address, int *length,
             int &error) {
  if (address == nullptr || length == nullptr || *length < 0 || socklen_t(*length) < hostLength)
    return Fail(error, 10014);  // WSAEFAULT
  std::memcpy(address, &host, hostLength);
  uint16_t family = host.ss_family == AF_INET6 ? kWinInet6 : 2;
  std::memcpy(address, &family, 2);
  *length = int(hostLength);
  return 0;
}

// Windows refuses to connect to the unspecified address or to port 0, where
// Linux would reach the local host.
bool Unreachable(const sockaddr_storage &host) {
  if (host.ss_family == AF_INET) {
    const auto &v4 = reinterpret_cast<const sockaddr_in &>(host);
    return v4.sin_addr.s_addr == htonl(INADDR_ANY) || v4.sin_port == 0;
  }
  const auto &v6 = reinterpret_cast<const sockaddr_in6 &>(host);
  return IN6_IS_ADDR_UNSPECIFIED(&v6.sin6_addr) || v6.sin6_port == 0;
}

}  // namespace

int HostSocket(int family, int type, int protocol, int &error) {
  int hostFamily = HostFamily(family);
  if (hostFamily < 0) return Fail(error, 10047);       // WSAEAFNOSUPPORT
  if (type != SOCK_STREAM) return Fail(error, 10044);  // WSAESOCKTNOSUPPORT
  int fd = socket(hostFamily, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, protocol);
  if (fd < 0) return Fail(error, WsaError(errno));
  return fd;
}

void HostClose(int fd) { close(fd); }

int HostConnect(int fd, const void *address, int length, int &error) {
  sockaddr_storage host;
  socklen_t hostLength;
  if (!ToHost(address, length, host, hostLength)) return Fail(error, 10014);
  if (Unreachable(host)) return Fail(error, 10049);  // WSAEADDRNOTAVAIL
  if (connect(fd, reinterpret_cast<sockaddr *>(&host), hostLength) == 0) return 0;
  if (errno != EINPROGRESS) return Fail(error, WsaError(errno));
  int ready = WaitReady(fd, POLLOUT, RealClock::time_point::max());
  if (ready < 0) return Fail(error, 10004);  // WSAEINTR
  int result = 0;
  socklen_t size = sizeof result;
  getsockopt(fd, SOL_SOCKET, SO_ERROR, &result, &size);
  return result == 0 ? 0 : Fail(error, WsaError(result));
}

int HostBind(int fd, const void *address, int length, int &error) {
  sockaddr_storage host;
  socklen_t hostLength;
  if (!ToHost(address, length, host, hostLength)) return Fail(error, 10014);
  if (bind(fd, reinterpret_cast<sockaddr *>(&host), hostLength) != 0)
    return Fail(error, WsaError(errno));
  return 0;
}

int HostListen(int fd, int backlog, int &error) {
  return listen(fd, backlog < 0 ? SOMAXCONN : backlog) == 0 ? 0 : Fail(error, WsaError(errno));
}

int HostAccept(int fd, void *address, int *length, int &error) {
  for (;;) {
    sockaddr_storage host;
    socklen_t hostLength = sizeof host;
    int accepted =
        accept4(fd, reinterpret_cast<sockaddr *>(&host), &hostLength, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (accepted >= 0) {
      if (address != nullptr && FromHost(host, hostLength, address, length, error) != 0) {
        close(accepted);
        return -1;
      }
      return accepted;
    }
    if (errno != EAGAIN && errno != EWOULDBLOCK) return Fail(error, WsaError(errno));
    int ready = WaitReady(fd, POLLIN, RealClock::time_point::max());
    if (ready < 0) return Fail(error, 10004);
  }
}

int HostSockName(int fd, void *address, int *length, int &error) {
  sockaddr_storage host;
  socklen_t hostLength = sizeof host;
  if (getsockname(fd, reinterpret_cast<sockaddr *>(&host), &hostLength) != 0)
    return Fail(error, WsaError(errno));
  return FromHost(host, hostLength, address, length, error);
}

int HostShutdown(int fd, int how, int &error) {
  if (how < 0 || how > 2) return Fail(error, 10022);
  // SD_RECEIVE, SD_SEND and SD_BOTH are SHUT_RD, SHUT_WR and SHUT_RDWR.
  return shutdown(fd, how) == 0 ? 0 : Fail(error, WsaError(errno));
}

void HostAbandon(int fd) { shutdown(fd, SHUT_RDWR); }

long HostSend(int fd, const void *data, size_t length, int &error) {
  // A blocking Winsock send returns once every byte has been taken.
  size_t sent = 0;
  do {
    ssize_t moved = send(fd, static_cast<const char *>(data) + sent, length - sent, MSG_NOSIGNAL);
    if (moved >= 0) {
      sent += size_t(moved);
      continue;
    }
    if (errno != EAGAIN && errno != EWOULDBLOCK) return Fail(error, WsaError(errno));
    if (WaitReady(fd, POLLOUT, RealClock::time_point::max()) < 0) return Fail(error, 10004);
  } while (sent < length);
  return long(sent);
}

long HostReceive(int fd, void *data, size_t length, int &error) {
  for (;;) {
    ssize_t moved = recv(fd, data, length, 0);
    if (moved >= 0) return long(moved);
    if (errno != EAGAIN && errno != EWOULDBLOCK) return Fail(error, WsaError(errno));
    if (WaitReady(fd, POLLIN, RealClock::time_point::max()) < 0) return Fail(error, 10004);
  }
}

uint32_t HostInetAddr(const char *text) {
  in_addr address;
  if (text == nullptr || inet_aton(text, &address) == 0) return INADDR_NONE;
  return address.s_addr;
}

bool HostParseIpv6(const char *text, const char **end, unsigned char out[16]) {
  const char *stop = text;
  while (*stop != '\0' && std::strchr("0123456789abcdefABCDEF:.", *stop) != nullptr) ++stop;
  if (end != nullptr) *end = stop;
  char copy[INET6_ADDRSTRLEN];
  size_t length = size_t(stop - text);
  if (length >= sizeof copy) return false;
  std::memcpy(copy, text, length);
  copy[length] = '\0';
  return inet_pton(AF_INET6, copy, out) == 1;
}

}  // namespace sim
