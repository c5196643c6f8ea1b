// The hardware-id property and the interface paths the platform presents: any
// bytes, any sizes, missing terminators. A search may find a device or not,
// but what it gives back is one device's whole path, ended inside its buffer.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "fuzz_input.h"
#include "live_counts.h"
#include "port/usb_location.h"
#include "port/usb_platform.h"
#include "world.h"
#include "world_devices.h"

namespace {

constexpr char kTarget[] = "hardware ids";
constexpr size_t kDevicesMax = 4;
constexpr char kIdSeparator = '\x7f';

enum DeviceFlags : uint8_t {
  kIdsUnterminated = 1,
  kPathUnterminated = 2,
  kOwnPath = 4,
  kReportedSize = 8,
  kNoPortNumber = 16,
};

// Ids are the text between separators; an empty text gives a device without ids.
std::vector<std::string> IdsFrom(const std::string &text) {
  std::vector<std::string> ids;
  if (text.empty()) return ids;
  size_t start = 0;
  for (size_t end; (end = text.find(kIdSeparator, start)) != std::string::npos; start = end + 1)
    ids.push_back(text.substr(start, end - start));
  ids.push_back(text.substr(start));
  return ids;
}

world::PrintClassDevice DeviceFrom(FuzzInput &input) {
  world::PrintClassDevice device;
  uint8_t flags = input.Byte();
  uint8_t portNumber = input.Byte();
  device.hardwareIds = IdsFrom(input.ShortText());
  if (flags & kOwnPath) {
    // Long paths too: past the search's own buffers.
    size_t length = input.Byte() * 8u;
    device.interfacePath = input.Bytes(length);
  }
  device.idsUnterminated = (flags & kIdsUnterminated) != 0;
  device.pathUnterminated = (flags & kPathUnterminated) != 0;
  if (flags & kReportedSize) device.reportedIdsSize = input.Word();
  device.portNumber = (flags & kNoPortNumber) ? -1 : portNumber;
  return device;
}

// A found path must be the whole path of one attached device.
void RequireOnePath(const char *found, const std::vector<char> &path,
                    const std::vector<world::DeviceId> &devices) {
  if (found == nullptr) {
    Require(path[0] == 0, kTarget, "a failed search left a path behind");
    return;
  }
  Require(found == path.data(), kTarget, "the search returned another buffer");
  Require(std::memchr(path.data(), 0, path.size()) != nullptr, kTarget, "the path is unended");
  bool known = false;
  for (world::DeviceId device : devices)
    if (std::strcmp(world::InterfacePathOf(device).c_str(), path.data()) == 0) known = true;
  Require(known, kTarget, "the path is no device's whole path");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) { return 0; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  FuzzInput input(data, size);
  size_t count = 1 + input.Byte() % kDevicesMax;
  std::vector<world::PrintClassDevice> made;
  for (size_t i = 0; i < count; ++i) made.push_back(DeviceFrom(input));
  std::string wanted = input.ShortText();
  char portName[16];
  std::snprintf(portName, sizeof portName, "USB%03d", input.Byte());

  world::Reset();
  LiveCounts before = CountLive();
  std::vector<world::DeviceId> devices;
  for (const world::PrintClassDevice &device : made)
    devices.push_back(world::AttachPrintClassDevice(device));

  // Exactly the size the search is promised, so a byte past it is caught.
  std::vector<char> path(kUsbPathSize, 'x');
  RequireOnePath(UsbFindByHardwareId(wanted.c_str(), path.data()), path, devices);
  std::fill(path.begin(), path.end(), 'x');
  RequireOnePath(UsbFindByPortName(portName, path.data()), path, devices);

  world::DetachAllDevices();
  RequireNothingLeft(before, kTarget);
  return 0;
}
