// The USB printer driver, by printer class or by still-image scan: the USB row
// of the driver tables, and what a printer-class printer says about itself.
#pragma once

#include "port.h"

Port *UsbPortCreate(void);
int UsbPortDestroy(Port *port);
int UsbPortOpen(Port *port);
int UsbPortClose(Port *port);
int UsbPortRead(Port *port, void *buffer, uint32_t *count);
int UsbPortWrite(Port *port, const void *buffer, uint32_t *count);
int UsbPortCheck(Port *port);

// Scans the still-image devices for the port's vendor and product ids and opens
// the matching device's pipes into the port's handles. 1 if a device matched.
int UsbscanOpen(UsbPort *port);

// What a printer says about itself: its IEEE 1284 device id ("MFG:...;MDL:...;"),
// asked of the printer-class driver within the port's time-out, like every
// other device call. Information for people: nothing decides on it.
//
// The driver passes the buffer's size on to the printer as the request's
// length, and some printers fail a request for more than this.
constexpr DWORD kIeee1284ReplySize = 4094;

enum Ieee1284Outcome {
  IEEE1284_READ,             // the id is in `id`, `length` bytes (0: an empty id)
  IEEE1284_NOT_PRINT_CLASS,  // a still-image or network port: its driver has no such request
  IEEE1284_REFUSED,          // the request failed with `error`
  IEEE1284_NO_ANSWER,        // no answer within the port's time-out
  IEEE1284_SHORT_REPLY,      // `length` bytes came back, too few for the length field
};

struct Ieee1284Id {
  Ieee1284Outcome outcome;
  DWORD error;
  DWORD length;
  BYTE id[kIeee1284ReplySize];
};

// Asks the printer of the open `port` for its id. Returns 1 when it was read.
// A printer that never answers is given up on as a stuck read is
// (port_io.h): the call returns within the time-out and 3 s more.
int PortReadIeee1284Id(Port *port, Ieee1284Id *answer);
