// Threads, waits and sleeps. A model thread is a std::thread running the
// routine; its kernel object outlives it for as long as a handle refers to it.
#include <unistd.h>

#include <map>
#include <thread>
#include <vector>

#include "internal/faults.h"
#include "internal/kernel.h"
#include "win32_devices.h"
#include "win32_kernel.h"

namespace sim {
namespace {

// Everything but the id is under kernelLock.
struct Thread : KernelObject {
  Thread() : KernelObject(Kind::thread) {}
  bool running = true;
  DWORD exitCode = STILL_ACTIVE;
  DWORD id = 0;
  bool inIo = false;  // blocked in a synchronous I/O call
  bool ioCancelled = false;
  bool stopped = false;  // TerminateThread was called
  DWORD stopCode = 0;
  int wakeFd = -1;  // while blocked in a socket's poll
};

// With kernelLock held: a thread blocked in poll does not see kernelChanged.
void WakePoll(const Thread &thread) {
  if (thread.wakeFd < 0) return;
  uint64_t one = 1;
  ssize_t written = write(thread.wakeFd, &one, sizeof one);
  (void)written;  // a full counter already wakes it
}

// Thrown to leave a thread's routine without returning into it: by
// _endthreadex, and at a stop point of a stopped thread. Deliberately not
// derived from std::exception, so no handler in the program mistakes it.
struct ThreadExit {
  DWORD code;
};

thread_local Thread *currentThread = nullptr;

size_t liveThreads = 0;  // under kernelLock
std::atomic<DWORD> nextThreadId{0x100};
thread_local DWORD currentThreadId = 0;

// The system threads behind the model's, by id, under kernelLock, and those
// whose routine has ended. Waiting for quiet joins the ended ones, so that when
// it returns none of them is still being torn down: a leak check right after
// would take a half-exited thread's memory for lost. Never destroyed: a thread
// nobody waited for is still joinable at exit.
std::map<DWORD, std::thread> &SystemThreads() {
  static auto *threads = new std::map<DWORD, std::thread>;
  return *threads;
}
std::vector<DWORD> endedThreads;

// With kernelLock held: the system threads of the ended ones, to be joined
// once the lock is let go.
std::vector<std::thread> TakeEndedThreads() {
  std::vector<std::thread> ended;
  for (DWORD id : endedThreads) {
    auto found = SystemThreads().find(id);
    if (found == SystemThreads().end()) continue;
    ended.push_back(std::move(found->second));
    SystemThreads().erase(found);
  }
  endedThreads.clear();
  return ended;
}

void RunThread(std::shared_ptr<Thread> self, LPTHREAD_START_ROUTINE start, LPVOID parameter) {
  currentThreadId = self->id;
  currentThread = self.get();
  EnrolAsModelThread();
  DWORD code;
  try {
    code = start(parameter);
  } catch (const ThreadExit &exit) {
    code = exit.code;
  }
  std::lock_guard<std::mutex> guard(kernelLock);
  if (self->stopped) code = self->stopCode;
  self->exitCode = code;
  self->running = false;
  endedThreads.push_back(self->id);
  --liveThreads;
  kernelChanged.notify_all();
  ReleaseClockAtThreadEnd();
}

HANDLE StartThread(LPTHREAD_START_ROUTINE start, LPVOID parameter, DWORD flags, LPDWORD threadId) {
  if (start == nullptr) {
    SetLastErrorValue(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  // Suspended creation is not modelled: the program never asks for it.
  if (flags & CREATE_SUSPENDED) {
    SetLastErrorValue(ERROR_NOT_SUPPORTED);
    return nullptr;
  }
  if (TakeFault(Fault::threadCreation)) {
    SetLastErrorValue(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  auto thread = std::make_shared<Thread>();
  thread->id = nextThreadId.fetch_add(4);
  if (threadId != nullptr) *threadId = thread->id;
  HANDLE handle = InsertHandle(thread);
  // Those that have ended are joined here too, or a program that starts
  // thousands of threads without a wait for quiet (a benchmark's loop of timed
  // writes) would keep every one's stack until the system refused the next.
  std::vector<std::thread> ended;
  {
    std::lock_guard<std::mutex> guard(kernelLock);
    ++liveThreads;
    HoldClockForNewThread();
    SystemThreads().emplace(thread->id, std::thread(RunThread, thread, start, parameter));
    ended = TakeEndedThreads();
  }
  for (std::thread &system : ended) system.join();
  return handle;
}

std::shared_ptr<Thread> LookUpThread(HANDLE handle) {
  std::shared_ptr<KernelObject> object = LookUpHandle(handle);
  if (!object || object->kind != KernelObject::Kind::thread) return nullptr;
  return std::static_pointer_cast<Thread>(object);
}

// The runtime's routines return unsigned and take void *; bridge them to the
// kernel's shape.
struct RuntimeStart {
  unsigned (*start)(void *);
  void *argument;
};

DWORD WINAPI RunRuntimeStart(LPVOID parameter) {
  RuntimeStart launch = *static_cast<RuntimeStart *>(parameter);
  delete static_cast<RuntimeStart *>(parameter);
  return launch.start(launch.argument);
}

// With kernelLock held: leave if this thread has been stopped.
void LeaveIfStopped(std::unique_lock<std::mutex> &lock) {
  if (currentThread == nullptr || !currentThread->stopped) return;
  DWORD code = currentThread->stopCode;
  lock.unlock();
  throw ThreadExit{code};
}

}  // namespace

bool BlockUntil(std::unique_lock<std::mutex> &lock, ModelTime deadline,
                const std::function<bool()> &ready) {
  Thread *self = currentThread;
  Settle(lock, deadline, RealClock::time_point::max(),
         [&] { return ready() || (self != nullptr && self->stopped); });
  LeaveIfStopped(lock);
  return ready();
}

bool BlockUntilReal(std::unique_lock<std::mutex> &lock, RealClock::time_point realLimit,
                    const std::function<bool()> &ready) {
  Thread *self = currentThread;
  Settle(lock, kNever, realLimit, [&] { return ready() || (self != nullptr && self->stopped); });
  LeaveIfStopped(lock);
  return ready();
}

bool BlockInIo(std::unique_lock<std::mutex> &lock, const std::function<bool()> &ready,
               ModelTime deadline) {
  Thread *self = currentThread;
  if (self == nullptr) {
    Settle(lock, deadline, RealClock::time_point::max(), ready);
    return true;
  }
  self->inIo = true;
  self->ioCancelled = false;
  Settle(lock, deadline, RealClock::time_point::max(),
         [&] { return ready() || self->ioCancelled || self->stopped; });
  self->inIo = false;
  LeaveIfStopped(lock);
  bool cancelled = self->ioCancelled && !ready();
  self->ioCancelled = false;
  return !cancelled;
}

void StopPoint() {
  std::unique_lock<std::mutex> lock(kernelLock);
  LeaveIfStopped(lock);
}

void EnterPoll(int wakeFd) {
  std::unique_lock<std::mutex> lock(kernelLock);
  LeaveIfStopped(lock);
  if (currentThread == nullptr) return;
  currentThread->inIo = true;
  currentThread->ioCancelled = false;
  currentThread->wakeFd = wakeFd;
}

bool LeavePoll() {
  std::unique_lock<std::mutex> lock(kernelLock);
  Thread *self = currentThread;
  if (self == nullptr) return true;
  self->inIo = false;
  self->wakeFd = -1;
  LeaveIfStopped(lock);
  bool cancelled = self->ioCancelled;
  self->ioCancelled = false;
  return !cancelled;
}

size_t LiveThreadCount() {
  std::lock_guard<std::mutex> guard(kernelLock);
  return liveThreads;
}

bool WaitForNoThreads(DWORD realMilliseconds) {
  std::unique_lock<std::mutex> lock(kernelLock);
  bool quiet = Settle(lock, kNever, RealClock::now() + std::chrono::milliseconds(realMilliseconds),
                      [] { return liveThreads == 0; });
  std::vector<std::thread> ended = TakeEndedThreads();
  lock.unlock();
  for (std::thread &thread : ended) thread.join();
  return quiet;
}

}  // namespace sim

HANDLE WINAPI CreateThread(LPSECURITY_ATTRIBUTES, SIZE_T, LPTHREAD_START_ROUTINE start,
                           LPVOID parameter, DWORD flags, LPDWORD threadId) {
  return sim::StartThread(start, parameter, flags, threadId);
}

uintptr_t _beginthreadex(void *, unsigned, unsigned (*start)(void *), void *argument,
                         unsigned flags, unsigned *threadId) {
  if (start == nullptr) return 0;
  auto *launch = new sim::RuntimeStart{start, argument};
  DWORD id = 0;
  HANDLE handle = sim::StartThread(sim::RunRuntimeStart, launch, flags, &id);
  if (handle == nullptr) {
    delete launch;
    return 0;
  }
  if (threadId != nullptr) *threadId = id;
  return reinterpret_cast<uintptr_t>(handle);
}

void _endthreadex(unsigned exitCode) { throw sim::ThreadExit{exitCode}; }

DWORD WINAPI WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
  std::shared_ptr<sim::Thread> thread = sim::LookUpThread(handle);
  DWORD result = WAIT_FAILED;
  if (!thread && sim::WaitForEvent(handle, milliseconds, result)) return result;
  if (!thread) {
    sim::SetLastErrorValue(ERROR_INVALID_HANDLE);
    return WAIT_FAILED;
  }
  bool late = sim::TakeFault(sim::Fault::lateWait);
  sim::ModelTime deadline = sim::DeadlineAfter(late ? INFINITE : milliseconds);
  std::unique_lock<std::mutex> lock(sim::kernelLock);
  bool ended = sim::BlockUntil(lock, deadline, [&] { return !thread->running; });
  return ended && !late ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
}

BOOL WINAPI GetExitCodeThread(HANDLE handle, LPDWORD exitCode) {
  std::shared_ptr<sim::Thread> thread = sim::LookUpThread(handle);
  if (!thread || exitCode == nullptr) {
    sim::SetLastErrorValue(thread ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
    return FALSE;
  }
  std::lock_guard<std::mutex> guard(sim::kernelLock);
  *exitCode = thread->exitCode;
  return TRUE;
}

DWORD WINAPI GetCurrentThreadId(void) {
  if (sim::currentThreadId == 0) sim::currentThreadId = sim::nextThreadId.fetch_add(4);
  return sim::currentThreadId;
}

void WINAPI Sleep(DWORD milliseconds) {
  if (milliseconds == 0) {
    sim::StopPoint();
    std::this_thread::yield();
    return;
  }
  sim::ModelTime deadline = sim::DeadlineAfter(milliseconds);
  std::unique_lock<std::mutex> lock(sim::kernelLock);
  sim::BlockUntil(lock, deadline, [] { return false; });
}

BOOL WINAPI CancelSynchronousIo(HANDLE handle) {
  std::shared_ptr<sim::Thread> thread = sim::LookUpThread(handle);
  if (!thread) {
    sim::SetLastErrorValue(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  std::lock_guard<std::mutex> guard(sim::kernelLock);
  if (!thread->inIo) {
    sim::SetLastErrorValue(ERROR_NOT_FOUND);
    return FALSE;
  }
  thread->ioCancelled = true;
  sim::WakePoll(*thread);
  sim::kernelChanged.notify_all();
  return TRUE;
}

// Windows stops the thread wherever it stands; the model stops it at its next
// stop point (any blocking model call), and does not wait for it either.
BOOL WINAPI TerminateThread(HANDLE handle, DWORD exitCode) {
  std::shared_ptr<sim::Thread> thread = sim::LookUpThread(handle);
  if (!thread) {
    sim::SetLastErrorValue(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  std::lock_guard<std::mutex> guard(sim::kernelLock);
  if (thread->running && !thread->stopped) {
    thread->stopped = true;
    thread->stopCode = exitCode;
    sim::WakePoll(*thread);
    sim::kernelChanged.notify_all();
  }
  return TRUE;
}
