// The device path of a printer-class interface, as both searches fetch it.
#pragma once

#include "platform/win32.h"

// The interface's detail in a LocalAlloc block of `*size` bytes, or null.
SP_DEVICE_INTERFACE_DETAIL_DATA_A *UsbInterfaceDetail(HDEVINFO set,
                                                      SP_DEVICE_INTERFACE_DATA *interfaceData,
                                                      DWORD *size);
// Copies the detail's path into `path` (kUsbPathSize bytes). A path that does
// not fit cannot be opened as given: false, and `path` is left alone.
bool UsbCopyDevicePath(const SP_DEVICE_INTERFACE_DETAIL_DATA_A *detail, DWORD size, char *path);
