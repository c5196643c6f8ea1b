// The USB printer driver: the USB row of the driver tables. A port reaches its
// printer by one of two methods: the printer-class interface path, found by
// port name or hardware id (usb_location.h), or a scan of the still-image
// devices for the port's USB ids. Either open fills the same handles, which
// one place closes.
#include "usb_port.h"

#include <cstring>

#include "port_driver.h"
#include "port_failure.h"
#include "port_io.h"
#include "usb_location.h"

namespace {

// IOCTL_USBPRINT_GET_1284_ID: the printer's IEEE 1284 device id.
constexpr DWORD kIoctlGet1284Id = 0x00220034;
// IOCTL_USBPRINT_VENDOR_GET_COMMAND: a vendor GET request through the printer-class driver.
constexpr DWORD kIoctlVendorGetCommand = 0x0022003C;
// IOCTL_GET_DEVICE_DESCRIPTOR of the still-image driver: the device's USB ids.
constexpr DWORD kIoctlGetDeviceDescriptor = 0x80002018;

// Shared by every open of a USB device: synchronous reads and writes, shared with
// whoever else has the device open.
constexpr DWORD kUsbAccess = GENERIC_READ | GENERIC_WRITE;
constexpr DWORD kUsbShare = FILE_SHARE_READ | FILE_SHARE_WRITE;

UsbPort *AsUsb(Port *port) { return reinterpret_cast<UsbPort *>(port); }

bool IsOpenHandle(HANDLE handle) { return handle != nullptr && handle != INVALID_HANDLE_VALUE; }

// The one place a port's handles are closed: each open one once (the write
// handle may be the device handle), and all four left at `left`: null after a
// close, INVALID_HANDLE_VALUE after an open that failed part-way.
void UsbCloseHandles(UsbPort *port, HANDLE left) {
  if (IsOpenHandle(port->deviceHandle)) CloseHandle(port->deviceHandle);
  if (port->writeHandle != port->deviceHandle && IsOpenHandle(port->writeHandle))
    CloseHandle(port->writeHandle);
  if (IsOpenHandle(port->readHandle)) CloseHandle(port->readHandle);
  if (IsOpenHandle(port->extraHandle)) CloseHandle(port->extraHandle);
  port->deviceHandle = left;
  port->writeHandle = left;
  port->readHandle = left;
  port->extraHandle = left;
}

}  // namespace

// The printer-class open: the interface path, found by port name or hardware
// id into the port's device name, opened once for writing and once for reading.
namespace {

HANDLE OpenPath(const char *path) {
  HANDLE opened = CreateFileA(path, kUsbAccess, kUsbShare, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (opened == INVALID_HANDLE_VALUE) PortNoteFailure("open", GetLastError());
  return opened;
}

bool FindPath(const UsbPort *port, char *path) {
  if (port->portName != nullptr && UsbFindByPortName(port->portName, path) != nullptr) return true;
  return UsbFindByHardwareId(port->hardwareId, path) != nullptr;
}

// Two handles on the path, the first one written through, and a third with an
// extra pipe. An open that fails part-way has the close undo it, so that the
// close that follows closes nothing twice.
int OpenHandles(UsbPort *port, const char *path) {
  port->deviceHandle = OpenPath(path);
  if (port->deviceHandle == INVALID_HANDLE_VALUE) return 0;
  port->writeHandle = port->deviceHandle;
  port->readHandle = OpenPath(path);
  if (port->readHandle != INVALID_HANDLE_VALUE) {
    if (port->extraPipe == kNoPipe) return 1;
    port->extraHandle = OpenPath(path);
    if (port->extraHandle != INVALID_HANDLE_VALUE) return 1;
  }
  UsbCloseHandles(port, INVALID_HANDLE_VALUE);
  return 0;
}

int UsbOpenPrintClass(UsbPort *port) {
  static_assert(sizeof port->deviceName == kUsbPathSize, "the search fills a path buffer");
  char *path = port->deviceName;
  if (!FindPath(port, path)) {
    DeviceSearchFailed();
  } else if (DeviceHeld(path)) {
    DeviceHeldRefusal();  // a worker that could not be stopped may still use it
  } else if (OpenHandles(port, path)) {
    return 1;
  }
  port->deviceHandle = INVALID_HANDLE_VALUE;
  path[0] = 0;
  return 0;
}

}  // namespace

// The still-image scan: "\\.\Usbscan0" to "\\.\Usbscan65534", each asked for
// its USB ids through its pipe 0; the first with the port's ids is opened.
namespace {

constexpr int kLastUsbscanNumber = 65534;
constexpr size_t kNameSize = 64;

// The device descriptor the still-image driver returns: little-endian words.
struct UsbscanDescriptor {
  WORD vendorId;
  WORD productId;
  WORD release;
  WORD language;
};
static_assert(sizeof(UsbscanDescriptor) == 8, "the driver answers with 8 bytes");

HANDLE OpenPipe(const char *device, int pipe) {
  char path[kNameSize + 16];
  wsprintfA(path, "%s\\%d", device, pipe);
  return CreateFileA(path, kUsbAccess, kUsbShare, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_SYSTEM,
                     nullptr);
}

// "USB\VID_xxxx&PID_xxxx", as a hardware id names them.
void IdsText(char *text, DWORD vendorId, DWORD productId) {
  wsprintfA(text, "USB\\VID_%04X&PID_%04X", static_cast<unsigned>(vendorId & 0xFFFF),
            static_cast<unsigned>(productId & 0xFFFF));
}

// Whether the device has the port's ids; the search's record gets its ids.
bool HasIds(HANDLE device, const char *name, const UsbPort *port) {
  UsbscanDescriptor descriptor = {};
  DWORD returned = 0;
  char seen[kNameSize + 16];
  if (!DeviceIoControl(device, kIoctlGetDeviceDescriptor, nullptr, 0, &descriptor,
                       sizeof descriptor, &returned, nullptr)) {
    wsprintfA(seen, "%s (ids not readable)", name);
    DeviceSearchSaw(seen);
    return false;
  }
  IdsText(seen, descriptor.vendorId, descriptor.productId);
  DeviceSearchSaw(seen);
  return descriptor.vendorId == static_cast<WORD>(port->vendorId) &&
         descriptor.productId == static_cast<WORD>(port->productId);
}

}  // namespace

int UsbscanOpen(UsbPort *port) {
  if (port == nullptr) return 0;
  port->deviceHandle = INVALID_HANDLE_VALUE;
  port->writeHandle = INVALID_HANDLE_VALUE;
  port->readHandle = INVALID_HANDLE_VALUE;
  char *device = port->deviceName;
  char sought[kNameSize];
  IdsText(sought, port->vendorId, port->productId);
  DeviceSearchBegin("still-image", sought);
  bool heldSeen = false;
  for (int number = 0; number <= kLastUsbscanNumber; ++number) {
    wsprintfA(device, "\\\\.\\Usbscan%d", number);
    // A worker that could not be stopped may still use it: not even its ids
    // are asked for.
    if (DeviceHeld(device)) {
      heldSeen = true;
      continue;
    }
    // A device with other ids never becomes the port's: it is closed here.
    HANDLE candidate = OpenPipe(device, 0);
    if (candidate == INVALID_HANDLE_VALUE) continue;
    if (!HasIds(candidate, device, port)) {
      CloseHandle(candidate);
      continue;
    }
    // Once the device matches the open succeeds: a pipe that will not open
    // keeps INVALID_HANDLE_VALUE, and transfers through it fail.
    port->deviceHandle = candidate;
    port->writeHandle =
        port->writePipe == 0 ? port->deviceHandle : OpenPipe(device, port->writePipe);
    port->readHandle = OpenPipe(device, port->readPipe);
    if (port->extraPipe != kNoPipe) port->extraHandle = OpenPipe(device, port->extraPipe);
    return 1;
  }
  device[0] = 0;
  if (heldSeen) return DeviceHeldRefusal();
  return DeviceSearchFailed();
}

// The row of the tables.
Port *UsbPortCreate(void) {
  auto *usb = PortHeapAlloc<UsbPort>();
  if (usb == nullptr) return nullptr;
  usb->header.kind = PORT_KIND_USB;
  usb->header.timeoutSeconds = kDefaultTimeoutSeconds;
  usb->useUsbscan = 1;
  usb->writePipe = kNoPipe;
  usb->readPipe = kNoPipe;
  usb->extraPipe = kNoPipe;
  return &usb->header;
}

// PortDestroy has closed the port.
int UsbPortDestroy(Port *port) {
  PortHeapFree(port);
  return 1;
}

namespace {

// Method choice, then the open notification.
int UsbOpenDevice(UsbPort *port) {
  // Devices whose stuck workers have ended since are free again.
  DeviceHoldRelease();
  int opened = port->useUsbscan ? UsbscanOpen(port) : UsbOpenPrintClass(port);
  port->header.notifyThread = 0;
  if (!opened || port->header.onOpened == nullptr) return opened;
  port->header.onOpened(0);
  if (port->header.notifyRoutine != nullptr) {
    HANDLE thread =
        CreateThread(nullptr, 0, port->header.notifyRoutine, port->header.notifyParam, 0, nullptr);
    port->header.notifyThread = HandleToSlot(thread);
  }
  return 1;
}

}  // namespace

int UsbPortOpen(Port *port) { return UsbOpenDevice(AsUsb(port)); }

int UsbPortClose(Port *port) {
  UsbPort *usb = AsUsb(port);
  PortHeapFree(usb->portName);
  UsbCloseHandles(usb, nullptr);
  // A notification thread that would not stop may still use its parameter:
  // the port gives it up rather than free it under the thread.
  HANDLE notify = SlotToHandle(port->notifyThread);
  if (notify != nullptr) {
    if (!StopThread(notify)) port->notifyParam = nullptr;
    CloseHandle(notify);
  }
  usb->useExtraPipe = 0;
  usb->writePipe = kNoPipe;
  usb->readPipe = kNoPipe;
  usb->extraPipe = kNoPipe;
  usb->deviceName[0] = 0;
  usb->portName = nullptr;
  usb->requestData = nullptr;
  port->notifyThread = 0;
  return 1;
}

int UsbPortRead(Port *port, void *buffer, uint32_t *count) {
  DWORD moved = 0;
  BOOL ok = ReadFile(AsUsb(port)->readHandle, buffer, *count, &moved, nullptr);
  *count = moved;
  return ok ? 1 : 0;
}

int UsbPortWrite(Port *port, const void *buffer, uint32_t *count) {
  DWORD moved = 0;
  BOOL ok = WriteFile(AsUsb(port)->writeHandle, buffer, *count, &moved, nullptr);
  *count = moved;
  return ok ? 1 : 0;
}

// The check: does the printer answer a vendor request?
namespace {

constexpr BYTE kVendorGetCommand = 0xA4;
constexpr DWORD kReplySize = 1024;

// One vendor GET request through the printer-class driver: the bytes returned.
DWORD UsbVendorGetCommand(UsbPort *port) {
  BYTE reply[kReplySize];
  std::memset(reply, 0, sizeof reply);
  port->request = kVendorGetCommand;
  // The request code, then the value in big-endian order.
  BYTE input[3] = {port->request, static_cast<BYTE>(port->requestValue >> 8),
                   static_cast<BYTE>(port->requestValue & 0xFF)};
  // The length field is 16 bits, the reply buffer 1024 bytes: never ask for more.
  DWORD wanted = port->requestLength < kReplySize ? port->requestLength : kReplySize;
  DWORD returned = 0;
  if (!DeviceIoControl(port->deviceHandle, kIoctlVendorGetCommand, input, sizeof input, reply,
                       wanted, &returned, nullptr))
    return 0;
  return returned;
}

}  // namespace

int UsbPortCheck(Port *port) { return UsbVendorGetCommand(AsUsb(port)) != 0 ? 0 : 1; }

// The IEEE 1284 id, asked on a timed job as reads and writes are.
namespace {
unsigned WINAPI AskForId(void *parameter) {
  auto *job = static_cast<PortJob *>(parameter);
  HANDLE device = reinterpret_cast<UsbPort *>(job->port)->deviceHandle;
  DWORD returned = 0;
  if (!DeviceIoControl(device, kIoctlGet1284Id, nullptr, 0, job->data, job->count, &returned,
                       nullptr)) {
    job->error = GetLastError();
    return 0;
  }
  job->data += returned < job->count ? returned : job->count;
  job->count = 0;
  job->result = 1;
  return 0;
}

// The reply as the USB printer class gives it: a big-endian length that counts
// its own two bytes, then the id. A length beyond what came back is cut to it;
// a terminator some drivers add after the id is not part of it.
void TakeId(const BYTE *reply, DWORD returned, Ieee1284Id *answer) {
  if (returned < 2) {
    answer->outcome = IEEE1284_SHORT_REPLY;
    answer->length = returned;
    return;
  }
  DWORD length = static_cast<DWORD>(reply[0]) << 8 | reply[1];
  if (length > returned) length = returned;
  length = length < 2 ? 0 : length - 2;
  while (length > 0 && reply[2 + length - 1] == 0) --length;
  std::memcpy(answer->id, reply + 2, length);
  answer->length = length;
  answer->outcome = IEEE1284_READ;
}

}  // namespace

int PortReadIeee1284Id(Port *port, Ieee1284Id *answer) {
  if (answer == nullptr) return 0;
  answer->outcome = IEEE1284_NOT_PRINT_CLASS;
  answer->error = 0;
  answer->length = 0;
  if (port == nullptr || port->kind != PORT_KIND_USB) return 0;
  auto *usb = reinterpret_cast<UsbPort *>(port);
  if (usb->useUsbscan) return 0;
  answer->outcome = IEEE1284_NO_ANSWER;
  if (port->workerMayRun) return 0;  // an earlier call has not ended yet
  PortJob *job = PortNewJob(port, kIeee1284ReplySize);
  if (job == nullptr) {
    answer->outcome = IEEE1284_REFUSED;
    answer->error = GetLastError();
    return 0;
  }
  const BYTE *reply = job->data;
  bool inTime = false;
  if (!PortRunJob(job, AskForId, &inTime)) {
    PortNoteFailureContext("IEEE 1284 id");
    return 0;  // the job is the device hold's now
  }
  if (job->thread == 0) {
    answer->outcome = IEEE1284_REFUSED;  // no thread to ask on
    answer->error = PortLastFailure()->error;
  } else if (!inTime) {
    PortNoteFailureContext("IEEE 1284 id");
  } else if (job->result == 0) {
    answer->outcome = IEEE1284_REFUSED;
    answer->error = job->error;
  } else {
    TakeId(reply, static_cast<DWORD>(job->data - reply), answer);
  }
  PortHeapFree(job);
  return answer->outcome == IEEE1284_READ ? 1 : 0;
}
