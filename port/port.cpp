// The port object: its dispatchers, which reject a null port, look the kind's
// entry up and pass the port through; the driver tables they look in; and the
// configuration setters.
#include <cstring>

#include "network_port.h"
#include "port_driver.h"
#include "port_io.h"
#include "usb_port.h"

int NullSucceed(Port *) { return 1; }
int NullSucceed(Port *, void *, uint32_t *) { return 1; }
int NullSucceed(Port *, const void *, uint32_t *) { return 1; }
int NullZero(Port *) { return 0; }
Port *NullZero(void) { return nullptr; }

const PortDriver portDriver = {
    {
        {UsbPortOpen, UsbPortClose, UsbPortRead, UsbPortWrite},
        {NetworkPortOpen, NetworkPortClose, NetworkPortRead, NetworkPortWrite},
        {NullSucceed, NullSucceed, NullSucceed, NullSucceed},
    },
    {UsbPortCheck, NetworkPortCheck, NullZero},
    {UsbPortCreate, NetworkPortCreate, NullZero},
    {UsbPortDestroy, NetworkPortDestroy, NullSucceed},
};

int PortCreate(Port **place, PortKind kind) {
  if (place == nullptr) return 0;
  // A kind outside the tables would index past them.
  if (kind < 0 || kind >= PORT_KIND_COUNT) {
    *place = nullptr;
    return 0;
  }
  *place = portDriver.construct[kind]();
  return *place != nullptr ? 1 : 0;
}

int PortDestroy(Port *port) {
  if (port == nullptr) return 0;
  if (port->workerMayRun) {
    DeviceHoldGiveUp(port);
    return 1;
  }
  // The one close of a destroyed port: it closes the handles and stops the
  // thread the open started, and if the thread could not be confirmed ended it
  // gives the thread's parameter up. Only then is the parameter read, and freed
  // after the record.
  portDriver.io[port->kind].close(port);
  void *notifyParam = port->notifyParam;
  int result = portDriver.destroy[port->kind](port);
  PortHeapFree(notifyParam);
  return result;
}

int PortOpen(Port *port) {
  if (port == nullptr || port->workerMayRun) return 0;
  return portDriver.io[port->kind].open(port);
}

int PortClose(Port *port) {
  if (port == nullptr || port->workerMayRun) return 0;
  return portDriver.io[port->kind].close(port);
}

// Configuration setters. Each refuses ports of other kinds: a network record
// is smaller than a USB one, and USB fields written into it would land past its end.
namespace {

UsbPort *AsUsbPort(Port *port) {
  if (port == nullptr || port->kind != PORT_KIND_USB) return nullptr;
  return reinterpret_cast<UsbPort *>(port);
}

// `*slot` becomes the port's own copy of `text`, on the process heap; the text
// it held is freed only once the copy exists.
int ReplaceText(char **slot, const char *text) {
  if (text == nullptr) return 0;
  size_t size = std::strlen(text) + 1;
  auto *copy = static_cast<char *>(HeapAlloc(GetProcessHeap(), 0, size));
  if (copy == nullptr) return 0;
  std::memcpy(copy, text, size);
  PortHeapFree(*slot);
  *slot = copy;
  return 1;
}

NetworkPort *AsNetworkPort(Port *port) {
  if (port == nullptr || port->kind != PORT_KIND_NETWORK) return nullptr;
  return reinterpret_cast<NetworkPort *>(port);
}

}  // namespace

int PortSetTimeout(Port *port, uint8_t seconds) {
  if (port == nullptr || seconds == 0) return 0;
  port->timeoutSeconds = seconds;
  return 1;
}

int PortSetHardwareId(Port *port, const char *hardwareId) {
  UsbPort *usb = AsUsbPort(port);
  if (usb == nullptr || hardwareId == nullptr) return 0;
  // A longer id cannot be the one the device reports in full; refuse it rather
  // than search for a shortened one.
  size_t length = std::strlen(hardwareId);
  if (length >= kHardwareIdSize) return 0;
  std::memcpy(usb->hardwareId, hardwareId, length + 1);
  return 1;
}

int PortSetUsbscan(Port *port, int32_t useUsbscan) {
  UsbPort *usb = AsUsbPort(port);
  if (usb == nullptr) return 0;
  usb->useUsbscan = useUsbscan;
  return 1;
}

int PortSetUsbIds(Port *port, uint16_t vendorId, uint16_t productId) {
  UsbPort *usb = AsUsbPort(port);
  if (usb == nullptr) return 0;
  usb->vendorId = vendorId;
  usb->productId = productId;
  return 1;
}

int PortSetPipes(Port *port, int32_t writePipe, int32_t readPipe, int32_t extraPipe,
                 uint8_t useExtraPipe) {
  UsbPort *usb = AsUsbPort(port);
  if (usb == nullptr) return 0;
  usb->writePipe = writePipe;
  usb->readPipe = readPipe;
  usb->useExtraPipe = useExtraPipe;
  usb->extraPipe = useExtraPipe ? extraPipe : kNoPipe;
  return 1;
}

int PortSetPortName(Port *port, const char *portName) {
  UsbPort *usb = AsUsbPort(port);
  return usb != nullptr ? ReplaceText(&usb->portName, portName) : 0;
}

int PortSetNotify(Port *port, PortEventCallback onOpened, LPTHREAD_START_ROUTINE notifyRoutine,
                  void *notifyParam) {
  if (AsUsbPort(port) == nullptr && AsNetworkPort(port) == nullptr) return 0;
  if (port->notifyThread != 0) return 0;
  if (port->notifyParam != notifyParam) PortHeapFree(port->notifyParam);
  port->onOpened = onOpened;
  port->notifyRoutine = notifyRoutine;
  port->notifyParam = notifyParam;
  return 1;
}

int PortSetHostAddress(Port *port, const char *hostAddress) {
  NetworkPort *network = AsNetworkPort(port);
  return network != nullptr ? ReplaceText(&network->hostAddress, hostAddress) : 0;
}

int PortSetTcpPort(Port *port, uint16_t tcpPort) {
  NetworkPort *network = AsNetworkPort(port);
  if (network == nullptr) return 0;
  network->tcpPort = tcpPort;
  return 1;
}

int PortSetIpv6(Port *port, int32_t useIpv6) {
  NetworkPort *network = AsNetworkPort(port);
  if (network == nullptr) return 0;
  network->useIpv6 = useIpv6;
  return 1;
}
