// The network address texts: any text as the peer's address, read as IPv4 or
// IPv6, opened, written to, checked and closed. Whatever the text, the port
// must tell its callback only of a real connection and leave nothing behind:
// no socket, handle, thread or heap block.
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzz_input.h"
#include "live_counts.h"
#include "port/port.h"
#include "port/port_driver.h"
#include "port/port_io.h"
#include "private_network.h"
#include "world.h"
#include "world_net.h"

namespace {

constexpr char kTarget[] = "network address";
// Exit code ctest reads as "skipped": without a private network no input may run.
constexpr int kSkipped = 77;

enum Flags : uint8_t { kNotify = 1, kWrite = 2, kCheck = 4 };

uint16_t peerPort = 0;
std::atomic<int> openedEvents{0};

void OnPortEvent(int32_t event) {
  if (event == 0) openedEvents.fetch_add(1);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  if (!EnterPrivateNetwork()) {
    std::fprintf(stderr, "%s: no network namespace of its own here; not run\n", kTarget);
    std::exit(kSkipped);
  }
  peerPort = StartLoopbackPeer();
  if (peerPort == 0) {
    std::fprintf(stderr, "%s: no loopback peer\n", kTarget);
    std::exit(1);
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  FuzzInput input(data, size);
  uint8_t flags = input.Byte();
  // 0: IPv4; 1: IPv6; any other value: IPv6 to connect, IPv4 to the echo.
  int32_t ipv6 = input.Byte() % 3;
  std::string address = input.Rest();

  world::Reset();
  LiveCounts before = CountLive();
  size_t socketsBefore = world::LiveSockets();
  openedEvents = 0;

  Port *port = nullptr;
  Require(PortCreate(&port, PORT_KIND_NETWORK) == 1, kTarget, "no port was made");
  PortSetHostAddress(port, address.c_str());
  PortSetIpv6(port, ipv6);
  PortSetTcpPort(port, peerPort);
  PortSetTimeout(port, 5);
  if (flags & kNotify) PortSetNotify(port, OnPortEvent, nullptr, nullptr);
  int opened = PortOpen(port);
  if (opened && (flags & kWrite)) {
    const char bytes[] = "sixteen bytes...";
    uint32_t count = sizeof bytes - 1;
    Require(PortWrite(port, bytes, &count) == 1, kTarget, "a write to the listening peer failed");
  }
  if (flags & kCheck) portDriver.check[PORT_KIND_NETWORK](port);
  PortClose(port);
  PortDestroy(port);
  DropPeerConnections();

  int expectedEvents = opened && (flags & kNotify) ? 1 : 0;
  Require(openedEvents == expectedEvents, kTarget, "the callback was not told of the open alone");
  Require(world::LiveSockets() == socketsBefore, kTarget, "a socket was left open");
  RequireNothingLeft(before, kTarget);
  return 0;
}
