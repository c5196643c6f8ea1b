#include "private_network.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <initializer_list>

namespace {

int peerV4 = -1;
int peerV6 = -1;

bool LoopbackUp() {
  int control = socket(AF_INET, SOCK_DGRAM, 0);
  if (control < 0) return false;
  ifreq request = {};
  std::strncpy(request.ifr_name, "lo", IFNAMSIZ - 1);
  bool up = ioctl(control, SIOCGIFFLAGS, &request) == 0;
  request.ifr_flags = static_cast<short>(request.ifr_flags | IFF_UP | IFF_RUNNING);
  up = up && ioctl(control, SIOCSIFFLAGS, &request) == 0;
  close(control);
  return up;
}

int Listen(int family, const sockaddr *address, socklen_t size) {
  int listener = socket(family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (listener < 0) return -1;
  int on = 1;
  setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  if (family == AF_INET6) setsockopt(listener, IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof on);
  if (bind(listener, address, size) != 0 || listen(listener, 64) != 0) {
    close(listener);
    return -1;
  }
  return listener;
}

}  // namespace

bool EnterPrivateNetwork() {
  // As root a network namespace alone; otherwise inside a user namespace.
  if (unshare(CLONE_NEWNET) != 0 && unshare(CLONE_NEWUSER | CLONE_NEWNET) != 0) return false;
  return LoopbackUp();
}

uint16_t StartLoopbackPeer() {
  sockaddr_in v4 = {};
  v4.sin_family = AF_INET;
  v4.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  peerV4 = Listen(AF_INET, reinterpret_cast<sockaddr *>(&v4), sizeof v4);
  socklen_t size = sizeof v4;
  if (peerV4 < 0 || getsockname(peerV4, reinterpret_cast<sockaddr *>(&v4), &size) != 0) return 0;
  sockaddr_in6 v6 = {};
  v6.sin6_family = AF_INET6;
  v6.sin6_addr = in6addr_loopback;
  v6.sin6_port = v4.sin_port;
  peerV6 = Listen(AF_INET6, reinterpret_cast<sockaddr *>(&v6), sizeof v6);
  return ntohs(v4.sin_port);
}

void DropPeerConnections() {
  for (int listener : {peerV4, peerV6}) {
    if (listener < 0) continue;
    for (int accepted; (accepted = accept(listener, nullptr, nullptr)) >= 0;) close(accepted);
  }
}
