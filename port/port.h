// The port: the transfer's one handle on its connection to the printer. A plain
// record on the heap whose first field is its kind; what differs by kind is
// reached through the driver tables (port_driver.h), never through a switch.
// Timed reads and writes are in port_io.h, why a step failed in port_failure.h.
#pragma once

#include <cstdint>

#include "platform/win32.h"

typedef int32_t PortKind;
enum : PortKind {
  PORT_KIND_USB = 0,
  PORT_KIND_NETWORK = 1,
  PORT_KIND_NULL = 2,
  PORT_KIND_COUNT = 3,
};

// Told of port events: 0 after a successful open; 1 when a network keep-alive fails.
typedef void (*PortEventCallback)(int32_t event);

constexpr uint8_t kDefaultTimeoutSeconds = 5;
constexpr int32_t kNoPipe = -1;
constexpr size_t kHardwareIdSize = 64;    // 63 characters and the terminator
constexpr size_t kDeviceNameSize = 1024;  // a device path or Usbscan name and its terminator

// The header every kind's record begins with.
struct Port {
  PortKind kind;
  uint8_t timeoutSeconds;
  uint64_t notifyThread;  // handle of the thread the open started, or 0
  PortEventCallback onOpened;
  LPTHREAD_START_ROUTINE notifyRoutine;
  void *notifyParam;  // owned by the port, from the process heap
  // Set when a timed transfer's worker could not be confirmed ended: it may
  // still be inside the driver with this record and its handles, so the port
  // is neither opened, closed nor freed by its owner after that. Once the owner
  // has destroyed it, the device hold (port_io.h) frees it when the worker
  // has ended.
  int32_t workerMayRun;
};

struct UsbPort {
  Port header;
  char *portName;  // "USB%03d", owned; null when the device is found by hardware id
  int32_t useUsbscan;
  char hardwareId[kHardwareIdSize];
  uint32_t vendorId;
  uint32_t productId;
  uint8_t useExtraPipe;
  int32_t writePipe;
  int32_t readPipe;
  int32_t extraPipe;
  HANDLE deviceHandle;
  HANDLE writeHandle;
  HANDLE readHandle;
  HANDLE extraHandle;
  // The interface path or "\\.\Usbscan%d" name of the device the open found;
  // empty while the port has no device open.
  char deviceName[kDeviceNameSize];
  uint8_t requestType;
  uint8_t request;
  uint16_t requestValue;
  uint16_t requestIndex;
  uint16_t requestLength;
  void *requestData;
};

struct KeepAlive;

struct NetworkPort {
  Port header;
  UINT_PTR sock;      // the connection's stream socket, 0 when none
  char *hostAddress;  // dotted IPv4 or IPv6 text, owned
  uint16_t tcpPort;   // host order
  int32_t useIpv6;
  KeepAlive *keepAlive;  // the keep-alive thread's own record while it may run
};

// Dispatchers: each refuses a null port with 0 and otherwise returns the
// kind's own result unchanged. A port whose worker may still run is neither
// opened nor closed (PortOpen and PortClose return 0) nor destroyed: PortDestroy
// hands it to the device hold, which frees it once the worker has ended, and
// returns 1.
int PortCreate(Port **place, PortKind kind);
int PortDestroy(Port *port);
int PortOpen(Port *port);
int PortClose(Port *port);

// Configuration, before the port is opened. All return 1, or 0 with the port
// unchanged. Each setter refuses a null port and a port of a kind it is not for.
int PortSetTimeout(Port *port, uint8_t seconds);
int PortSetHardwareId(Port *port, const char *hardwareId);
int PortSetUsbscan(Port *port, int32_t useUsbscan);
int PortSetUsbIds(Port *port, uint16_t vendorId, uint16_t productId);
int PortSetPipes(Port *port, int32_t writePipe, int32_t readPipe, int32_t extraPipe,
                 uint8_t useExtraPipe);
// The printer port name ("USB%03d") by which the printer-class open finds the
// device; the port keeps its own copy.
int PortSetPortName(Port *port, const char *portName);
// The open notification: `onOpened` is told 0 after each successful open and,
// when `notifyRoutine` is set too, a thread runs it with `notifyParam`. The port
// takes `notifyParam` (a process-heap block) and frees it when destroyed.
// Refused while a notification thread of an earlier open may run. For network
// ports `onOpened` is also told 1 by the keep-alive thread on each failed echo,
// on that thread; `notifyRoutine` is not run.
int PortSetNotify(Port *port, PortEventCallback onOpened, LPTHREAD_START_ROUTINE notifyRoutine,
                  void *notifyParam);

// Network ports. The peer's address as dotted IPv4 or IPv6 text (the port keeps
// its own copy, which the close releases), its TCP port in host order, and the
// family (0 IPv4, any other value IPv6).
int PortSetHostAddress(Port *port, const char *hostAddress);
int PortSetTcpPort(Port *port, uint16_t tcpPort);
int PortSetIpv6(Port *port, int32_t useIpv6);
