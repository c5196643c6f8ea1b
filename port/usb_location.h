// Finding the printer among the devices the platform presents.
#pragma once

#include "port.h"

// The device path of the printer-class interface of the device whose hardware
// ids include `hardwareId`, in `path` (kUsbPathSize bytes); null, with `path`
// empty, when there is none.
char *UsbFindByHardwareId(const char *hardwareId, char *path);
// The device path of the printer-class interface whose port number, as
// "USB%03d", equals `portName` in any case; null, with `path` empty, when none.
char *UsbFindByPortName(const char *portName, char *path);
// Scans the still-image devices for the port's vendor and product ids and opens
// the matching device's pipes into the port's handles. 1 if a device matched.
int UsbscanOpen(UsbPort *port);
