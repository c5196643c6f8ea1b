// The printer-class open: the interface path, found by port name or hardware
// id, opened once for writing and once for reading.
#include "port_failure.h"
#include "port_heap.h"
#include "usb_driver.h"
#include "usb_location.h"
#include "usb_platform.h"

namespace {

HANDLE OpenPath(const char *path) {
  HANDLE opened = CreateFileA(path, kUsbAccess, kUsbShare, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (opened == INVALID_HANDLE_VALUE) PortNoteFailure("open", GetLastError());
  return opened;
}

bool FindPath(const UsbPort *port, char *path) {
  if (port->portName != nullptr && UsbFindByPortName(port->portName, path) != nullptr) return true;
  return UsbFindByHardwareId(port->hardwareId, path) != nullptr;
}

// Every handle this open opened is closed again and left invalid, so the close
// that follows closes nothing twice.
int OpenHandles(UsbPort *port, const char *path) {
  port->deviceHandle = OpenPath(path);
  if (port->deviceHandle == INVALID_HANDLE_VALUE) return 0;
  port->writeHandle = port->deviceHandle;
  port->readHandle = OpenPath(path);
  if (port->readHandle == INVALID_HANDLE_VALUE) {
    CloseHandle(port->deviceHandle);
    port->deviceHandle = INVALID_HANDLE_VALUE;
    port->writeHandle = INVALID_HANDLE_VALUE;
    return 0;
  }
  if (port->extraPipe == kNoPipe) return 1;
  port->extraHandle = OpenPath(path);
  if (port->extraHandle == INVALID_HANDLE_VALUE) {
    CloseHandle(port->deviceHandle);
    CloseHandle(port->readHandle);
    port->deviceHandle = INVALID_HANDLE_VALUE;
    port->writeHandle = INVALID_HANDLE_VALUE;
    port->readHandle = INVALID_HANDLE_VALUE;
    return 0;
  }
  return 1;
}

}  // namespace

int UsbOpenPrintClass(UsbPort *port) {
  auto *path = static_cast<char *>(LocalAlloc(LPTR, kUsbPathSize));
  if (path == nullptr) return 0;
  int opened = 0;
  if (FindPath(port, path)) {
    opened = OpenHandles(port, path);
  } else {
    PortNoteFailure("device search", 0);
    port->deviceHandle = INVALID_HANDLE_VALUE;
  }
  LocalFree(path);
  return opened;
}
