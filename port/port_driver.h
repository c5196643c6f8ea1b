// The per-kind operations, as four parallel tables indexed by the port's kind.
#pragma once

#include "port.h"

typedef int (*PortOpenEntry)(Port *port);
typedef int (*PortCloseEntry)(Port *port);
typedef int (*PortReadEntry)(Port *port, void *buffer, uint32_t *count);
typedef int (*PortWriteEntry)(Port *port, const void *buffer, uint32_t *count);
// 0 when the device answered, 1 when it did not: the opposite of every other entry.
typedef int (*PortCheckEntry)(Port *port);
typedef Port *(*PortConstructEntry)(void);
typedef int (*PortDestroyEntry)(Port *port);

struct PortIoEntries {
  PortOpenEntry open;
  PortCloseEntry close;
  PortReadEntry read;
  PortWriteEntry write;
};

struct PortDriver {
  PortIoEntries io[PORT_KIND_COUNT];
  PortCheckEntry check[PORT_KIND_COUNT];
  PortConstructEntry construct[PORT_KIND_COUNT];
  PortDestroyEntry destroy[PORT_KIND_COUNT];
};

extern const PortDriver portDriver;

// The null kind: every operation succeeds and does nothing, the check answers
// "answered", and the constructor makes no record.
int NullSucceed(Port *port);
int NullSucceed(Port *port, void *buffer, uint32_t *count);
int NullSucceed(Port *port, const void *buffer, uint32_t *count);
int NullZero(Port *port);
Port *NullZero(void);
