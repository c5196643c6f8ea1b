// Slim reader/writer locks, taken exclusively: the lock's word says whether it
// is taken, and changes only under the kernel's lock, so a thread that waits
// for it waits in the model like any other.
#include "internal/kernel.h"
#include "win32_kernel.h"

void WINAPI AcquireSRWLockExclusive(PSRWLOCK lock) {
  std::unique_lock<std::mutex> guard(sim::kernelLock);
  // A free lock is taken without a wait, so taking one does not make a thread
  // that never waits in the model hold the clock.
  if (lock->Ptr != nullptr)
    sim::Settle(guard, sim::kNever, sim::RealClock::time_point::max(),
                [&] { return lock->Ptr == nullptr; });
  lock->Ptr = lock;
}

void WINAPI ReleaseSRWLockExclusive(PSRWLOCK lock) {
  std::lock_guard<std::mutex> guard(sim::kernelLock);
  lock->Ptr = nullptr;
  sim::kernelChanged.notify_all();
}
