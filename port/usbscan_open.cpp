// The still-image scan: "\\.\Usbscan0" to "\\.\Usbscan65534", each asked for
// its USB ids through its pipe 0; the first with the port's ids is opened.
#include "device_hold.h"
#include "device_search.h"
#include "usb_location.h"
#include "usb_platform.h"

namespace {

constexpr int kLastUsbscanNumber = 65534;
constexpr size_t kNameSize = 64;

// The device descriptor the still-image driver returns: little-endian words.
struct UsbscanDescriptor {
  WORD vendorId;
  WORD productId;
  WORD release;
  WORD language;
};
static_assert(sizeof(UsbscanDescriptor) == 8, "the driver answers with 8 bytes");

HANDLE OpenPipe(const char *device, int pipe) {
  char path[kNameSize + 16];
  wsprintfA(path, "%s\\%d", device, pipe);
  return CreateFileA(path, kUsbAccess, kUsbShare, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_SYSTEM,
                     nullptr);
}

// "USB\VID_xxxx&PID_xxxx", as a hardware id names them.
void IdsText(char *text, DWORD vendorId, DWORD productId) {
  wsprintfA(text, "USB\\VID_%04X&PID_%04X", static_cast<unsigned>(vendorId & 0xFFFF),
            static_cast<unsigned>(productId & 0xFFFF));
}

// Whether the device has the port's ids; the search's record gets its ids.
bool HasIds(HANDLE device, const char *name, const UsbPort *port) {
  UsbscanDescriptor descriptor = {};
  DWORD returned = 0;
  char seen[kNameSize + 16];
  if (!DeviceIoControl(device, kIoctlGetDeviceDescriptor, nullptr, 0, &descriptor,
                       sizeof descriptor, &returned, nullptr)) {
    wsprintfA(seen, "%s (ids not readable)", name);
    DeviceSearchSaw(seen);
    return false;
  }
  IdsText(seen, descriptor.vendorId, descriptor.productId);
  DeviceSearchSaw(seen);
  return descriptor.vendorId == static_cast<WORD>(port->vendorId) &&
         descriptor.productId == static_cast<WORD>(port->productId);
}

}  // namespace

int UsbscanOpen(UsbPort *port) {
  if (port == nullptr) return 0;
  port->deviceHandle = INVALID_HANDLE_VALUE;
  port->writeHandle = INVALID_HANDLE_VALUE;
  port->readHandle = INVALID_HANDLE_VALUE;
  char *device = port->deviceName;
  char sought[kNameSize];
  IdsText(sought, port->vendorId, port->productId);
  DeviceSearchBegin("still-image", sought);
  bool heldSeen = false;
  for (int number = 0; number <= kLastUsbscanNumber; ++number) {
    wsprintfA(device, "\\\\.\\Usbscan%d", number);
    // A worker that could not be stopped may still use it: not even its ids
    // are asked for.
    if (DeviceHeld(device)) {
      heldSeen = true;
      continue;
    }
    port->deviceHandle = OpenPipe(device, 0);
    if (port->deviceHandle == INVALID_HANDLE_VALUE) continue;
    if (!HasIds(port->deviceHandle, device, port)) {
      CloseHandle(port->deviceHandle);
      port->deviceHandle = INVALID_HANDLE_VALUE;
      continue;
    }
    // Once the device matches the open succeeds: a pipe that will not open
    // keeps INVALID_HANDLE_VALUE, and transfers through it fail.
    port->writeHandle =
        port->writePipe == 0 ? port->deviceHandle : OpenPipe(device, port->writePipe);
    port->readHandle = OpenPipe(device, port->readPipe);
    if (port->extraPipe != kNoPipe) port->extraHandle = OpenPipe(device, port->extraPipe);
    return 1;
  }
  device[0] = 0;
  if (heldSeen) return DeviceHeldRefusal();
  return DeviceSearchFailed();
}
