// Is the printer there? The probe opens it; the release closes it again.
#include "target.h"

int ProbeTarget(void) {
  DescribeTarget();
  if (PortOpen(currentPort)) return 1;
  PortDestroy(currentPort);
  currentPort = nullptr;
  return 0;
}

void ReleasePort(void) {
  if (currentPort == nullptr) return;
  PortClose(currentPort);
  PortDestroy(currentPort);
  currentPort = nullptr;
}
