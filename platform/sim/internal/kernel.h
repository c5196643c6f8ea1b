// The model's kernel: one lock and one condition for every blocking call, the
// clock, the handle table and the per-thread record. Shared by the model's
// areas; product code never sees it.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

#include "../win32_types.h"

namespace sim {

using RealClock = std::chrono::steady_clock;

// Every state change a blocked call may be waiting for (a thread ending, a
// clock speed change) is made under kernelLock and announced on kernelChanged.
extern std::mutex kernelLock;
extern std::condition_variable kernelChanged;

// The model's clock: milliseconds that run `speed` times faster than real ones.
uint64_t NowMs();
void SetClockSpeed(double speed);
// The real moment at which `milliseconds` of model time from now have passed;
// INFINITE gives a moment that never comes.
RealClock::time_point RealDeadline(DWORD milliseconds);

// Where a thread can be stopped. A stopped model thread leaves through forced
// unwinding from inside the model call it is in (or the next one it makes) and
// never returns into the program. Threads not started through the model (the
// tests' own) are never stopped.
//
// Waits, with kernelLock held through `lock`, until ready() or the deadline.
// Returns ready(). Unwinds if the calling thread is stopped meanwhile.
bool BlockUntil(std::unique_lock<std::mutex> &lock, RealClock::time_point deadline,
                const std::function<bool()> &ready);

// Blocks in a synchronous I/O call, with kernelLock held through `lock`, until
// ready(). Returns false if CancelSynchronousIo cancelled the call first (the
// call then fails with ERROR_OPERATION_ABORTED); unwinds if the thread is stopped.
bool BlockInIo(std::unique_lock<std::mutex> &lock, const std::function<bool()> &ready);

// Unwinds if the calling thread has been stopped; every model call that can
// take time calls it on entry.
void StopPoint();

// For calls that block in the host's poll instead of on kernelChanged (sockets):
// between EnterPoll and LeavePoll, a cancel or a stop of the calling thread
// writes to `wakeFd` (an eventfd the poll watches). LeavePoll unwinds if the
// thread was stopped and returns false if its I/O was cancelled.
void EnterPoll(int wakeFd);
bool LeavePoll();

// WaitForSingleObject on an object that is not a thread (events.cpp): false
// when `handle` is no event either.
bool WaitForEvent(HANDLE handle, DWORD milliseconds, DWORD &result);

// Kernel objects live in the handle table until their last handle is closed.
struct KernelObject {
  enum class Kind { thread, device, ui, event, net };
  explicit KernelObject(Kind k) : kind(k) {}
  virtual ~KernelObject() = default;
  const Kind kind;
};

HANDLE InsertHandle(std::shared_ptr<KernelObject> object);
std::shared_ptr<KernelObject> LookUpHandle(HANDLE handle);
bool RemoveHandle(HANDLE handle);
size_t HandleCount();
// CloseHandle calls refused so far: a handle closed twice, or never opened.
extern std::atomic<size_t> failedCloses;

size_t LiveThreadCount();
// Waits, in real time, until no thread started through the model runs.
bool WaitForNoThreads(DWORD realMilliseconds);

void SetLastErrorValue(DWORD error);

}  // namespace sim
