// Configuration setters. The USB-only ones refuse other kinds: a network record
// is smaller than a USB one, and USB fields written into it would land past its end.
#include <cstring>

#include "port.h"

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
