// The network driver. The TCP transport is not built yet: the open connects to
// nothing and every transfer fails; the record, its defaults and the close are
// complete.
#include "network_port.h"

#include "port_heap.h"

Port *NetworkPortCreate(void) {
  auto *network = PortHeapAlloc<NetworkPort>();
  if (network == nullptr) return nullptr;
  network->header.kind = PORT_KIND_NETWORK;
  network->header.timeoutSeconds = kDefaultTimeoutSeconds;
  return &network->header;
}

int NetworkPortDestroy(Port *port) {
  NetworkPortClose(port);
  PortHeapFree(port);
  return 1;
}

int NetworkPortOpen(Port *) { return 0; }

int NetworkPortClose(Port *port) {
  auto *network = reinterpret_cast<NetworkPort *>(port);
  PortHeapFree(network->hostAddress);
  network->hostAddress = nullptr;
  return 1;
}

int NetworkPortRead(Port *, void *, uint32_t *count) {
  *count = 0;
  return 0;
}

int NetworkPortWrite(Port *, const void *, uint32_t *count) {
  *count = 0;
  return 0;
}

int NetworkPortCheck(Port *) { return 1; }
