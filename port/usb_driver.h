// The USB driver's internal operations, shared by its files.
#pragma once

#include "port.h"

// Method choice, then the open notification.
int UsbOpenDevice(UsbPort *port);
// The printer-class open: two handles on the interface path, three with an extra pipe.
int UsbOpenPrintClass(UsbPort *port);
// Closes the handles an open reached, once each, and stops the notification
// thread. Returns 0 if that thread could not be confirmed ended.
int UsbCloseHandles(UsbPort *port);
// One vendor GET request through the printer-class driver: the bytes returned.
DWORD UsbVendorGetCommand(UsbPort *port);

// notifyThread keeps a handle sign-extended to 64 bits, as the record always has.
inline uint64_t HandleToSlot(HANDLE handle) {
  return static_cast<uint64_t>(static_cast<int64_t>(reinterpret_cast<intptr_t>(handle)));
}
inline HANDLE SlotToHandle(uint64_t slot) {
  return reinterpret_cast<HANDLE>(static_cast<intptr_t>(static_cast<int64_t>(slot)));
}
