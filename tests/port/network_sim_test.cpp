// The network port where only the model can reach: echoes that stop in the
// middle, a system without the IPv6 conversion, failures to start the
// keep-alive thread, Winsock's clean-up of what is left, and blocked calls
// cancelled or stopped.
#include <cstring>
#include <string>
#include <thread>

#include "network_events.h"
#include "network_peer.h"
#include "port/port_driver.h"
#include "port/port_io.h"
#include "sim_test.h"
#include "world_net.h"

namespace {

class NetworkSimTest : public SimTest {
 protected:
  void TearDown() override {
    if (port != nullptr) EXPECT_EQ(PortDestroy(port), 1);
    EXPECT_EQ(world::LiveSockets(), 0u) << "a socket outlived its port";
    SimTest::TearDown();
  }

  void Configure(const char *address, uint16_t tcpPort, int32_t ipv6,
                 PortEventCallback callback = nullptr) {
    ASSERT_EQ(PortCreate(&port, PORT_KIND_NETWORK), 1);
    PortSetHostAddress(port, address);
    PortSetTcpPort(port, tcpPort);
    PortSetIpv6(port, ipv6);
    if (callback != nullptr) PortSetNotify(port, callback, nullptr, nullptr);
  }

  NetworkPort *network() { return reinterpret_cast<NetworkPort *>(port); }

  Port *port = nullptr;
};

TEST_F(NetworkSimTest, Ipv6PortsNeverEchoSoNeverFail) {
  world::SetEchoesAnswered(false);
  LoopbackPeer peer(true);
  PortEvents events;
  Configure(peer.address(), peer.port(), 1, PortEvents::Record);
  ASSERT_EQ(PortOpen(port), 1);
  EXPECT_EQ(portDriver.check[PORT_KIND_NETWORK](port), 0);
  EXPECT_FALSE(events.WaitForFailures(1, 1500)) << "an echo went out and failed";
}

TEST_F(NetworkSimTest, AReplyThatIsNoSuccessIsNoAnswer) {
  Configure("127.0.0.1", 9100, 0);
  for (unsigned long status : {IP_DEST_HOST_UNREACHABLE, IP_BUF_TOO_SMALL}) {
    world::SetEchoReplyStatus(status);
    EXPECT_EQ(portDriver.check[PORT_KIND_NETWORK](port), 1) << status;
  }
}

TEST_F(NetworkSimTest, CloseDuringAnEchoEndsTheThreadWithinItsBound) {
  world::SetEchoesAnswered(false);
  LoopbackPeer peer(false);
  PortEvents events;
  Configure(peer.address(), peer.port(), 0, PortEvents::Record);
  ASSERT_EQ(PortOpen(port), 1);
  // The first echo starts at once and waits a whole second for its reply.
  HANDLE thread = reinterpret_cast<HANDLE>(static_cast<intptr_t>(network()->header.notifyThread));
  EXPECT_EQ(WaitForSingleObject(thread, 100), WAIT_TIMEOUT);
  DWORD start = GetTickCount();
  EXPECT_EQ(PortClose(port), 1);
  EXPECT_LE(GetTickCount() - start, 2000u) << "the stop event is seen after the echo";
  EXPECT_EQ(world::LiveThreads(), 0u) << "the close waited for the thread to end";
}

TEST_F(NetworkSimTest, WithoutTheIpv6ConversionTheOpenMakesNoSocket) {
  world::SetIpv6ConversionAvailable(false);
  LoopbackPeer peer(true);
  size_t sockets = world::LiveSockets();
  Configure(peer.address(), peer.port(), 1);
  EXPECT_EQ(PortOpen(port), 0);
  EXPECT_EQ(world::LiveSockets(), sockets);
  EXPECT_EQ(network()->sock, 0u);
}

// Linux would reach the local host at the unspecified address; Windows refuses.
TEST_F(NetworkSimTest, TheUnspecifiedAddressReachesNobody) {
  for (bool ipv6 : {false, true}) {
    LoopbackPeer peer(ipv6);
    for (const char *address : {ipv6 ? "::" : "0.0.0.0", ipv6 ? "no address" : "0.0.0.0"}) {
      SCOPED_TRACE(address);
      Port *unspecified = nullptr;
      ASSERT_EQ(PortCreate(&unspecified, PORT_KIND_NETWORK), 1);
      PortSetHostAddress(unspecified, address);
      PortSetTcpPort(unspecified, peer.port());
      PortSetIpv6(unspecified, ipv6 ? 1 : 0);
      EXPECT_EQ(PortOpen(unspecified), 0);
      EXPECT_EQ(WSAGetLastError(), WSAEADDRNOTAVAIL);
      EXPECT_EQ(PortDestroy(unspecified), 1);
    }
  }
}

TEST_F(NetworkSimTest, AKeepAliveThatCannotStartFailsTheOpenAndLeavesNothing) {
  LoopbackPeer peer(false);
  PortEvents events;
  for (int fault = 0; fault < 3; ++fault) {
    SCOPED_TRACE(fault);
    Configure(peer.address(), peer.port(), 0, PortEvents::Record);
    // The thread itself, then the keep-alive record and the copy of its text.
    if (fault == 0) world::FailThreadCreation(1);
    if (fault == 1) world::FailAllocation(1);
    if (fault == 2) world::FailAllocation(2);
    EXPECT_EQ(PortOpen(port), 0);
    EXPECT_EQ(events.opened, fault + 1) << "the connection stood before the thread failed";
    EXPECT_EQ(network()->header.notifyThread, 0u);
    EXPECT_EQ(PortClose(port), 1);
    EXPECT_EQ(PortDestroy(port), 1);
    port = nullptr;
  }
}

TEST_F(NetworkSimTest, TheLastCleanupClosesWhatTheProcessLeftOpen) {
  LoopbackPeer peer(false);
  Port *other = nullptr;
  ASSERT_EQ(PortCreate(&other, PORT_KIND_NETWORK), 1);
  Configure(peer.address(), peer.port(), 0);
  ASSERT_EQ(PortOpen(port), 1);
  ASSERT_TRUE(peer.Accept());
  EXPECT_EQ(PortDestroy(other), 1) << "another port's clean-up is not the last";
  uint32_t count = 2;
  EXPECT_EQ(PortWrite(port, "ok", &count), 1);
  EXPECT_EQ(peer.Receive(2), "ok");

  WSADATA data;
  ASSERT_EQ(WSAStartup(0x0202, &data), 0);
  SOCKET forgotten = socket(AF_INET, SOCK_STREAM, 0);
  ASSERT_NE(forgotten, INVALID_SOCKET);
  EXPECT_EQ(WSACleanup(), 0);
  EXPECT_EQ(PortDestroy(port), 1);
  port = nullptr;
  EXPECT_EQ(world::LiveSockets(), 3u) << "the peer's start-up still holds Winsock";
}

TEST_F(NetworkSimTest, WithoutWinsockThePortIsMadeButCannotOpen) {
  world::SetWinsockReady(false);
  testing::internal::CaptureStdout();
  Configure("127.0.0.1", 9100, 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "wsastartup() failed!!\n");
  ASSERT_NE(port, nullptr);
  EXPECT_EQ(PortOpen(port), 0);
  EXPECT_EQ(network()->sock, INVALID_SOCKET) << "the socket could not be created";
  EXPECT_EQ(PortClose(port), 0);
  EXPECT_EQ(PortDestroy(port), 1) << "its clean-up fails unseen";
  port = nullptr;
}

// Socket calls block in the model's poll, where a cancel or a stop reaches them.
TEST_F(NetworkSimTest, BlockedSocketCallsAreCancelledAndStopped) {
  LoopbackPeer peer(false);
  Configure(peer.address(), peer.port(), 0);
  ASSERT_EQ(PortOpen(port), 1);
  ASSERT_TRUE(peer.Accept());
  for (bool terminate : {false, true}) {
    SCOPED_TRACE(terminate ? "TerminateThread" : "CancelSynchronousIo");
    struct Job {
      Port *port;
      char buffer[8];
      uint32_t count;
      int result;
      int error;
    } job{port, {}, 8, -1, 0};
    HANDLE reader = CreateThread(
        nullptr, 0,
        [](LPVOID parameter) -> DWORD {
          auto *j = static_cast<Job *>(parameter);
          j->result = portDriver.io[PORT_KIND_NETWORK].read(j->port, j->buffer, &j->count);
          j->error = WSAGetLastError();
          return 0;
        },
        &job, 0, nullptr);
    ASSERT_NE(reader, nullptr);
    EXPECT_EQ(WaitForSingleObject(reader, 100), WAIT_TIMEOUT) << "nothing to read yet";
    // The reader may not have reached its poll yet: a cancel then finds no I/O.
    while (!terminate && !CancelSynchronousIo(reader)) Sleep(1);
    if (terminate) TerminateThread(reader, STILL_ACTIVE);
    EXPECT_EQ(WaitForSingleObject(reader, 2000), WAIT_OBJECT_0);
    DWORD code = 0;
    GetExitCodeThread(reader, &code);
    if (terminate) {
      EXPECT_EQ(code, STILL_ACTIVE);
      EXPECT_EQ(job.result, -1) << "a stopped thread never returns into the program";
    } else {
      EXPECT_EQ(job.result, 0);
      EXPECT_EQ(job.error, WSAEINTR);
    }
    CloseHandle(reader);
  }
  EXPECT_TRUE(peer.Send("still"));
  std::string bytes(5, '\0');
  uint32_t count = 5;
  EXPECT_EQ(PortRead(port, &bytes[0], &count), 1) << "the connection survives both";
  EXPECT_EQ(bytes, "still");
}

// Data from a real peer comes in real time: while the program waits on a socket,
// model time passes at the pace of real time and never jumps over the data.
TEST_F(NetworkSimTest, ModelTimeWaitsForARealPeerAtItsPace) {
  LoopbackPeer peer(false);
  Configure(peer.address(), peer.port(), 0);
  ASSERT_EQ(PortOpen(port), 1);
  ASSERT_TRUE(peer.Accept());
  struct Job {
    Port *port;
    char buffer[4];
    uint32_t count;
    int result;
  } job{port, {}, 4, -1};
  DWORD before = GetTickCount();
  HANDLE reader = CreateThread(
      nullptr, 0,
      [](LPVOID parameter) -> DWORD {
        auto *j = static_cast<Job *>(parameter);
        j->result = portDriver.io[PORT_KIND_NETWORK].read(j->port, j->buffer, &j->count);
        return 0;
      },
      &job, 0, nullptr);
  ASSERT_NE(reader, nullptr);
  std::thread late([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // a slow peer, not a wait
    peer.Send("late");
  });
  Sleep(50);  // the reader is in its socket wait by then, in model and in real time
  EXPECT_EQ(WaitForSingleObject(reader, 30000), WAIT_OBJECT_0)
      << "the clock jumped over the peer's data";
  DWORD took = GetTickCount() - before;
  late.join();
  CloseHandle(reader);
  EXPECT_EQ(job.result, 1);
  EXPECT_EQ(std::string(job.buffer, 4), "late");
  EXPECT_GE(took, 250u) << "model time stood still while real time passed";
}

}  // namespace
