// The held devices: a list of the jobs whose worker could not be stopped, each
// with its port and the worker's thread handle. The thread that gave up on a
// worker adds to it, and whoever opens a device reads it; the port layer never
// stops those threads, so none of them can leave the lock taken.
#include "device_hold.h"

#include "port_failure.h"
#include "port_heap.h"

namespace {

SRWLOCK holdLock = SRWLOCK_INIT;
PortJob *heldJobs = nullptr;  // under holdLock, as are the jobs' hold fields

HANDLE ThreadOf(const PortJob *job) {
  return reinterpret_cast<HANDLE>(static_cast<uintptr_t>(job->thread));
}

const char *DeviceNameOf(const Port *port) {
  if (port->kind != PORT_KIND_USB) return "";
  return reinterpret_cast<const UsbPort *>(port)->deviceName;
}

}  // namespace

void DeviceHoldAdd(PortJob *job) {
  AcquireSRWLockExclusive(&holdLock);
  job->nextHeld = heldJobs;
  heldJobs = job;
  ReleaseSRWLockExclusive(&holdLock);
}

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
    if (job->portGivenUp && WaitForSingleObject(ThreadOf(job), 0) == WAIT_OBJECT_0) {
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
    CloseHandle(ThreadOf(job));
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
  PortNoteFailure("device held by a write that has not ended", 0);
  return 0;
}
