// One ICMP echo to the peer, over the system's echo service.
#include "network_transport.h"
#include "port_heap.h"

namespace {
const char kEchoPayload[] = "ICMP SEND DATA";
constexpr WORD kEchoPayloadSize = sizeof kEchoPayload - 1;  // without the terminator
constexpr DWORD kReplySize = kEchoPayloadSize + 29;
constexpr DWORD kEchoWaitMs = 1000;
}  // namespace

int IcmpEcho(const char *address, int32_t ipv6) {
  // The echo service speaks IPv4 only: an IPv6 peer is taken as answering.
  if (ipv6 == 1) return 1;
  HANDLE icmp = IcmpCreateFile();
  void *reply = HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, kReplySize);
  if (reply == nullptr) {
    if (icmp != INVALID_HANDLE_VALUE) IcmpCloseHandle(icmp);
    return 0;
  }
  DWORD replies = IcmpSendEcho(icmp, inet_addr(address), const_cast<char *>(kEchoPayload),
                               kEchoPayloadSize, nullptr, reply, kReplySize, kEchoWaitMs);
  int answered = replies != 0 && static_cast<ICMP_ECHO_REPLY *>(reply)->Status == IP_SUCCESS;
  if (icmp != INVALID_HANDLE_VALUE) IcmpCloseHandle(icmp);
  PortHeapFree(reply);
  return answered ? 1 : 0;
}
