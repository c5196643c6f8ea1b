// The keep-alive thread: an ICMP echo to the peer every 6 seconds, the port's
// callback told 1 on each one that fails.
#include <cstring>

#include "network_transport.h"
#include "port_heap.h"
#include "thread_stop.h"

KeepAliveParams keepAliveParams;

namespace {

constexpr DWORD kEchoIntervalMs = 6000;
// A thread stopped in the middle of an echo could hold the heap's lock, so it
// is asked through its event first and terminated only past this bound.
constexpr DWORD kStopWaitMs = 2000;

void FreeKeepAlive(KeepAlive *keepAlive) {
  if (keepAlive == nullptr) return;
  if (keepAlive->stopEvent != nullptr) CloseHandle(keepAlive->stopEvent);
  PortHeapFree(keepAlive->address);
  PortHeapFree(keepAlive);
}

// The record a thread owns, from the hand-over values, with the text copied
// whole whatever its length.
KeepAlive *MakeKeepAlive(const KeepAliveParams *params) {
  auto *keepAlive = PortHeapAlloc<KeepAlive>();
  if (keepAlive == nullptr) return nullptr;
  const char *address = reinterpret_cast<const char *>(static_cast<uintptr_t>(params->address));
  size_t size = std::strlen(address) + 1;
  keepAlive->address = static_cast<char *>(HeapAlloc(GetProcessHeap(), 0, size));
  keepAlive->stopEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (keepAlive->address == nullptr || keepAlive->stopEvent == nullptr) {
    FreeKeepAlive(keepAlive);
    return nullptr;
  }
  std::memcpy(keepAlive->address, address, size);
  keepAlive->callback =
      reinterpret_cast<PortEventCallback>(static_cast<uintptr_t>(params->callback));
  keepAlive->ipv6 = static_cast<int32_t>(params->ipv6);
  return keepAlive;
}

}  // namespace

DWORD WINAPI KeepAliveThread(LPVOID parameter) {
  const KeepAlive *keepAlive = static_cast<const KeepAlive *>(parameter);
  DWORD lastEcho = 0;
  for (;;) {
    // Whole seconds past 5, as the tick counter wraps: the first echo goes out
    // at once unless the system is younger than 6 seconds.
    DWORD since = GetTickCount() - lastEcho;
    if (since / 1000 > 5) {
      lastEcho = GetTickCount();
      if (!IcmpEcho(keepAlive->address, keepAlive->ipv6) && keepAlive->callback != nullptr)
        keepAlive->callback(1);
      continue;
    }
    if (WaitForSingleObject(keepAlive->stopEvent, kEchoIntervalMs - since) == WAIT_OBJECT_0)
      return 0;
  }
}

int KeepAliveStart(const KeepAliveParams *params, HANDLE *thread, KeepAlive **keepAlive) {
  *thread = nullptr;
  *keepAlive = MakeKeepAlive(params);
  if (*keepAlive == nullptr) return 0;
  *thread = CreateThread(nullptr, 0, KeepAliveThread, *keepAlive, 0, nullptr);
  if (*thread == nullptr) {
    FreeKeepAlive(*keepAlive);
    *keepAlive = nullptr;
    return 0;
  }
  return 1;
}

void KeepAliveStop(HANDLE thread, KeepAlive *keepAlive) {
  if (keepAlive != nullptr) SetEvent(keepAlive->stopEvent);
  int ended = WaitForSingleObject(thread, kStopWaitMs) == WAIT_OBJECT_0 || StopThread(thread);
  CloseHandle(thread);
  // A thread that could not be confirmed ended may still read its record.
  if (ended) FreeKeepAlive(keepAlive);
}
