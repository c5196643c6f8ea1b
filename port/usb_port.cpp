// The USB printer driver: the USB row of the driver tables.
#include "usb_port.h"

#include "device_hold.h"
#include "port_heap.h"
#include "thread_stop.h"
#include "usb_driver.h"
#include "usb_location.h"

namespace {
UsbPort *AsUsb(Port *port) { return reinterpret_cast<UsbPort *>(port); }

bool IsOpenHandle(HANDLE handle) { return handle != nullptr && handle != INVALID_HANDLE_VALUE; }
}  // namespace

Port *UsbPortCreate(void) {
  auto *usb = PortHeapAlloc<UsbPort>();
  if (usb == nullptr) return nullptr;
  usb->header.kind = PORT_KIND_USB;
  usb->header.timeoutSeconds = kDefaultTimeoutSeconds;
  usb->useUsbscan = 1;
  usb->writePipe = kNoPipe;
  usb->readPipe = kNoPipe;
  usb->extraPipe = kNoPipe;
  return &usb->header;
}

int UsbPortDestroy(Port *port) {
  UsbPortClose(port);
  PortHeapFree(port);
  return 1;
}

int UsbOpenDevice(UsbPort *port) {
  // Devices whose stuck workers have ended since are free again.
  DeviceHoldRelease();
  int opened = port->useUsbscan ? UsbscanOpen(port) : UsbOpenPrintClass(port);
  port->header.notifyThread = 0;
  if (!opened || port->header.onOpened == nullptr) return opened;
  port->header.onOpened(0);
  if (port->header.notifyRoutine != nullptr) {
    HANDLE thread =
        CreateThread(nullptr, 0, port->header.notifyRoutine, port->header.notifyParam, 0, nullptr);
    port->header.notifyThread = HandleToSlot(thread);
  }
  return 1;
}

int UsbPortOpen(Port *port) { return UsbOpenDevice(AsUsb(port)); }

int UsbCloseHandles(UsbPort *port) {
  if (port->deviceHandle != INVALID_HANDLE_VALUE) CloseHandle(port->deviceHandle);
  if (port->writeHandle != port->deviceHandle && port->writeHandle != INVALID_HANDLE_VALUE)
    CloseHandle(port->writeHandle);
  if (port->readHandle != INVALID_HANDLE_VALUE) CloseHandle(port->readHandle);
  if (IsOpenHandle(port->extraHandle)) CloseHandle(port->extraHandle);

  HANDLE notify = SlotToHandle(port->header.notifyThread);
  if (notify == nullptr) return 1;
  int ended = StopThread(notify);
  CloseHandle(notify);
  return ended;
}

int UsbPortClose(Port *port) {
  UsbPort *usb = AsUsb(port);
  PortHeapFree(usb->portName);
  // Only an open that reached its handles has anything to close.
  if (usb->deviceHandle != nullptr && usb->writeHandle != nullptr && usb->readHandle != nullptr) {
    // A notification thread that would not stop may still use its parameter:
    // the port gives it up rather than free it under the thread.
    if (!UsbCloseHandles(usb)) usb->header.notifyParam = nullptr;
  }
  usb->useExtraPipe = 0;
  usb->writePipe = kNoPipe;
  usb->readPipe = kNoPipe;
  usb->extraPipe = kNoPipe;
  usb->deviceHandle = nullptr;
  usb->writeHandle = nullptr;
  usb->readHandle = nullptr;
  usb->extraHandle = nullptr;
  usb->deviceName[0] = 0;
  usb->portName = nullptr;
  usb->requestData = nullptr;
  usb->header.notifyThread = 0;
  return 1;
}

int UsbPortRead(Port *port, void *buffer, uint32_t *count) {
  DWORD moved = 0;
  BOOL ok = ReadFile(AsUsb(port)->readHandle, buffer, *count, &moved, nullptr);
  *count = moved;
  return ok ? 1 : 0;
}

int UsbPortWrite(Port *port, const void *buffer, uint32_t *count) {
  DWORD moved = 0;
  BOOL ok = WriteFile(AsUsb(port)->writeHandle, buffer, *count, &moved, nullptr);
  *count = moved;
  return ok ? 1 : 0;
}
