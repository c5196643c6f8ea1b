// The printer-class open: the interface path, found by port name or hardware
// id into the port's device name, opened once for writing and once for reading.
#include "device_hold.h"
#include "device_search.h"
#include "port_failure.h"
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
  static_assert(sizeof port->deviceName == kUsbPathSize, "the search fills a path buffer");
  char *path = port->deviceName;
  if (!FindPath(port, path)) {
    DeviceSearchFailed();
  } else if (DeviceHeld(path)) {
    DeviceHeldRefusal();  // a worker that could not be stopped may still write to it
  } else if (OpenHandles(port, path)) {
    return 1;
  }
  port->deviceHandle = INVALID_HANDLE_VALUE;
  path[0] = 0;
  return 0;
}
