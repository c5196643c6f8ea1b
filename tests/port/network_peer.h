// The far end of a network port in the tests: a listening socket on a loopback
// port of the system's choosing, and the one connection it accepts. It keeps
// a Winsock start-up of its own, so the ports' clean-ups never close it.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "network_listener.h"
#include "platform/win32.h"

class LoopbackPeer {
 public:
  explicit LoopbackPeer(bool ipv6, bool listening = true) : ipv6_(ipv6) {
    WSADATA data;
    started_ = WSAStartup(0x0202, &data) == 0;
    listener_ = ListenOnLoopback(ipv6, listening, &port_);
  }
  ~LoopbackPeer() {
    CloseConnection();
    if (listener_ != INVALID_SOCKET) closesocket(listener_);
    if (started_) WSACleanup();
  }
  LoopbackPeer(const LoopbackPeer &) = delete;
  LoopbackPeer &operator=(const LoopbackPeer &) = delete;

  const char *address() const { return ipv6_ ? "::1" : "127.0.0.1"; }
  uint16_t port() const { return port_; }

  bool Accept() {
    CloseConnection();
    connection_ = accept(listener_, nullptr, nullptr);
    return connection_ != INVALID_SOCKET;
  }

  bool Send(const std::string &bytes) {
    return send(connection_, bytes.data(), static_cast<int>(bytes.size()), 0) ==
           static_cast<int>(bytes.size());
  }

  // Exactly `count` bytes, or what came before the connection ended.
  std::string Receive(size_t count) {
    std::string bytes(count, '\0');
    size_t got = 0;
    while (got < count) {
      int moved = recv(connection_, &bytes[got], static_cast<int>(count - got), 0);
      if (moved <= 0) break;
      got += static_cast<size_t>(moved);
    }
    bytes.resize(got);
    return bytes;
  }

  void CloseConnection() {
    if (connection_ == INVALID_SOCKET) return;
    shutdown(connection_, SD_BOTH);
    closesocket(connection_);
    connection_ = INVALID_SOCKET;
  }

 private:
  bool ipv6_;
  bool started_ = false;
  SOCKET listener_ = INVALID_SOCKET;
  SOCKET connection_ = INVALID_SOCKET;
  uint16_t port_ = 0;
};

// Counts of what a port could leave behind. Natively the model's: handles,
// threads, heap blocks and sockets; on Windows the process's handle count,
// which covers threads, events and sockets alike.
struct LiveCounts {
  size_t handles;
  size_t threads;
  size_t heapBlocks;
  size_t sockets;
};
LiveCounts TakeLiveCounts();
// How many more handles than before a run may end with on this platform:
// Windows keeps a few of its own (thread pools, the ICMP service's), once.
size_t HandleSlack();
// Waits until the threads the ports started have ended, where that can be seen.
void WaitForPortThreads();
// Makes echoes to the loopback peer go unanswered, where that can be done:
// natively by the model's switch; on Windows only when the test runs in a
// network of its own that ignores echoes (as its runner says in the
// environment). False when it cannot.
bool MakeEchoesUnanswered();
// Natively, model time runs `factor` times faster; elsewhere nothing.
void SpeedUpClock(double factor);
