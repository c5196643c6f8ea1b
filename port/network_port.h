// The network driver: the network row of the driver tables, over TCP, with
// an ICMP echo for the check and a keep-alive thread while a port is open.
#pragma once

#include "port.h"

Port *NetworkPortCreate(void);
int NetworkPortDestroy(Port *port);
int NetworkPortOpen(Port *port);
int NetworkPortClose(Port *port);
int NetworkPortRead(Port *port, void *buffer, uint32_t *count);
int NetworkPortWrite(Port *port, const void *buffer, uint32_t *count);
int NetworkPortCheck(Port *port);
