// The network driver: the network row of the driver tables. Each operation
// unpacks the port and hands plain values to the transport.
#include "network_port.h"

#include "network_transport.h"
#include "port_heap.h"

namespace {
NetworkPort *AsNetwork(Port *port) { return reinterpret_cast<NetworkPort *>(port); }
}  // namespace

Port *NetworkPortCreate(void) {
  auto *network = PortHeapAlloc<NetworkPort>();
  if (network == nullptr) return nullptr;
  network->header.kind = PORT_KIND_NETWORK;
  network->header.timeoutSeconds = kDefaultTimeoutSeconds;
  WinsockStartup();
  return &network->header;
}

int NetworkPortDestroy(Port *port) {
  NetworkPortClose(port);
  PortHeapFree(port);
  WinsockCleanup();
  return 1;
}

int NetworkPortOpen(Port *port) {
  NetworkPort *network = AsNetwork(port);
  if (network->hostAddress == nullptr) return 0;
  return TcpConnect(network->hostAddress, network->tcpPort, &network->sock,
                    &network->header.notifyThread, &network->keepAlive, network->header.onOpened,
                    network->useIpv6)
             ? 1
             : 0;
}

int NetworkPortClose(Port *port) {
  NetworkPort *network = AsNetwork(port);
  PortHeapFree(network->hostAddress);
  network->hostAddress = nullptr;
  int result = 1;
  // A failed open may have left a socket, connected or not, or INVALID_SOCKET;
  // the disconnect's 0 for those is the close's result.
  if (network->sock != 0)
    result = TcpDisconnect(network->sock, network->header.notifyThread, network->keepAlive);
  network->sock = 0;
  network->header.notifyThread = 0;
  network->keepAlive = nullptr;
  return result;
}

int NetworkPortRead(Port *port, void *buffer, uint32_t *count) {
  return TcpReceive(AsNetwork(port)->sock, buffer, count);
}

int NetworkPortWrite(Port *port, const void *buffer, uint32_t *count) {
  return TcpSend(AsNetwork(port)->sock, buffer, count);
}

int NetworkPortCheck(Port *port) {
  NetworkPort *network = AsNetwork(port);
  // A closed port has no address left to ask.
  if (network->hostAddress == nullptr) return 1;
  return IcmpEcho(network->hostAddress, network->useIpv6) == 1 ? 0 : 1;
}
