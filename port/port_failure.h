// Why the last transfer step failed. Results stay 1 or 0; this record only
// keeps the reason, for tests and for a support person with a debug viewer. It
// is written by the thread that drives the port (the transfer's, or the
// page's while no transfer runs), never by an I/O thread.
#pragma once

#include "platform/win32.h"

constexpr size_t kFailureStepSize = 96;

struct PortFailure {
  char step[kFailureStepSize];  // "open", "write", "time-out", "write block 7: time-out", ...
  DWORD error;                  // GetLastError of the failed call, 0 when there was none
};

// Records the failure and writes it with OutputDebugStringA.
void PortNoteFailure(const char *step, DWORD error);
// Puts `context` (the transfer's step, such as "write block 7") before the
// recorded step, keeping its error, and writes the result again. Returns 0, the
// failure result, so a caller can return it.
int PortNoteFailureContext(const char *context);
// The last failure recorded; its step is empty when there was none.
const PortFailure *PortLastFailure(void);
void PortClearFailure(void);
