// The dispatchers: reject a null port, look the kind's entry up, pass the port through.
#include "device_hold.h"
#include "port_driver.h"
#include "port_heap.h"

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
  // Close first: that stops the thread the open started, and if the thread
  // could not be confirmed ended the close gives its parameter up. Only then is
  // the parameter read, and freed after the record.
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
