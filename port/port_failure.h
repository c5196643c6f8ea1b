// Why the last transfer step failed. Results stay 1 or 0; this record only
// keeps the reason, for tests and for a support person with a debug viewer. It
// is written by the thread that drives the port (the transfer's, or the
// page's while no transfer runs), never by an I/O thread.
#pragma once

#include <cstdint>

#include "platform/win32.h"

constexpr size_t kFailureStepSize = 96;
// Room for a failure's whole text: its step, and the system's words for its
// error or what the device search saw.
constexpr int kFailureTextSize = 880;

struct PortFailure {
  char step[kFailureStepSize];  // "open", "write", "time-out", "write block 7: time-out", ...
  DWORD error;                  // GetLastError of the failed call, 0 when there was none
  // The step is a device search that did not find the printer: what it saw is
  // in the search's record (device_search.h), which PortFailureText reads.
  int32_t searchSeen;
};

// Records the failure and writes it with OutputDebugStringA.
void PortNoteFailure(const char *step, DWORD error);
// The same for a device search that did not find the printer, at "device search".
void PortNoteSearchFailure(DWORD error);
// Puts `context` (the transfer's step, such as "write block 7") before the
// recorded step, keeping its error, and writes the result again. Returns 0, the
// failure result, so a caller can return it.
int PortNoteFailureContext(const char *context);
// The last failure recorded; its step is empty when there was none.
const PortFailure *PortLastFailure(void);
void PortClearFailure(void);
// The failure for a person, in `text` (`size` bytes): "write block 7: write
// (error 21: The device is not ready.)", "write block 7: time-out" where there
// was no error code, "device search: no printer-class device present".
void PortFailureText(const PortFailure *failure, char *text, int size);
