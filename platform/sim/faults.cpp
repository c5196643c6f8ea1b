#include "internal/faults.h"

#include <atomic>

namespace sim {
namespace {
// Per fault: how many more calls pass before the armed one; 0 means not armed.
std::atomic<unsigned> countdown[static_cast<int>(Fault::count)];
std::atomic<unsigned> made[static_cast<int>(Fault::count)];
}  // namespace

void ArmFault(Fault fault, unsigned nth) { countdown[static_cast<int>(fault)] = nth; }

bool TakeFault(Fault fault) {
  ++made[static_cast<int>(fault)];
  std::atomic<unsigned> &left = countdown[static_cast<int>(fault)];
  unsigned seen = left.load();
  while (seen != 0) {
    if (left.compare_exchange_weak(seen, seen - 1)) return seen == 1;
  }
  return false;
}

unsigned CallsMade(Fault fault) { return made[static_cast<int>(fault)]; }

void ClearFaults() {
  for (auto &left : countdown) left = 0;
  for (auto &count : made) count = 0;
}

}  // namespace sim
