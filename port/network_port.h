// The network driver: the network row of the driver tables.
#pragma once

#include "port.h"

Port *NetworkPortCreate(void);
int NetworkPortDestroy(Port *port);
int NetworkPortOpen(Port *port);
int NetworkPortClose(Port *port);
int NetworkPortRead(Port *port, void *buffer, uint32_t *count);
int NetworkPortWrite(Port *port, const void *buffer, uint32_t *count);
int NetworkPortCheck(Port *port);
