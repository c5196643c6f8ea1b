// What the USB driver needs to know of the platform's printer-class and
// still-image drivers.
#pragma once

#include "platform/win32.h"

// GUID_DEVINTERFACE_USBPRINT: the interface class of USB printer-class devices.
constexpr GUID kUsbPrintInterfaceClass = {
    0x28D78FAD, 0x5A12, 0x11D1, {0xAE, 0x5B, 0x00, 0x00, 0xF8, 0x03, 0xA8, 0xC2}};

// IOCTL_USBPRINT_GET_1284_ID: the printer's IEEE 1284 device id.
constexpr DWORD kIoctlGet1284Id = 0x00220034;
// IOCTL_USBPRINT_VENDOR_GET_COMMAND: a vendor GET request through the printer-class driver.
constexpr DWORD kIoctlVendorGetCommand = 0x0022003C;
// IOCTL_GET_DEVICE_DESCRIPTOR of the still-image driver: the device's USB ids.
constexpr DWORD kIoctlGetDeviceDescriptor = 0x80002018;

// Device paths are found into, and opened from, buffers of this size.
constexpr size_t kUsbPathSize = 1024;

// Shared by every open of a USB device: synchronous reads and writes, shared with
// whoever else has the device open.
constexpr DWORD kUsbAccess = GENERIC_READ | GENERIC_WRITE;
constexpr DWORD kUsbShare = FILE_SHARE_READ | FILE_SHARE_WRITE;
