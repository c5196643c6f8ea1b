// Timed transfers: the job and its worker, the stop of a worker that outlives
// the time-out, and the device hold that keeps what an unstoppable worker may
// still use.
#include "port_io.h"

#include <cstring>

#include "port_driver.h"
#include "port_failure.h"

// Stopping a thread the port layer started, without ever freeing what it may
// still touch.
namespace {

constexpr DWORD kCancelGraceMs = 500;
// TerminateThread only asks; the thread has ended once its handle is signalled.
constexpr DWORD kTerminateWaitMs = 2000;

// How a stop went: the thread had ended already, left after its blocking I/O
// was cancelled, was terminated, or could not be confirmed ended. Any outcome
// but the last says how the thread was ended, not what it got done: its last
// call may have completed within the grace or just before termination.
enum ThreadStopOutcome {
  THREAD_STOP_ENDED,
  THREAD_STOP_CANCELLED,
  THREAD_STOP_TERMINATED,
  THREAD_STOP_UNCONFIRMED,
};

ThreadStopOutcome StopThreadReporting(HANDLE thread) {
  if (WaitForSingleObject(thread, 0) == WAIT_OBJECT_0) return THREAD_STOP_ENDED;
  CancelSynchronousIo(thread);
  if (WaitForSingleObject(thread, kCancelGraceMs) == WAIT_OBJECT_0) return THREAD_STOP_CANCELLED;
  TerminateThread(thread, STILL_ACTIVE);
  if (WaitForSingleObject(thread, kTerminateWaitMs) == WAIT_OBJECT_0) return THREAD_STOP_TERMINATED;
  return THREAD_STOP_UNCONFIRMED;
}

}  // namespace

int StopThread(HANDLE thread) {
  return StopThreadReporting(thread) != THREAD_STOP_UNCONFIRMED ? 1 : 0;
}

// The held devices: a list of the jobs whose worker could not be stopped, each
// with its port and the worker's thread handle. The thread that gave up on a
// worker adds to it, and whoever opens a device reads it; the port layer never
// stops those threads, so none of them can leave the lock taken.
namespace {

SRWLOCK holdLock = SRWLOCK_INIT;
PortJob *heldJobs = nullptr;  // under holdLock, as are the jobs' hold fields

const char *DeviceNameOf(const Port *port) {
  if (port->kind != PORT_KIND_USB) return "";
  return reinterpret_cast<const UsbPort *>(port)->deviceName;
}

// Takes `job`, whose worker (the handle in job->thread) could not be confirmed
// ended: its port's device is held from now on.
void DeviceHoldAdd(PortJob *job) {
  AcquireSRWLockExclusive(&holdLock);
  job->nextHeld = heldJobs;
  heldJobs = job;
  ReleaseSRWLockExclusive(&holdLock);
}

}  // namespace

void DeviceHoldGiveUp(Port *port) {
  AcquireSRWLockExclusive(&holdLock);
  for (PortJob *job = heldJobs; job != nullptr; job = job->nextHeld)
    if (job->port == port) job->portGivenUp = 1;
  ReleaseSRWLockExclusive(&holdLock);
}

void DeviceHoldRelease(void) {
  PortJob *ended = nullptr;
  AcquireSRWLockExclusive(&holdLock);
  for (PortJob **link = &heldJobs; *link != nullptr;) {
    PortJob *job = *link;
    if (job->portGivenUp && WaitForSingleObject(SlotToHandle(job->thread), 0) == WAIT_OBJECT_0) {
      *link = job->nextHeld;
      job->nextHeld = ended;
      ended = job;
    } else {
      link = &job->nextHeld;
    }
  }
  ReleaseSRWLockExclusive(&holdLock);
  // Outside the lock: a close may wait for the port's notification thread.
  while (ended != nullptr) {
    PortJob *job = ended;
    ended = job->nextHeld;
    job->port->workerMayRun = 0;
    PortDestroy(job->port);
    CloseHandle(SlotToHandle(job->thread));
    PortHeapFree(job);
  }
}

int DeviceHeld(const char *deviceName) {
  int held = 0;
  AcquireSRWLockExclusive(&holdLock);
  for (const PortJob *job = heldJobs; job != nullptr && !held; job = job->nextHeld) {
    const char *name = DeviceNameOf(job->port);
    held = name[0] != 0 && lstrcmpiA(name, deviceName) == 0;
  }
  ReleaseSRWLockExclusive(&holdLock);
  return held;
}

int DeviceHeldRefusal(void) {
  PortNoteFailure("device held by a request that has not ended", 0);
  return 0;
}

// The timed calls.
namespace {

typedef unsigned(WINAPI *JobRoutine)(void *);

// A read or write that moved nothing is made again after a pause that grows
// from 1 ms to this.
constexpr DWORD kEmptyCallPauseMaxMs = 32;

BYTE *JobBytes(PortJob *job) { return reinterpret_cast<BYTE *>(job + 1); }

bool StopAsked(PortJob *job) { return InterlockedCompareExchange(&job->stop, 0, 0) != 0; }

// What every call refuses before it starts anything.
bool Refused(Port *port, const void *data, const uint32_t *count) {
  if (port == nullptr || data == nullptr || count == nullptr || *count == 0) return true;
  if (*count > kPortJobMaxCount) {
    PortNoteFailure("count too large", ERROR_INVALID_PARAMETER);
    return true;
  }
  if (port->workerMayRun) {
    PortNoteFailure("port held by a worker that could not be stopped", 0);
    return true;
  }
  return false;
}

// Moves the whole count through the kind's read or write, either of which may
// move less than asked: a block written in part is not written, so only every
// byte, a failure or the caller's stop ends the run. A call that moved nothing
// is made again after a pause that grows, so a device that keeps answering with
// nothing costs no core.
template <class Entry>
void MoveWholeCount(PortJob *job, Entry move) {
  DWORD pause = 1;
  while (job->count != 0 && !StopAsked(job)) {
    uint32_t moved = job->count;
    job->result = move(job->port, job->data, &moved);
    if (job->result == 0) {
      job->error = GetLastError();
      break;
    }
    if (moved > job->count) moved = job->count;
    job->count -= moved;
    job->data += moved;
    if (moved != 0) {
      pause = 1;
      continue;
    }
    Sleep(pause);
    if (pause < kEmptyCallPauseMaxMs) pause *= 2;
  }
  if (job->count != 0) job->result = 0;
}

}  // namespace

PortJob *PortNewJob(Port *port, uint32_t count) {
  auto *job = static_cast<PortJob *>(
      HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(PortJob) + count));
  if (job == nullptr) return nullptr;
  job->port = port;
  job->data = JobBytes(job);
  job->count = count;
  return job;
}

// Runs the job's worker and waits for it for the port's time-out. Returns 1
// when the worker has ended (on its own or stopped) and the job may be read and
// freed; 0 when it could not be confirmed ended: the job, the port and the
// thread's handle are then the device hold's. `*inTime` says whether the job
// counts by what the worker did: it ended within the time-out, or it was
// stopped having moved every byte.
int PortRunJob(PortJob *job, JobRoutine routine, bool *inTime) {
  *inTime = false;
  uintptr_t started = _beginthreadex(nullptr, 0, routine, job, 0, nullptr);
  if (started == 0) {
    PortNoteFailure("start of the I/O thread", GetLastError());
    return 1;
  }
  HANDLE thread = reinterpret_cast<HANDLE>(started);
  job->thread = HandleToSlot(thread);
  DWORD timeout = static_cast<DWORD>(job->port->timeoutSeconds) * 1000;
  ThreadStopOutcome outcome = THREAD_STOP_ENDED;
  if (WaitForSingleObject(thread, timeout) == WAIT_OBJECT_0) {
    *inTime = true;
  } else {
    // Before the cancel: a worker between two driver calls ends by itself.
    InterlockedExchange(&job->stop, 1);
    outcome = StopThreadReporting(thread);
    // A stopped worker whose last call moved the last byte, as the wait ran
    // out, within the cancel's grace or as it was terminated, has done the
    // job: the image's last block may be the one, and a time-out would have
    // Retry send the whole image again. One that left because of the stop, or
    // was cut off, has bytes missing.
    if (outcome != THREAD_STOP_UNCONFIRMED && job->count == 0 && job->result != 0) *inTime = true;
  }
  if (outcome == THREAD_STOP_UNCONFIRMED) {
    job->port->workerMayRun = 1;
    DeviceHoldAdd(job);
    PortNoteFailure("time-out, worker could not be stopped", 0);
    return 0;
  }
  CloseHandle(thread);
  if (!*inTime)
    PortNoteFailure(
        outcome == THREAD_STOP_TERMINATED ? "time-out, stopped by termination" : "time-out", 0);
  return 1;
}

unsigned WINAPI PortWriteWorker(void *parameter) {
  auto *job = static_cast<PortJob *>(parameter);
  MoveWholeCount(job, portDriver.io[job->port->kind].write);
  return 0;
}

unsigned WINAPI PortReadWorker(void *parameter) {
  auto *job = static_cast<PortJob *>(parameter);
  MoveWholeCount(job, portDriver.io[job->port->kind].read);
  return 0;
}

int PortWrite(Port *port, const void *data, const uint32_t *count) {
  if (Refused(port, data, count)) return 0;
  uint32_t size = *count;
  PortJob *job = PortNewJob(port, size);
  if (job == nullptr) {
    PortNoteFailure("allocation", GetLastError());
    return 0;
  }
  std::memcpy(JobBytes(job), data, size);
  bool inTime = false;
  if (!PortRunJob(job, PortWriteWorker, &inTime)) return 0;  // the job is the device hold's now
  int result = inTime ? job->result : 0;
  if (inTime && result == 0) PortNoteFailure("write", job->error);
  PortHeapFree(job);
  return result;
}

int PortRead(Port *port, void *buffer, const uint32_t *count) {
  if (Refused(port, buffer, count)) return 0;
  uint32_t size = *count;
  PortJob *job = PortNewJob(port, size);
  if (job == nullptr) {
    PortNoteFailure("allocation", GetLastError());
    return 0;
  }
  bool inTime = false;
  if (!PortRunJob(job, PortReadWorker, &inTime)) return 0;  // the job is the device hold's now
  // The worker has ended: what it read is final, and only now reaches the caller.
  uint32_t arrived = size - job->count;
  std::memcpy(buffer, JobBytes(job), arrived);
  int result = inTime && job->count == 0 && job->result != 0 ? 1 : 0;
  if (inTime && result == 0) PortNoteFailure("read", job->error);
  PortHeapFree(job);
  return result;
}
