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

// Every state change a blocked call may be waiting for (a thread ending, the
// clock moving) is made under kernelLock and announced on kernelChanged.
extern std::mutex kernelLock;
extern std::condition_variable kernelChanged;

// The model's clock, in milliseconds since the machine started. Virtual unless
// real time is asked for: see clock.cpp.
using ModelTime = uint64_t;
constexpr ModelTime kNever = ~ModelTime(0);
ModelTime NowMs();
// The moment `milliseconds` from now (kNever for INFINITE).
ModelTime DeadlineAfter(DWORD milliseconds);
void UseRealTime(bool real);

// Who holds the clock, all with kernelLock held. A thread that starts another
// holds the clock for it until it runs; a model thread's own record says so
// from its start; its end lets the clock go.
void HoldClockForNewThread();
void EnrolAsModelThread();
void ReleaseClockAtThreadEnd();
// Moves the clock to the next deadline if every thread waits and none is
// about to run.
void MoveClockIfAllWait();

// The one place a thread waits in the model, with kernelLock held through
// `lock`: until wake(), the model moment `deadline`, or the real moment
// `realLimit` (a limit of the test bench's, never of the program's). Returns
// wake(). Meanwhile the thread does not hold the clock.
bool Settle(std::unique_lock<std::mutex> &lock, ModelTime deadline, RealClock::time_point realLimit,
            const std::function<bool()> &wake);

// A wait on a descriptor whose data comes from outside the model (a socket),
// without kernelLock. Such a wait neither holds the clock nor lets it jump:
// while one lasts, model time passes with real time, whoever runs meanwhile,
// so data on its way arrives at the model moment it would on a machine, and a
// silent peer still times out. PassRealTime moves the clock on by the real
// time since it last moved, and says for how many real milliseconds to poll
// next: 0 once `deadline` has come.
void *BeginRealIo(ModelTime deadline);
int PassRealTime(void *record);
void EndRealIo(void *record);

// Where a thread can be stopped. A stopped model thread leaves through forced
// unwinding from inside the model call it is in (or the next one it makes) and
// never returns into the program. Threads not started through the model (the
// tests' own) are never stopped.
//
// Waits, with kernelLock held through `lock`, until ready() or the model
// moment `deadline`. Returns ready(). Unwinds if the calling thread is stopped
// meanwhile.
bool BlockUntil(std::unique_lock<std::mutex> &lock, ModelTime deadline,
                const std::function<bool()> &ready);
// The same for the test bench's waits, bounded in real time.
bool BlockUntilReal(std::unique_lock<std::mutex> &lock, RealClock::time_point realLimit,
                    const std::function<bool()> &ready);

// Blocks in a synchronous I/O call, with kernelLock held through `lock`, until
// ready() or `deadline`. Returns false if CancelSynchronousIo cancelled the call
// first (the call then fails with ERROR_OPERATION_ABORTED); unwinds if the
// thread is stopped.
bool BlockInIo(std::unique_lock<std::mutex> &lock, const std::function<bool()> &ready,
               ModelTime deadline = kNever);

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
  enum class Kind { thread, device, ui, event, net, mutex, crypto, console, file };
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

// The standard output the world may give the program (process.cpp): WriteFile
// on it keeps the bytes for the world.
bool IsStandardOutput(HANDLE handle);
BOOL WriteStandardOutput(const void *bytes, DWORD size, LPDWORD written);

// Back to no command line arguments and no standard output.
void ResetProcess();

// The starter's console (console.cpp): its output, opened as CONOUT$.
bool IsConsoleOutput(HANDLE handle);
BOOL WriteConsoleOutput(const void *bytes, DWORD size, LPDWORD written);
HANDLE OpenConsoleOutput();
// Back to no console, no handlers.
void ResetConsole();

// Files on the model's disk (disk_files.cpp): WriteFile on one writes into it.
bool IsDiskFile(HANDLE handle);
BOOL WriteDiskFile(HANDLE handle, const void *bytes, DWORD size, LPDWORD written);
// Back to a disk with no folders and no files.
void ResetDisk();

}  // namespace sim
