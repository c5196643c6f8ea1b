// Configuration setters. The USB-only ones refuse other kinds: a network record
// is smaller than a USB one, and USB fields written into it would land past its end.
#include <cstring>

#include "port.h"
#include "port_heap.h"

namespace {

UsbPort *AsUsbPort(Port *port) {
  if (port == nullptr || port->kind != PORT_KIND_USB) return nullptr;
  return reinterpret_cast<UsbPort *>(port);
}

}  // namespace

int PortSetTimeout(Port *port, uint8_t seconds) {
  if (port == nullptr || seconds == 0) return 0;
  port->timeoutSeconds = seconds;
  return 1;
}

int PortSetHardwareId(Port *port, const char *hardwareId) {
  UsbPort *usb = AsUsbPort(port);
  if (usb == nullptr || hardwareId == nullptr) return 0;
  // A longer id cannot be the one the device reports in full; refuse it rather
  // than search for a shortened one.
  size_t length = std::strlen(hardwareId);
  if (length >= kHardwareIdSize) return 0;
  std::memcpy(usb->hardwareId, hardwareId, length + 1);
  return 1;
}

int PortSetUsbscan(Port *port, int32_t useUsbscan) {
  UsbPort *usb = AsUsbPort(port);
  if (usb == nullptr) return 0;
  usb->useUsbscan = useUsbscan;
  return 1;
}

int PortSetUsbIds(Port *port, uint16_t vendorId, uint16_t productId) {
  UsbPort *usb = AsUsbPort(port);
  if (usb == nullptr) return 0;
  usb->vendorId = vendorId;
  usb->productId = productId;
  return 1;
}

int PortSetPipes(Port *port, int32_t writePipe, int32_t readPipe, int32_t extraPipe,
                 uint8_t useExtraPipe) {
  UsbPort *usb = AsUsbPort(port);
  if (usb == nullptr) return 0;
  usb->writePipe = writePipe;
  usb->readPipe = readPipe;
  usb->useExtraPipe = useExtraPipe;
  usb->extraPipe = useExtraPipe ? extraPipe : kNoPipe;
  return 1;
}

int PortSetPortName(Port *port, const char *portName) {
  UsbPort *usb = AsUsbPort(port);
  if (usb == nullptr || portName == nullptr) return 0;
  size_t size = std::strlen(portName) + 1;
  auto *copy = static_cast<char *>(HeapAlloc(GetProcessHeap(), 0, size));
  if (copy == nullptr) return 0;
  std::memcpy(copy, portName, size);
  PortHeapFree(usb->portName);
  usb->portName = copy;
  return 1;
}

int PortSetNotify(Port *port, PortEventCallback onOpened, LPTHREAD_START_ROUTINE notifyRoutine,
                  void *notifyParam) {
  UsbPort *usb = AsUsbPort(port);
  if (usb == nullptr || usb->header.notifyThread != 0) return 0;
  if (usb->header.notifyParam != notifyParam) PortHeapFree(usb->header.notifyParam);
  usb->header.onOpened = onOpened;
  usb->header.notifyRoutine = notifyRoutine;
  usb->header.notifyParam = notifyParam;
  return 1;
}
