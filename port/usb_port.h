// The USB printer driver: the USB row of the driver tables.
#pragma once

#include "port.h"

Port *UsbPortCreate(void);
int UsbPortDestroy(Port *port);
int UsbPortOpen(Port *port);
int UsbPortClose(Port *port);
int UsbPortRead(Port *port, void *buffer, uint32_t *count);
int UsbPortWrite(Port *port, const void *buffer, uint32_t *count);
int UsbPortCheck(Port *port);
