// Timed transfers: every read and write runs on a thread of its own, and the
// caller waits for it no longer than the port's time-out. A worker that outlives
// it is stopped (cancelled, then terminated), and one that cannot be confirmed
// ended keeps its device held, process-wide, until it has.
#pragma once

#include "port.h"

// One call's work, shared with its I/O thread. The job owns its bytes (the copy
// to write, or the buffer read into), which follow it in the same heap block,
// so a worker that cannot be stopped never touches the caller's memory.
struct PortJob {
  Port *port;
  BYTE *data;      // where the worker moves bytes next, inside the job's bytes
  uint32_t count;  // write: the bytes to write; read: the bytes still missing
  int32_t result;  // the last driver result; 0 until there is one
  uint64_t thread;
  LONG volatile stop;  // set by the caller when it gives up; a read worker then ends by itself
  DWORD error;         // GetLastError of the driver call that failed, on the worker's side
  // Once the worker could not be stopped, the job is the device hold's (below):
  // the next job held, and whether the port's owner has destroyed the port,
  // which the hold then frees with the job.
  PortJob *nextHeld;
  int32_t portGivenUp;
};

// The largest count a call takes: the job's bytes follow its record in one heap
// block, whose size must not wrap in a 32-bit build.
constexpr uint32_t kPortJobMaxCount = 0xFFFFFFFFu - 4096u;

// Writes `*count` bytes: the driver's result if its write ended within the
// time-out, else 0. `*count` is read, never written; 0 is refused, and so is a
// count above kPortJobMaxCount. Once a worker could not be stopped, the port is
// left to it: later calls on the port fail at once, PortClose leaves its handles
// alone, and the device stays held until the worker has ended (below).
// A worker stopped at the time-out counts by what it did: one whose last driver
// call moved the last byte (as the wait ran out, within the cancel's grace or
// as it was terminated) has succeeded, for reads as for writes.
int PortWrite(Port *port, const void *data, const uint32_t *count);
// Reads `*count` bytes: 1 when all arrived, else 0 with the bytes that did
// arrive at the start of `buffer`. `*count` is never written.
int PortRead(Port *port, void *buffer, const uint32_t *count);

unsigned WINAPI PortWriteWorker(void *job);
unsigned WINAPI PortReadWorker(void *job);

// For the port layer's other timed device calls, which keep the same rules: a
// job whose `count` bytes (zero-filled) follow it in one heap block, or null;
// and its `routine` run on a thread of its own for the port's time-out, as
// reads and writes are. PortRunJob returns 1 once the worker has ended, `*inTime`
// telling whether it did so within the time-out (a routine that finished sets
// `result`, and `count` to 0), and the job then is the caller's to free; 0 when
// the worker could not be confirmed ended: the job, the port and the device
// are then the device hold's.
PortJob *PortNewJob(Port *port, uint32_t count);
int PortRunJob(PortJob *job, unsigned(WINAPI *routine)(void *), bool *inTime);

// Stops `thread`, one the port layer started, if it still runs: cancels its
// blocking I/O and gives it 500 ms to leave; failing that, terminates it and
// waits up to 2 s for it to end. 1 once the thread is known to have ended; 0
// when it could not be confirmed ended, and whatever it uses must be left
// allocated.
int StopThread(HANDLE thread);

// The device hold: the devices that timed transfers' workers may still use
// after they could not be stopped. Such a worker may yet finish its call, and
// its bytes reach the device, not only its port: until it has ended, no port
// may open that device, or the late bytes would land inside the next transfer.
// The one process-wide record of the port layer; it locks itself.
//
// The owner of `port`, whose worker could not be stopped, has given it up: the
// hold frees it once the worker has ended.
void DeviceHoldGiveUp(Port *port);
// Lifts the holds whose worker has ended and whose port was given up, freeing
// the port, the job and the thread handle. Done before every device open.
void DeviceHoldRelease(void);
// 1 when `deviceName` (an interface path or Usbscan name) is held.
int DeviceHeld(const char *deviceName);
// Notes why an open of a held device failed; returns 0.
int DeviceHeldRefusal(void);
