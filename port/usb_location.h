// Finding the printer among the printer-class devices the platform presents,
// by hardware id or by port name. Apart from the driver's I/O: nothing here
// opens a device.
#pragma once

#include "platform/win32.h"

// GUID_DEVINTERFACE_USBPRINT: the interface class of USB printer-class devices.
constexpr GUID kUsbPrintInterfaceClass = {
    0x28D78FAD, 0x5A12, 0x11D1, {0xAE, 0x5B, 0x00, 0x00, 0xF8, 0x03, 0xA8, 0xC2}};

// Device paths are found into, and opened from, buffers of this size.
constexpr size_t kUsbPathSize = 1024;

// The device path of the printer-class interface of the device whose hardware
// ids include `hardwareId`, in `path` (kUsbPathSize bytes); null, with `path`
// empty, when there is none. What the search saw is kept (port_failure.h).
char *UsbFindByHardwareId(const char *hardwareId, char *path);
// The device path of the printer-class interface whose port number, as
// "USB%03d", equals `portName` in any case; null, with `path` empty, when none.
char *UsbFindByPortName(const char *portName, char *path);
