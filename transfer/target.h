// The configured printer: the port built from the program's configuration
// strings, and the description the transfer reads.
#pragma once

#include <cstdint>

#include "port/port.h"

constexpr size_t kTargetHardwareIdSize = 128;

struct TargetInfo {
  int32_t reserved;  // not filled, not read
  char hardwareId[kTargetHardwareIdSize];
  int32_t portKind;   // the kind of the configured port: always PORT_KIND_USB
  int32_t portCount;  // how many ports the target has: always 1
};

// The current port: null while no port exists. Set by DescribeTarget, cleared
// by ReleasePort and by a failed probe.
extern Port *currentPort;

// Builds and configures the current port from strings 16 and 17 and publishes
// the TargetInfo. Expects no current port.
void DescribeTarget(void);
// Describes the target and opens its port: 1 when the printer was opened (the
// port stays current until ReleasePort), 0 when not (there is no current port).
int ProbeTarget(void);
// Closes and destroys the current port, if there is one.
void ReleasePort(void);
// Publishes `info` when given, and returns the published description.
TargetInfo *CurrentTargetInfo(const TargetInfo *info);
// The value of `text` read as upper-case hexadecimal digits; any other
// character adds nothing but keeps its place.
int ParseHexId(const char *text);
