// The check: does the printer answer a vendor request?
#include <cstring>

#include "usb_driver.h"
#include "usb_platform.h"
#include "usb_port.h"

namespace {
constexpr BYTE kVendorGetCommand = 0xA4;
constexpr DWORD kReplySize = 1024;
}  // namespace

DWORD UsbVendorGetCommand(UsbPort *port) {
  BYTE reply[kReplySize];
  std::memset(reply, 0, sizeof reply);
  port->request = kVendorGetCommand;
  // The request code, then the value in big-endian order.
  BYTE input[3] = {port->request, static_cast<BYTE>(port->requestValue >> 8),
                   static_cast<BYTE>(port->requestValue & 0xFF)};
  // The length field is 16 bits, the reply buffer 1024 bytes: never ask for more.
  DWORD wanted = port->requestLength < kReplySize ? port->requestLength : kReplySize;
  DWORD returned = 0;
  if (!DeviceIoControl(port->deviceHandle, kIoctlVendorGetCommand, input, sizeof input, reply,
                       wanted, &returned, nullptr))
    return 0;
  return returned;
}

int UsbPortCheck(Port *port) {
  return UsbVendorGetCommand(reinterpret_cast<UsbPort *>(port)) != 0 ? 0 : 1;
}
