// Why the last transfer step failed. Results stay 1 or 0; the failure record
// only keeps the reason, for tests and for a support person with a debug
// viewer, with the system's own words for its error and, for a printer not
// found, what the device search saw. Both records are written by the thread
// that drives the port (the transfer's, or the page's while no transfer runs),
// never by an I/O thread.
#pragma once

#include <cstdint>

#include "platform/win32.h"

constexpr size_t kFailureStepSize = 96;
// Room for "error 4294967295: " and the system's text.
constexpr int kErrorTextSize = 320;
// Room for a failure's whole text: its step, and the system's words for its
// error or what the device search saw.
constexpr int kFailureTextSize = 880;

struct PortFailure {
  char step[kFailureStepSize];  // "open", "write", "time-out", "write block 7: time-out", ...
  DWORD error;                  // GetLastError of the failed call, 0 when there was none
  // The step is a device search that did not find the printer: what it saw is
  // in the search's record (below), which PortFailureText reads.
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

// "error 21: The device is not ready." in `text` (`size` bytes): the system's
// text in the system's language, as UTF-8 on one line; "error 21" alone when
// the system has no text for the code.
void PortErrorText(DWORD error, char *text, int size);
// Appends `piece` to the text in `text` (`size` bytes), cut at a whole UTF-8
// character to the room left.
void PortAppendText(char *text, int size, const char *piece);

// What the last search for the printer saw, kept for the person who reads why
// it was not found: the devices of the access method's class that were there,
// or the platform call that broke the search off. The device location code
// writes it, on the thread that opens the port, as the failure record is.
//
// A search of `deviceClass` devices for `sought` begins: what an earlier one
// saw is forgotten.
void DeviceSearchBegin(const char *deviceClass, const char *sought);
// One more device of the class, with its id.
void DeviceSearchSaw(const char *id);
// `call` failed with `error` and the search could not go on.
void DeviceSearchBroke(const char *call, DWORD error);
// What the search saw, for a person, in `text` (`size` bytes): "no
// printer-class device present", "2 printer-class devices present, none with
// the id USB\VID_7C5E&PID_4A86: USB\VID_04B8&PID_0005, USB\VID_03F0&PID_2B17",
// or "SetupDiGetClassDevsA failed with error 5: Access is denied.".
void DeviceSearchText(char *text, int size);
// The search did not find the printer: recorded as the failure at "device
// search", with what the search saw. Returns 0.
int DeviceSearchFailed(void);
