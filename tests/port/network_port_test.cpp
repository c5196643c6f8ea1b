// The network port against a peer on the loopback interface, as a caller
// builds and uses it. Built natively against the model and for Windows, where
// the same tests meet the system's own sockets and ICMP service.
#include <cstring>
#include <string>
#include <vector>

#include "network_events.h"
#include "network_peer.h"
#include "port/port_driver.h"
#include "port/port_io.h"
#include "sim_test.h"

namespace {

NetworkPort *AsNetwork(Port *port) { return reinterpret_cast<NetworkPort *>(port); }

class NetworkPortTest : public SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    sockets_ = TakeLiveCounts().sockets;
  }
  void TearDown() override {
    for (Port *port : ports_) EXPECT_EQ(PortDestroy(port), 1);
    EXPECT_EQ(TakeLiveCounts().sockets, sockets_) << "a socket outlived its port";
    SimTest::TearDown();
  }

  Port *Configured(const char *address, uint16_t tcpPort, int32_t ipv6,
                   PortEventCallback callback = nullptr) {
    Port *port = nullptr;
    EXPECT_EQ(PortCreate(&port, PORT_KIND_NETWORK), 1);
    if (port == nullptr) return nullptr;
    ports_.push_back(port);
    EXPECT_EQ(PortSetHostAddress(port, address), 1);
    EXPECT_EQ(PortSetTcpPort(port, tcpPort), 1);
    EXPECT_EQ(PortSetIpv6(port, ipv6), 1);
    EXPECT_EQ(PortSetTimeout(port, 1), 1);
    if (callback != nullptr) EXPECT_EQ(PortSetNotify(port, callback, nullptr, nullptr), 1);
    return port;
  }

  Port *ConnectedTo(LoopbackPeer &peer, bool ipv6, PortEventCallback callback = nullptr) {
    Port *port = Configured(peer.address(), peer.port(), ipv6 ? 1 : 0, callback);
    EXPECT_EQ(PortOpen(port), 1);
    EXPECT_TRUE(peer.Accept());
    return port;
  }

  // One driver read, as the timed read's worker makes it.
  static int DriverRead(Port *port, std::string &bytes, uint32_t wanted) {
    bytes.assign(wanted, '\0');
    uint32_t count = wanted;
    int result = portDriver.io[PORT_KIND_NETWORK].read(port, &bytes[0], &count);
    bytes.resize(result ? count : 0);
    return result;
  }

  std::vector<Port *> ports_;
  size_t sockets_ = 0;
};

TEST_F(NetworkPortTest, BytesTravelBothWaysOverIpv4AndIpv6) {
  for (bool ipv6 : {false, true}) {
    SCOPED_TRACE(ipv6 ? "IPv6" : "IPv4");
    LoopbackPeer peer(ipv6);
    Port *port = ConnectedTo(peer, ipv6);
    std::string frame(64, '\0');
    for (size_t i = 0; i < frame.size(); ++i) frame[i] = char(i * 7 + 1);
    uint32_t count = uint32_t(frame.size());
    EXPECT_EQ(PortWrite(port, frame.data(), &count), 1);
    EXPECT_EQ(count, 64u) << "the caller's count is left as it was";
    EXPECT_EQ(peer.Receive(frame.size()), frame);

    // The reply arrives in two pieces; the timed read gathers both.
    ASSERT_TRUE(peer.Send(std::string("\x02\x00\xFF", 3)));
    ASSERT_TRUE(peer.Send(std::string("\x0A\x0D\x00\x01", 4)));
    char reply[7] = {};
    count = sizeof reply;
    EXPECT_EQ(PortRead(port, reply, &count), 1);
    EXPECT_EQ(std::string(reply, sizeof reply), std::string("\x02\x00\xFF\x0A\x0D\x00\x01", 7));
    EXPECT_EQ(PortClose(port), 1);
    EXPECT_EQ(AsNetwork(port)->sock, 0u);
  }
}

TEST_F(NetworkPortTest, ReceiveReportsWhatArrivedAndAClosedPeerAsNoBytes) {
  LoopbackPeer peer(false);
  Port *port = ConnectedTo(peer, false);
  ASSERT_TRUE(peer.Send("abc"));
  std::string got;
  EXPECT_EQ(DriverRead(port, got, 10), 1) << "a partial receive is a success";
  EXPECT_EQ(got, "abc");

  peer.CloseConnection();
  EXPECT_EQ(DriverRead(port, got, 10), 1);
  EXPECT_EQ(got, "") << "the peer's close reads as 0 bytes";
  // The timed read keeps reading nothing until its time-out.
  char buffer[4];
  uint32_t count = sizeof buffer;
  DWORD start = GetTickCount();
  EXPECT_EQ(PortRead(port, buffer, &count), 0);
  EXPECT_GE(GetTickCount() - start, 900u);
}

// Text that is no address gives IPv4 the broadcast address and IPv6 the
// unspecified one; the connect fails either way.
TEST_F(NetworkPortTest, AFailedConnectLeavesNothingBehindItsClose) {
  LoopbackPeer refusing4(false, false), refusing6(true, false);
  struct Case {
    const char *address;
    uint16_t tcpPort;
    int32_t ipv6;
  } cases[] = {
      {"127.0.0.1", refusing4.port(), 0},
      {"::1", refusing6.port(), 1},
      {"not an address", refusing4.port(), 0},
      {"not an address", refusing6.port(), 1},
  };
  LiveCounts before = TakeLiveCounts();
  for (const Case &c : cases) {
    SCOPED_TRACE(std::string(c.address) + (c.ipv6 ? " over IPv6" : " over IPv4"));
    Port *port = Configured(c.address, c.tcpPort, c.ipv6);
    EXPECT_EQ(PortOpen(port), 0);
    EXPECT_EQ(PortClose(port), 0) << "the shutdown of a socket that never connected fails";
    EXPECT_EQ(AsNetwork(port)->sock, 0u) << "no stale socket value survives the close";
    EXPECT_EQ(AsNetwork(port)->hostAddress, nullptr);
    EXPECT_EQ(PortClose(port), 1) << "a second close has nothing left to shut down";
  }
  Port *unaddressed = Configured("127.0.0.1", refusing4.port(), 0);
  ASSERT_EQ(PortClose(unaddressed), 1) << "the close releases the address";
  EXPECT_EQ(PortOpen(unaddressed), 0) << "a closed port needs its address again";
  LiveCounts after = TakeLiveCounts();
  EXPECT_EQ(after.sockets, before.sockets) << "each close released its socket";
  EXPECT_LE(after.handles, before.handles + HandleSlack());
}

TEST_F(NetworkPortTest, OpenTellsTheCallbackAndStartsTheKeepAliveOnlyWithOne) {
  LoopbackPeer peer(false);
  PortEvents events;
  Port *watched = ConnectedTo(peer, false, PortEvents::Record);
  EXPECT_EQ(events.opened, 1);
  EXPECT_NE(watched->notifyThread, 0u);
  EXPECT_EQ(PortSetNotify(watched, nullptr, nullptr, nullptr), 0)
      << "refused while the keep-alive thread runs";

  Port *plain = ConnectedTo(peer, false);
  EXPECT_EQ(plain->notifyThread, 0u);
  EXPECT_EQ(events.opened, 1) << "a port without callback tells nobody";
  EXPECT_EQ(PortClose(plain), 1);
  EXPECT_EQ(PortClose(watched), 1);
  EXPECT_EQ(watched->notifyThread, 0u);
  EXPECT_EQ(events.failed, 0) << "the loopback peer answers every echo";
}

TEST_F(NetworkPortTest, TwoWatchedPortsAreClosedIndependently) {
  LoopbackPeer first(false), second(false);
  PortEvents events;
  Port *a = ConnectedTo(first, false, PortEvents::Record);
  Port *b = ConnectedTo(second, false, PortEvents::Record);
  ASSERT_NE(a->notifyThread, 0u);
  ASSERT_NE(b->notifyThread, 0u);
  EXPECT_NE(a->notifyThread, b->notifyThread);
  EXPECT_EQ(events.opened, 2);

  EXPECT_EQ(PortClose(a), 1);
  HANDLE stillRunning =
      reinterpret_cast<HANDLE>(static_cast<intptr_t>(static_cast<int64_t>(b->notifyThread)));
  EXPECT_EQ(WaitForSingleObject(stillRunning, 0), WAIT_TIMEOUT) << "b's thread is its own";
  uint32_t count = 5;
  EXPECT_EQ(PortWrite(b, "after", &count), 1);
  EXPECT_EQ(second.Receive(5), "after");
  EXPECT_EQ(PortClose(b), 1);
}

TEST_F(NetworkPortTest, CheckAsksThePeerOverIpv4AndTakesIpv6ForAnswered) {
  LoopbackPeer peer4(false), peer6(true);
  Port *v4 = ConnectedTo(peer4, false);
  EXPECT_EQ(portDriver.check[PORT_KIND_NETWORK](v4), 0) << "127.0.0.1 answers echoes";
  // An echo to "::1" as IPv4 text would go to no address and fail: 0 proves none went out.
  Port *v6 = ConnectedTo(peer6, true);
  EXPECT_EQ(portDriver.check[PORT_KIND_NETWORK](v6), 0);
  // Any other non-zero flag still connects over IPv6, but the echo is attempted.
  Port *other = Configured(peer6.address(), peer6.port(), 2);
  EXPECT_EQ(PortOpen(other), 1);
  EXPECT_EQ(portDriver.check[PORT_KIND_NETWORK](other), 1);
}

TEST_F(NetworkPortTest, UnansweredEchoesAreToldAtOnceAndEverySixSeconds) {
  if (!MakeEchoesUnanswered()) GTEST_SKIP() << "needs a network where echoes go unanswered";
  SpeedUpClock(4);
  LoopbackPeer peer(false);
  PortEvents events;
  Port *port = Configured(peer.address(), peer.port(), 0, PortEvents::Record);
  DWORD opened = GetTickCount();
  ASSERT_EQ(PortOpen(port), 1);
  EXPECT_EQ(events.opened, 1);
  ASSERT_TRUE(events.WaitForFailures(2, 20000));
  // The first echo goes out at once and waits its second; the next one 6 s after it.
  DWORD first = events.failedAt[0] - opened;
  DWORD interval = events.failedAt[1] - events.failedAt[0];
  EXPECT_GE(first, 900u);
  EXPECT_LE(first, 2500u);
  EXPECT_GE(interval, 5900u);
  EXPECT_LE(interval, 7500u);
  EXPECT_EQ(portDriver.check[PORT_KIND_NETWORK](port), 1);
  EXPECT_EQ(PortClose(port), 1);
}

TEST_F(NetworkPortTest, ThousandOpenCloseCyclesLeaveNothingBehind) {
  LoopbackPeer peer(false);
  PortEvents events;
  Port *port = Configured(peer.address(), peer.port(), 0, PortEvents::Record);
  auto cycle = [&] {
    if (PortSetHostAddress(port, peer.address()) != 1 || PortOpen(port) != 1 || !peer.Accept())
      return false;
    return PortClose(port) == 1;
  };
  ASSERT_TRUE(cycle()) << "a first cycle, so the system's own one-time handles are counted";
  peer.CloseConnection();
  WaitForPortThreads();
  LiveCounts before = TakeLiveCounts();
  DWORD start = GetTickCount();
  int failures = 0;
  for (int i = 0; i < 1000; ++i) failures += cycle() ? 0 : 1;
  DWORD spent = GetTickCount() - start;
  peer.CloseConnection();
  WaitForPortThreads();
  LiveCounts after = TakeLiveCounts();
  EXPECT_EQ(failures, 0);
  EXPECT_EQ(events.opened, 1001);
  EXPECT_LE(after.handles, before.handles + HandleSlack());
  EXPECT_EQ(after.threads, before.threads);
  EXPECT_EQ(after.heapBlocks, before.heapBlocks);
  EXPECT_EQ(after.sockets, before.sockets);
  std::printf("1,000 open/close cycles with keep-alive: %lu ms; handles %lu -> %lu\n",
              static_cast<unsigned long>(spent), static_cast<unsigned long>(before.handles),
              static_cast<unsigned long>(after.handles));
}

}  // namespace
