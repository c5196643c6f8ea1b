// Windows Sockets for the network ports: one start-up per port, one clean-up
// per destroyed port; Winsock counts them and the last clean-up closes every
// socket the process still has.
#include <cstdio>

#include "network_transport.h"

namespace {
constexpr WORD kWinsockVersion = 0x0102;  // major 2 in the low byte, minor 1 in the high
}

int WinsockStartup(void) {
  WSADATA data;
  if (WSAStartup(kWinsockVersion, &data) == 0) return 1;
  std::fputs("wsastartup() failed!!\n", stdout);
  return 0;
}

int WinsockCleanup(void) {
  WSACleanup();
  return 1;
}
