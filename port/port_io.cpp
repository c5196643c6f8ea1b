#include "port_io.h"

#include <cstring>

#include "port_driver.h"
#include "port_heap.h"
#include "thread_stop.h"

namespace {

typedef unsigned(WINAPI *JobRoutine)(void *);

BYTE *JobBytes(PortJob *job) { return reinterpret_cast<BYTE *>(job + 1); }

PortJob *NewJob(Port *port, uint32_t count) {
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
// freed; 0 when it could not be confirmed ended: the job must then be left alone.
int RunJob(PortJob *job, JobRoutine routine, bool *inTime) {
  *inTime = false;
  uintptr_t started = _beginthreadex(nullptr, 0, routine, job, 0, nullptr);
  if (started == 0) return 1;
  HANDLE thread = reinterpret_cast<HANDLE>(started);
  job->thread = static_cast<uint64_t>(started);
  DWORD timeout = static_cast<DWORD>(job->port->timeoutSeconds) * 1000;
  int ended = 1;
  if (WaitForSingleObject(thread, timeout) == WAIT_OBJECT_0)
    *inTime = true;
  else
    ended = StopThread(thread);
  CloseHandle(thread);
  return ended;
}

}  // namespace

unsigned WINAPI PortWriteWorker(void *parameter) {
  auto *job = static_cast<PortJob *>(parameter);
  job->result = portDriver.io[job->port->kind].write(job->port, job->data, &job->count);
  return 0;
}

unsigned WINAPI PortReadWorker(void *parameter) {
  auto *job = static_cast<PortJob *>(parameter);
  PortReadEntry read = portDriver.io[job->port->kind].read;
  // A read that succeeds with nothing is simply asked again: only data, a
  // failure or the caller's time-out ends the run.
  while (job->count != 0) {
    uint32_t delivered = job->count;
    job->result = read(job->port, job->data, &delivered);
    if (job->result == 0) break;
    if (delivered > job->count) delivered = job->count;
    job->count -= delivered;
    job->data += delivered;
  }
  return 0;
}

int PortWrite(Port *port, const void *data, const uint32_t *count) {
  if (port == nullptr || data == nullptr || count == nullptr || *count == 0) return 0;
  uint32_t size = *count;
  PortJob *job = NewJob(port, size);
  if (job == nullptr) return 0;
  std::memcpy(JobBytes(job), data, size);
  bool inTime = false;
  if (!RunJob(job, PortWriteWorker, &inTime)) return 0;  // the job stays with the worker
  int result = inTime ? job->result : 0;
  PortHeapFree(job);
  return result;
}

int PortRead(Port *port, void *buffer, const uint32_t *count) {
  if (port == nullptr || buffer == nullptr || count == nullptr || *count == 0) return 0;
  uint32_t size = *count;
  PortJob *job = NewJob(port, size);
  if (job == nullptr) return 0;
  bool inTime = false;
  if (!RunJob(job, PortReadWorker, &inTime)) return 0;  // the job stays with the worker
  // The worker has ended: what it read is final, and only now reaches the caller.
  uint32_t arrived = size - job->count;
  std::memcpy(buffer, JobBytes(job), arrived);
  int result = inTime && job->count == 0 && job->result != 0 ? 1 : 0;
  PortHeapFree(job);
  return result;
}
