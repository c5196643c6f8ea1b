// Slim reader/writer locks, taken exclusively: the lock's word says whether it
// is taken, and changes only under the kernel's lock, so a thread that waits
// for it waits in the model like any other.
#include "internal/kernel.h"
#include "win32_kernel.h"

namespace {

// Threads waiting for some lock, under the kernel's lock: a release wakes the
// model's waiting threads only when one of them may be waiting for it (a
// search that takes and releases a free lock 65,535 times wakes nobody).
int waitingForALock = 0;

}  // namespace

void WINAPI AcquireSRWLockExclusive(PSRWLOCK lock) {
  std::unique_lock<std::mutex> guard(sim::kernelLock);
  // A free lock is taken without a wait, so taking one does not make a thread
  // that never waits in the model hold the clock.
  if (lock->Ptr != nullptr) {
    ++waitingForALock;
    sim::Settle(guard, sim::kNever, sim::RealClock::time_point::max(),
                [&] { return lock->Ptr == nullptr; });
    --waitingForALock;
  }
  lock->Ptr = lock;
}

void WINAPI ReleaseSRWLockExclusive(PSRWLOCK lock) {
  std::lock_guard<std::mutex> guard(sim::kernelLock);
  lock->Ptr = nullptr;
  if (waitingForALock > 0) sim::kernelChanged.notify_all();
}
