// What the last search for the printer saw, kept for the person who reads why
// it was not found: the devices of the access method's class that were there,
// or the platform call that broke the search off. The device location code
// writes it, on the thread that opens the port, as the failure record is.
#pragma once

#include "platform/win32.h"

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
// The search did not find the printer: recorded as the failure (port_failure.h)
// at "device search", with what the search saw. Returns 0.
int DeviceSearchFailed(void);
