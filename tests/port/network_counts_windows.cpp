// What Windows lets a process see of itself: which handle values are open.
// Wine keeps no handle count (GetProcessHandleCount gives 0), so the values
// are asked one by one, as far as a run of a few thousand leaks would reach.
#include <cstdlib>

#include "network_peer.h"

namespace {
constexpr uintptr_t kHighestHandle = 0x10000;
}

LiveCounts TakeLiveCounts() {
  size_t handles = 0;
  for (uintptr_t value = 4; value < kHighestHandle; value += 4) {
    DWORD flags = 0;
    if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) ++handles;
  }
  return LiveCounts{handles, 0, 0, 0};
}

size_t HandleSlack() { return 16; }

// A stopped keep-alive thread has been waited for by the close itself.
void WaitForPortThreads() {}

bool MakeEchoesUnanswered() { return std::getenv("UPDATER_ECHOES_UNANSWERED") != nullptr; }

void SpeedUpClock(double) {}
