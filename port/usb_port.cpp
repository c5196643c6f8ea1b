// The USB printer driver. Locating the device is not built yet, so the open
// finds no printer and every transfer fails; the record, its defaults and the
// close are complete.
#include "usb_port.h"

#include "port_heap.h"

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

int UsbPortOpen(Port *port) {
  port->notifyThread = 0;
  return 0;
}

int UsbPortClose(Port *port) {
  auto *usb = reinterpret_cast<UsbPort *>(port);
  PortHeapFree(usb->portName);
  usb->portName = nullptr;
  usb->writePipe = kNoPipe;
  usb->readPipe = kNoPipe;
  usb->extraPipe = kNoPipe;
  usb->useExtraPipe = 0;
  usb->requestData = nullptr;
  return 1;
}

int UsbPortRead(Port *, void *, uint32_t *count) {
  *count = 0;
  return 0;
}

int UsbPortWrite(Port *, const void *, uint32_t *count) {
  *count = 0;
  return 0;
}

int UsbPortCheck(Port *) { return 1; }
