// Device files: the printer interface path or a Usbscan pipe opened with
// CreateFileA, and the synchronous reads, writes and control requests that go
// through them to the device's endpoint.
#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>

#include "internal/devices.h"

namespace sim {
namespace {

struct DeviceFile : DeviceObject {
  static constexpr Type kType = Type::file;
  DeviceFile(std::shared_ptr<Device> opened, int onPipe)
      : DeviceObject(kType), device(std::move(opened)), pipe(onPipe) {
    ++device->openHandles;
  }
  ~DeviceFile() override { --device->openHandles; }
  const std::shared_ptr<Device> device;
  const int pipe;  // 0 for the printer class
};

constexpr DWORD kGetDeviceDescriptor = 0x80002018;  // IOCTL_GET_DEVICE_DESCRIPTOR
constexpr DWORD kGet1284Id = 0x00220034;            // IOCTL_USBPRINT_GET_1284_ID

// "\\.\Usbscan<number>\<pipe>" in any letter case. The bare device name does
// not parse: the still-image driver opens only its pipes.
bool ParseUsbscanPath(const char *path, long &number, long &pipe) {
  static const char prefix[] = "\\\\.\\usbscan";
  const size_t length = sizeof prefix - 1;
  if (std::strlen(path) <= length || !SameTextIgnoringCase(std::string(path, length), prefix))
    return false;
  const char *p = path + length;
  char *end = nullptr;
  if (!std::isdigit(static_cast<unsigned char>(*p))) return false;
  number = std::strtol(p, &end, 10);
  if (*end != '\\') return false;
  p = end + 1;
  if (!std::isdigit(static_cast<unsigned char>(*p == '-' ? p[1] : *p))) return false;
  pipe = std::strtol(p, &end, 10);
  return *end == '\0';
}

std::shared_ptr<Device> FindDeviceFile(const char *path, int &pipe) {
  long number = -1, pipeNumber = 0;
  bool usbscan = ParseUsbscanPath(path, number, pipeNumber);
  for (const auto &device : AttachedDevices()) {
    if (device->printClass && !usbscan && SameTextIgnoringCase(path, device->print.interfacePath)) {
      pipe = 0;
      return device;
    }
    const std::vector<int> &pipes = device->still.pipes;
    if (!device->printClass && usbscan && device->still.number == number &&
        std::find(pipes.begin(), pipes.end(), pipeNumber) != pipes.end()) {
      pipe = int(pipeNumber);
      return device;
    }
  }
  return nullptr;
}

// The endpoint takes one call at a time per device. A call waiting for its
// turn is in synchronous I/O like any other: it can be cancelled or stopped,
// unless it is `deaf`, as a held call is.
class Turn {
 public:
  Turn(Device &device, bool deaf) : device_(device) {
    std::unique_lock<std::mutex> lock(kernelLock);
    auto free = [&] { return !device.busy || !device.attached; };
    if (deaf)
      Settle(lock, kNever, RealClock::time_point::max(), free);
    else if (!BlockInIo(lock, free))
      error = ERROR_OPERATION_ABORTED;
    if (error == ERROR_SUCCESS && !device.attached) error = ERROR_DEVICE_NOT_CONNECTED;
    if (error == ERROR_SUCCESS) device.busy = true;
  }
  // Also runs when a stopped thread unwinds out of the endpoint.
  ~Turn() {
    if (error != ERROR_SUCCESS) return;
    std::lock_guard<std::mutex> guard(kernelLock);
    device_.busy = false;
    kernelChanged.notify_all();
  }
  Turn(const Turn &) = delete;
  Turn &operator=(const Turn &) = delete;

  DWORD error = ERROR_SUCCESS;

 private:
  Device &device_;
};

// One read, write or control request: the handle's checks, then an injected
// fault, then the endpoint (or a request the driver answers itself). `call`
// gets the size the endpoint may see and gives the outcome.
template <class Call>
BOOL Io(world::DeviceCall name, HANDLE handle, DWORD size, LPDWORD moved, LPOVERLAPPED overlapped,
        Call call) {
  StopPoint();
  if (moved != nullptr) *moved = 0;
  std::shared_ptr<DeviceFile> file = LookUpDeviceObject<DeviceFile>(handle);
  DWORD error = ERROR_SUCCESS;
  world::IoOutcome outcome;
  DWORD overreported = 0;
  if (!file) {
    error = ERROR_INVALID_HANDLE;
  } else if (overlapped != nullptr || moved == nullptr) {
    error = ERROR_INVALID_PARAMETER;  // the program does only synchronous I/O
  } else if (!file->device->attached) {
    error = ERROR_DEVICE_NOT_CONNECTED;
  } else {
    world::DeviceFault fault;
    bool held = false;
    if (TakeDeviceFault(name, fault)) {
      if (fault.action == world::DeviceFault::Action::fail) error = fault.error;
      if (fault.action == world::DeviceFault::Action::block) error = BlockOnDevice(*file->device);
      if (fault.action == world::DeviceFault::Action::blockUncancellable)
        error = BlockOnDevice(*file->device, false);
      if (fault.action == world::DeviceFault::Action::shorten)
        size = std::min(size, fault.maxBytes);
      if (fault.action == world::DeviceFault::Action::overreport) overreported = fault.maxBytes;
      held = fault.action == world::DeviceFault::Action::hold;
      if (held) error = HoldInDevice(fault);
      if (fault.action == world::DeviceFault::Action::succeedEmpty) return TRUE;
    }
    if (error == ERROR_SUCCESS) {
      Turn turn(*file->device, held);
      error = turn.error;
      if (error == ERROR_SUCCESS) outcome = call(*file, size);
    }
    if (error == ERROR_SUCCESS && outcome.kind == world::IoOutcome::Kind::fail)
      error = outcome.error;
    if (error == ERROR_SUCCESS && outcome.kind == world::IoOutcome::Kind::block)
      error = BlockOnDevice(*file->device);
  }
  if (error != ERROR_SUCCESS) {
    SetLastErrorValue(error);
    return FALSE;
  }
  *moved = std::min(outcome.bytes, size) + overreported;
  return TRUE;
}

world::IoOutcome AnswerDescriptor(const Device &device, BYTE *out, DWORD outSize) {
  if (out == nullptr || outSize < 8) return world::IoOutcome::Fail(ERROR_INSUFFICIENT_BUFFER);
  const WORD fields[4] = {device.still.vendorId, device.still.productId, 0x0100, 0x0409};
  for (int i = 0; i < 4; ++i) {
    out[2 * i] = BYTE(fields[i]);
    out[2 * i + 1] = BYTE(fields[i] >> 8);
  }
  return world::IoOutcome::Done(8);
}

// The printer class's reply, as usbprint passes it on: a big-endian length
// that counts its own two bytes, then the id. A guess: a buffer too small for
// it gets what fits, as the USB request's short answer would.
world::IoOutcome Answer1284Id(const std::string &id, BYTE *out, DWORD outSize) {
  std::string reply = {char((id.size() + 2) >> 8), char((id.size() + 2) & 0xFF)};
  reply += id;
  DWORD moved = out == nullptr ? 0 : std::min(DWORD(reply.size()), outSize);
  if (moved != 0) std::memcpy(out, reply.data(), moved);
  return world::IoOutcome::Done(moved);
}

}  // namespace
}  // namespace sim

HANDLE WINAPI CreateFileA(LPCSTR path, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE) {
  sim::StopPoint();
  if (path != nullptr && std::strcmp(path, "CONOUT$") == 0) return sim::OpenConsoleOutput();
  // Only failures are modelled here: opening a device does not wait for it.
  DWORD error = sim::TakeDeviceFailure(world::DeviceCall::CreateFileA);
  int pipe = 0;
  std::shared_ptr<sim::Device> device;
  if (error == ERROR_SUCCESS && path != nullptr) device = sim::FindDeviceFile(path, pipe);
  if (!device || !device->endpoint()) {
    sim::SetLastErrorValue(error != ERROR_SUCCESS ? error : ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  ++device->opens;
  return sim::InsertHandle(std::make_shared<sim::DeviceFile>(device, pipe));
}

BOOL WINAPI ReadFile(HANDLE file, LPVOID buffer, DWORD toRead, LPDWORD read,
                     LPOVERLAPPED overlapped) {
  return sim::Io(world::DeviceCall::ReadFile, file, toRead, read, overlapped,
                 [&](const sim::DeviceFile &opened, DWORD size) {
                   return opened.device->endpoint()->Read(opened.pipe, static_cast<BYTE *>(buffer),
                                                          size);
                 });
}

BOOL WINAPI WriteFile(HANDLE file, LPCVOID buffer, DWORD toWrite, LPDWORD written,
                      LPOVERLAPPED overlapped) {
  if (sim::IsStandardOutput(file)) return sim::WriteStandardOutput(buffer, toWrite, written);
  if (sim::IsConsoleOutput(file)) return sim::WriteConsoleOutput(buffer, toWrite, written);
  if (sim::IsDiskFile(file)) return sim::WriteDiskFile(file, buffer, toWrite, written);
  return sim::Io(world::DeviceCall::WriteFile, file, toWrite, written, overlapped,
                 [&](const sim::DeviceFile &opened, DWORD size) {
                   return opened.device->endpoint()->Write(opened.pipe,
                                                           static_cast<const BYTE *>(buffer), size);
                 });
}

BOOL WINAPI DeviceIoControl(HANDLE device, DWORD code, LPVOID in, DWORD inSize, LPVOID out,
                            DWORD outSize, LPDWORD returned, LPOVERLAPPED overlapped) {
  return sim::Io(
      world::DeviceCall::DeviceIoControl, device, outSize, returned, overlapped,
      [&](const sim::DeviceFile &opened, DWORD size) {
        const sim::Device &target = *opened.device;
        BYTE *reply = static_cast<BYTE *>(out);
        if (!target.printClass && target.still.answerDescriptor &&
            code == sim::kGetDeviceDescriptor)
          return sim::AnswerDescriptor(target, reply, size);
        if (target.printClass && !target.print.ieee1284Id.empty() && code == sim::kGet1284Id)
          return sim::Answer1284Id(target.print.ieee1284Id, reply, size);
        return target.endpoint()->Control(opened.pipe, code, static_cast<const BYTE *>(in), inSize,
                                          reply, size);
      });
}
