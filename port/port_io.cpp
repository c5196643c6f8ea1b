#include "port_io.h"

#include <cstring>

#include "port_driver.h"
#include "port_failure.h"
#include "port_heap.h"
#include "thread_stop.h"

namespace {

typedef unsigned(WINAPI *JobRoutine)(void *);

// A read that delivered nothing is asked again after a pause that grows from
// 1 ms to this, so a device that keeps answering with nothing costs no core.
constexpr DWORD kEmptyReadPauseMaxMs = 32;

BYTE *JobBytes(PortJob *job) { return reinterpret_cast<BYTE *>(job + 1); }

bool StopAsked(PortJob *job) { return InterlockedCompareExchange(&job->stop, 0, 0) != 0; }

PortJob *NewJob(Port *port, uint32_t count) {
  auto *job = static_cast<PortJob *>(
      HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(PortJob) + count));
  if (job == nullptr) return nullptr;
  job->port = port;
  job->data = JobBytes(job);
  job->count = count;
  return job;
}

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

// Runs the job's worker and waits for it for the port's time-out. Returns 1
// when the worker has ended (on its own or stopped) and the job may be read and
// freed; 0 when it could not be confirmed ended: the job and the port must then
// be left alone.
int RunJob(PortJob *job, JobRoutine routine, bool *inTime) {
  *inTime = false;
  uintptr_t started = _beginthreadex(nullptr, 0, routine, job, 0, nullptr);
  if (started == 0) {
    PortNoteFailure("start of the I/O thread", GetLastError());
    return 1;
  }
  HANDLE thread = reinterpret_cast<HANDLE>(started);
  job->thread = static_cast<uint64_t>(started);
  DWORD timeout = static_cast<DWORD>(job->port->timeoutSeconds) * 1000;
  ThreadStopOutcome outcome = THREAD_STOP_ENDED;
  if (WaitForSingleObject(thread, timeout) == WAIT_OBJECT_0) {
    *inTime = true;
  } else {
    // Before the cancel: a worker between two driver calls ends by itself.
    InterlockedExchange(&job->stop, 1);
    outcome = StopThreadReporting(thread);
  }
  CloseHandle(thread);
  if (outcome == THREAD_STOP_TERMINATED) PortNoteFailure("time-out, stopped by termination", 0);
  if (outcome == THREAD_STOP_UNCONFIRMED) {
    job->port->workerMayRun = 1;
    PortNoteFailure("time-out, worker could not be stopped", 0);
    return 0;
  }
  if (!*inTime && outcome != THREAD_STOP_TERMINATED) PortNoteFailure("time-out", 0);
  return 1;
}

}  // namespace

unsigned WINAPI PortWriteWorker(void *parameter) {
  auto *job = static_cast<PortJob *>(parameter);
  job->result = portDriver.io[job->port->kind].write(job->port, job->data, &job->count);
  if (job->result == 0) job->error = GetLastError();
  return 0;
}

unsigned WINAPI PortReadWorker(void *parameter) {
  auto *job = static_cast<PortJob *>(parameter);
  PortReadEntry read = portDriver.io[job->port->kind].read;
  DWORD pause = 1;
  // Only data, a failure or the caller's stop ends the run.
  while (job->count != 0 && !StopAsked(job)) {
    uint32_t delivered = job->count;
    job->result = read(job->port, job->data, &delivered);
    if (job->result == 0) {
      job->error = GetLastError();
      break;
    }
    if (delivered > job->count) delivered = job->count;
    job->count -= delivered;
    job->data += delivered;
    if (delivered != 0) {
      pause = 1;
      continue;
    }
    Sleep(pause);
    if (pause < kEmptyReadPauseMaxMs) pause *= 2;
  }
  return 0;
}

int PortWrite(Port *port, const void *data, const uint32_t *count) {
  if (Refused(port, data, count)) return 0;
  uint32_t size = *count;
  PortJob *job = NewJob(port, size);
  if (job == nullptr) {
    PortNoteFailure("allocation", GetLastError());
    return 0;
  }
  std::memcpy(JobBytes(job), data, size);
  bool inTime = false;
  if (!RunJob(job, PortWriteWorker, &inTime)) return 0;  // the job stays with the worker
  int result = inTime ? job->result : 0;
  if (inTime && result == 0) PortNoteFailure("write", job->error);
  PortHeapFree(job);
  return result;
}

int PortRead(Port *port, void *buffer, const uint32_t *count) {
  if (Refused(port, buffer, count)) return 0;
  uint32_t size = *count;
  PortJob *job = NewJob(port, size);
  if (job == nullptr) {
    PortNoteFailure("allocation", GetLastError());
    return 0;
  }
  bool inTime = false;
  if (!RunJob(job, PortReadWorker, &inTime)) return 0;  // the job stays with the worker
  // The worker has ended: what it read is final, and only now reaches the caller.
  uint32_t arrived = size - job->count;
  std::memcpy(buffer, JobBytes(job), arrived);
  int result = inTime && job->count == 0 && job->result != 0 ? 1 : 0;
  if (inTime && result == 0) PortNoteFailure("read", job->error);
  PortHeapFree(job);
  return result;
}
