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

bool IsPlainAscii(const std::string &text) {
  for (char c : text)
    if (c == 0 || static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

std::string AsciiUpper(std::string text) {
  for (char &c : text)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return text;
}

// Nothing malformed: the data as a healthy driver gives it, in plain ASCII.
bool WellFormed(const world::PrintClassDevice &device) {
  if (device.idsUnterminated || device.pathUnterminated || device.reportedIdsSize != 0 ||
      !device.interfacePath.empty())
    return false;
  for (const std::string &id : device.hardwareIds)
    if (id.empty() || !IsPlainAscii(id)) return false;
  return true;
}

// Among well-formed devices the search has one right answer: the first device
// listing the id in any case, the id itself being upper-case (-1: none).
// -2 when the devices or the id leave the answer to the code page.
int ExpectedMatch(const std::vector<world::PrintClassDevice> &made, const std::string &wanted) {
  if (wanted.empty() || !IsPlainAscii(wanted)) return -2;
  for (const world::PrintClassDevice &device : made)
    if (!WellFormed(device)) return -2;
  if (AsciiUpper(wanted) != wanted) return -1;
  for (size_t i = 0; i < made.size(); ++i)
    for (const std::string &id : made[i].hardwareIds)
      if (AsciiUpper(id) == wanted) return static_cast<int>(i);
  return -1;
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
  const char *found = UsbFindByHardwareId(wanted.c_str(), path.data());
  RequireOnePath(found, path, devices);
  int expected = ExpectedMatch(made, wanted);
  if (expected == -1)
    Require(found == nullptr, kTarget, "a device was found that lists no such id");
  if (expected >= 0)
    Require(found != nullptr && world::InterfacePathOf(devices[size_t(expected)]) == found, kTarget,
            "the first device listing the id was not the one found");
  std::fill(path.begin(), path.end(), 'x');
  RequireOnePath(UsbFindByPortName(portName, path.data()), path, devices);

  world::DetachAllDevices();
  RequireNothingLeft(before, kTarget);
  return 0;
}
