// What a timed write costs over loopback TCP: PortWrite of an image block on a
// network port against plain send calls of the same size from one thread.
#include <benchmark/benchmark.h>

#include <cstring>
#include <thread>
#include <vector>

#include "port/port.h"
#include "port/port_io.h"
#include "tests/port/network_listener.h"

namespace {

constexpr uint32_t kBlock = 65472;

// A peer on 127.0.0.1 that takes one connection and reads everything sent to
// it, so the sender is never held up by a full window.
class Sink {
 public:
  Sink() {
    WSADATA data;
    WSAStartup(0x0202, &data);
    listener_ = ListenOnLoopback(false, true, &port_);
    reader_ = std::thread([this] {
      SOCKET connection = accept(listener_, nullptr, nullptr);
      std::vector<char> buffer(1 << 20);
      while (recv(connection, buffer.data(), int(buffer.size()), 0) > 0) {
      }
      closesocket(connection);
    });
  }
  ~Sink() {
    reader_.join();
    closesocket(listener_);
    WSACleanup();
  }
  uint16_t port() const { return port_; }

 private:
  SOCKET listener_;
  uint16_t port_ = 0;
  std::thread reader_;
};

void PlainSend(benchmark::State &state) {
  std::vector<char> block(kBlock, 0x5A);
  {
    Sink sink;
    SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address;
    std::memset(&address, 0, sizeof address);
    address.sin_family = AF_INET;
    address.sin_port = htons(sink.port());
    address.sin_addr.s_addr = inet_addr("127.0.0.1");
    connect(s, reinterpret_cast<const sockaddr *>(&address), sizeof address);
    for (auto _ : state) benchmark::DoNotOptimize(send(s, block.data(), int(kBlock), 0));
    shutdown(s, SD_BOTH);
    closesocket(s);
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * kBlock);
}
BENCHMARK(PlainSend)->Unit(benchmark::kMicrosecond);

void NetworkPortWrite(benchmark::State &state) {
  std::vector<BYTE> block(kBlock, 0x5A);
  Sink sink;
  Port *port = nullptr;
  PortCreate(&port, PORT_KIND_NETWORK);
  PortSetHostAddress(port, "127.0.0.1");
  PortSetTcpPort(port, sink.port());
  PortSetTimeout(port, 30);
  if (PortOpen(port) != 1) state.SkipWithError("the port did not connect");
  for (auto _ : state) {
    uint32_t count = kBlock;
    benchmark::DoNotOptimize(PortWrite(port, block.data(), &count));
  }
  PortDestroy(port);
  state.SetBytesProcessed(int64_t(state.iterations()) * kBlock);
}
BENCHMARK(NetworkPortWrite)->Unit(benchmark::kMicrosecond);

}  // namespace
