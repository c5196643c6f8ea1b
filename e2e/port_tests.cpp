// The port layer's USB driver against real Win32 calls: run under Wine in a
// prefix where the test driver serves three printers (see
// e2e/scenarios/port-layer.sh), it opens ports of both methods and checks what
// only a kernel driver can show: the vendor request, which pipe each handle
// reaches, and a read blocked in the driver ended by its time-out.
//
//   port-tests.exe HARDWARE_ID VID PID ONE_PIPE_PID
//     HARDWARE_ID   the printer-class printer (its pseudo-terminal never answers)
//     VID PID       a still-image device with pipes 0 to 3
//     ONE_PIPE_PID  a still-image device of the same vendor with pipe 0 alone
// Prints one line per check; the status is the number of failed checks.
#include "platform/win32.h"
// After the platform header, which it needs.
#include <tlhelp32.h>

#include <cstdio>
#include <cstdlib>

#include "e2e/driver/vprinter_ioctl.h"
#include "port/port.h"
#include "port/port_driver.h"
#include "port/port_io.h"

namespace {

int failed = 0;

void Check(bool ok, const char *what) {
  std::printf("  %s: %s\n", ok ? "ok" : "FAIL", what);
  if (!ok) ++failed;
}

struct Config {
  const char *hardwareId;
  uint16_t vendorId, productId, onePipeProductId;
};

// A port of the USB kind, set up and opened as `useUsbscan` says; null if the
// open failed.
Port *OpenUsb(const Config &config, int32_t useUsbscan, uint16_t productId, int32_t writePipe,
              int32_t readPipe, int32_t extraPipe) {
  Port *port = nullptr;
  if (!PortCreate(&port, PORT_KIND_USB)) return nullptr;
  PortSetUsbscan(port, useUsbscan);
  PortSetHardwareId(port, config.hardwareId);
  PortSetUsbIds(port, config.vendorId, productId);
  PortSetPipes(port, writePipe, readPipe, extraPipe, extraPipe != kNoPipe);
  if (PortOpen(port)) return port;
  PortDestroy(port);
  return nullptr;
}

UsbPort *Usb(Port *port) { return reinterpret_cast<UsbPort *>(port); }

// What a handle reaches, as the driver tells it: the pipe, or one of these.
constexpr long kNeverOpened = -10;
constexpr long kFailedOpen = -11;
constexpr long kNoAnswer = -12;

long PipeOf(HANDLE handle) {
  if (handle == nullptr) return kNeverOpened;
  if (handle == INVALID_HANDLE_VALUE) return kFailedOpen;
  vp_which which = {};
  DWORD returned = 0;
  if (!DeviceIoControl(handle, IOCTL_VPRINTER_WHICH, nullptr, 0, &which, sizeof which, &returned,
                       nullptr))
    return kNoAnswer;
  return which.pipe;
}

int ThreadsOfThisProcess() {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return -1;
  THREADENTRY32 entry = {};
  entry.dwSize = sizeof entry;
  int count = 0;
  for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
    if (entry.th32OwnerProcessID == GetCurrentProcessId()) ++count;
  CloseHandle(snapshot);
  return count;
}

double Seconds(LARGE_INTEGER from) {
  LARGE_INTEGER now, frequency;
  QueryPerformanceCounter(&now);
  QueryPerformanceFrequency(&frequency);
  return static_cast<double>(now.QuadPart - from.QuadPart) /
         static_cast<double>(frequency.QuadPart);
}

// The vendor request of the check goes to the printer-class printer, which
// answers with the reply the staging gave it: asked for bytes, it answers (0);
// asked for none, there is no answer (1).
void CheckTheCheck(const Config &config) {
  std::printf("check of a printer-class port\n");
  Port *port = OpenUsb(config, 0, config.productId, 0, 1, kNoPipe);
  Check(port != nullptr, "the printer-class port opens");
  if (!port) return;
  const struct {
    uint16_t length;
    int result;
    const char *what;
  } cases[] = {
      {2, 0, "a check asking for 2 bytes is answered (0)"},
      {0, 1, "a check asking for no bytes gets no answer (1)"},
  };
  for (const auto &c : cases) {
    Usb(port)->requestValue = 0x0102;
    Usb(port)->requestLength = c.length;
    Check(portDriver.check[PORT_KIND_USB](port) == c.result, c.what);
  }
  PortDestroy(port);
}

// Which pipe each handle of a still-image port reaches, for write pipe 0 (the
// device's own handle writes) and for another write pipe.
void CheckStillImageHandles(const Config &config) {
  std::printf("still-image handles\n");
  constexpr long kSameAsDevice = -20;
  const struct {
    int32_t write, read, extra;
    long device, writeHandle, readHandle, extraHandle;
    const char *what;
  } cases[] = {
      {0, 1, kNoPipe, 0, kSameAsDevice, 1, kNeverOpened, "write pipe 0, read pipe 1, no extra"},
      {2, 1, 3, 0, 2, 1, 3, "write pipe 2, read pipe 1, extra pipe 3"},
  };
  for (const auto &c : cases) {
    Port *port = OpenUsb(config, 1, config.productId, c.write, c.read, c.extra);
    Check(port != nullptr, c.what);
    if (!port) continue;
    UsbPort *usb = Usb(port);
    Check(PipeOf(usb->deviceHandle) == c.device, "  the device handle is pipe 0");
    if (c.writeHandle == kSameAsDevice)
      Check(usb->writeHandle == usb->deviceHandle, "  writes go through the device handle");
    else
      Check(PipeOf(usb->writeHandle) == c.writeHandle, "  writes go through the write pipe");
    Check(PipeOf(usb->readHandle) == c.readHandle, "  reads go through the read pipe");
    Check(PipeOf(usb->extraHandle) == c.extraHandle, "  the extra handle as the extra pipe says");
    PortDestroy(port);
  }
}

// A device whose write and read pipes do not exist still opens (the scan
// found it); every transfer through the missing pipes then fails at once.
void CheckMissingPipes(const Config &config) {
  std::printf("still-image device without the pipes asked for\n");
  Port *port = OpenUsb(config, 1, config.onePipeProductId, 1, 2, kNoPipe);
  Check(port != nullptr, "the open succeeds");
  if (!port) return;
  Check(PipeOf(Usb(port)->writeHandle) == kFailedOpen, "the write handle failed to open");
  Check(PipeOf(Usb(port)->readHandle) == kFailedOpen, "the read handle failed to open");
  PortSetTimeout(port, 10);
  BYTE bytes[8] = {};
  uint32_t count = sizeof bytes;
  LARGE_INTEGER start;
  QueryPerformanceCounter(&start);
  Check(PortWrite(port, bytes, &count) == 0, "a write fails");
  Check(PortRead(port, bytes, &count) == 0, "a read fails");
  Check(Seconds(start) < 1.0, "both at once, without waiting for the time-out");
  PortDestroy(port);
}

// The printer never answers: the read blocks in the driver until the port's
// time-out, and the first step of the stopping policy (cancelling the I/O, with
// 500 ms of grace before termination) ends it. Nothing is left running.
void CheckBlockedRead(const Config &config) {
  std::printf("a read blocked in the driver\n");
  Port *port = OpenUsb(config, 0, config.productId, 0, 1, kNoPipe);
  Check(port != nullptr, "the printer-class port opens");
  if (!port) return;
  PortSetTimeout(port, 2);
  int threadsBefore = ThreadsOfThisProcess();
  BYTE reply[8] = {};
  uint32_t count = sizeof reply;
  LARGE_INTEGER start;
  QueryPerformanceCounter(&start);
  int result = PortRead(port, reply, &count);
  double took = Seconds(start);
  std::printf("  PortRead returned %d after %.3f s\n", result, took);
  Check(result == 0, "the read fails");
  Check(took >= 1.9, "not before the 2 s time-out");
  Check(took < 2.5, "ended by cancellation, within the 500 ms before termination");
  Check(count == sizeof reply, "the caller's count is untouched");
  Check(ThreadsOfThisProcess() == threadsBefore, "no thread of the read is left");
  PortDestroy(port);
}

}  // namespace

int main(int argc, char **argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: port-tests HARDWARE_ID VID PID ONE_PIPE_PID\n");
    return 100;
  }
  Config config = {argv[1], static_cast<uint16_t>(std::strtoul(argv[2], nullptr, 16)),
                   static_cast<uint16_t>(std::strtoul(argv[3], nullptr, 16)),
                   static_cast<uint16_t>(std::strtoul(argv[4], nullptr, 16))};
  setvbuf(stdout, nullptr, _IONBF, 0);
  CheckTheCheck(config);
  CheckStillImageHandles(config);
  CheckMissingPipes(config);
  CheckBlockedRead(config);
  std::printf("%d failed\n", failed);
  return failed;
}
