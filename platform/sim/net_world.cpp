// The world's switches over the model's network.
#include <atomic>

#include "internal/net.h"
#include "win32_net.h"
#include "world_net.h"

namespace sim {
namespace {
std::atomic<bool> echoesAnswered{true};
std::atomic<ULONG> echoReplyStatus{IP_SUCCESS};
std::atomic<bool> ipv6Conversion{true};
std::atomic<bool> winsockReady{true};
}  // namespace

bool EchoesAnswered() { return echoesAnswered; }
ULONG EchoReplyStatus() { return echoReplyStatus; }
bool Ipv6ConversionAvailable() { return ipv6Conversion; }
bool WinsockReady() { return winsockReady; }

void ResetNet() {
  echoesAnswered = true;
  echoReplyStatus = IP_SUCCESS;
  ipv6Conversion = true;
  winsockReady = true;
}

}  // namespace sim

namespace world {
void SetEchoesAnswered(bool answered) { sim::echoesAnswered = answered; }
void SetEchoReplyStatus(unsigned long status) { sim::echoReplyStatus = ULONG(status); }
void SetIpv6ConversionAvailable(bool available) { sim::ipv6Conversion = available; }
void SetWinsockReady(bool ready) { sim::winsockReady = ready; }
size_t LiveSockets() { return sim::LiveSocketCount(); }
}  // namespace world
