// A socket bound to a loopback port of the system's choosing, for the tests'
// peers and the benchmark's sink. The caller has started Winsock.
#pragma once

#include <cstring>

#include "platform/win32.h"

// INVALID_SOCKET if none could be made. Without `listening` the port stays
// taken by the socket and refuses connections.
inline SOCKET ListenOnLoopback(bool ipv6, bool listening, uint16_t *port) {
  SOCKET listener = socket(ipv6 ? AF_INET6 : AF_INET, SOCK_STREAM, 0);
  if (listener == INVALID_SOCKET) return listener;
  if (ipv6) {
    sockaddr_in6 address;
    std::memset(&address, 0, sizeof address);
    address.sin6_family = AF_INET6;
    address.sin6_addr.s6_addr[15] = 1;
    bind(listener, reinterpret_cast<const sockaddr *>(&address), sizeof address);
    int length = sizeof address;
    getsockname(listener, reinterpret_cast<sockaddr *>(&address), &length);
    *port = ntohs(address.sin6_port);
  } else {
    sockaddr_in address;
    std::memset(&address, 0, sizeof address);
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = inet_addr("127.0.0.1");
    bind(listener, reinterpret_cast<const sockaddr *>(&address), sizeof address);
    int length = sizeof address;
    getsockname(listener, reinterpret_cast<sockaddr *>(&address), &length);
    *port = ntohs(address.sin_port);
  }
  if (listening) listen(listener, SOMAXCONN);
  return listener;
}
