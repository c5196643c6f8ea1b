// The devices plugged into the machine: what tests attach and detach, and what
// the model's device calls find.
#include <cctype>
#include <map>
#include <mutex>

#include "internal/devices.h"

namespace sim {
namespace {

std::mutex devicesLock;
// Every device not yet forgotten, detached ones too, so tests can still count
// what the program left open on them. Ids grow, so the order is attach order.
std::map<world::DeviceId, std::shared_ptr<Device>> devices;
world::DeviceId nextId = 1;

std::shared_ptr<Device> Find(world::DeviceId id) {
  std::lock_guard<std::mutex> guard(devicesLock);
  auto found = devices.find(id);
  return found == devices.end() ? nullptr : found->second;
}

void MarkDetached(Device &device) {
  std::lock_guard<std::mutex> guard(kernelLock);
  device.attached = false;
  kernelChanged.notify_all();
}

// The four hex digits after `tag` ("VID_", "PID_") in a hardware id, lower case.
std::string IdPart(const std::string &id, const char *tag) {
  std::string upper;
  for (char c : id) upper.push_back(char(std::toupper(static_cast<unsigned char>(c))));
  size_t at = upper.find(tag);
  if (at == std::string::npos || upper.size() < at + 8) return "unknown";
  std::string digits = upper.substr(at + 4, 4);
  for (char &c : digits) c = char(std::tolower(static_cast<unsigned char>(c)));
  return digits;
}

std::string DefaultInterfacePath(const world::PrintClassDevice &device) {
  std::string first = device.hardwareIds.empty() ? std::string() : device.hardwareIds[0];
  return "\\\\?\\usb#vid_" + IdPart(first, "VID_") + "&pid_" + IdPart(first, "PID_") + "#" +
         device.instance + "#" + GuidText(usbPrintInterface, false);
}

// The device is complete before it goes into the map: from then on other
// threads read it without a lock.
world::DeviceId Attach(std::shared_ptr<Device> device) {
  std::lock_guard<std::mutex> guard(devicesLock);
  device->id = nextId++;
  world::PrintClassDevice &print = device->print;
  if (device->printClass && print.instance.empty())
    print.instance = "7&1a2b3c4d&0&" + std::to_string(device->id);
  if (device->printClass && print.interfacePath.empty())
    print.interfacePath = DefaultInterfacePath(print);
  devices.emplace(device->id, device);
  return device->id;
}

}  // namespace

std::vector<std::shared_ptr<Device>> AttachedDevices() {
  std::vector<std::shared_ptr<Device>> attached;
  std::lock_guard<std::mutex> guard(devicesLock);
  for (const auto &entry : devices)
    if (entry.second->attached) attached.push_back(entry.second);
  return attached;
}

DWORD BlockOnDevice(const Device &device, bool cancellable) {
  std::unique_lock<std::mutex> lock(kernelLock);
  while (!BlockInIo(lock, [&] { return !device.attached; })) {
    if (cancellable) return ERROR_OPERATION_ABORTED;
  }
  return ERROR_DEVICE_NOT_CONNECTED;
}

DWORD HoldInDevice(const world::DeviceFault &fault) {
  std::unique_lock<std::mutex> lock(kernelLock);
  kernelChanged.wait_until(lock, RealDeadline(fault.holdMs), [] { return false; });
  return fault.error;
}

void ResetDevices() {
  world::DetachAllDevices();
  ClearDeviceFaults();
}

}  // namespace sim

namespace world {

DeviceId AttachPrintClassDevice(const PrintClassDevice &device) {
  auto attached = std::make_shared<sim::Device>();
  attached->print = device;
  return sim::Attach(attached);
}

DeviceId AttachStillImageDevice(const StillImageDevice &device) {
  auto attached = std::make_shared<sim::Device>();
  attached->printClass = false;
  attached->still = device;
  return sim::Attach(attached);
}

void DetachDevice(DeviceId device) {
  if (std::shared_ptr<sim::Device> found = sim::Find(device)) sim::MarkDetached(*found);
}

void DetachAllDevices() {
  std::map<DeviceId, std::shared_ptr<sim::Device>> all;
  {
    std::lock_guard<std::mutex> guard(sim::devicesLock);
    all.swap(sim::devices);
  }
  for (auto &entry : all) sim::MarkDetached(*entry.second);
}

std::string InterfacePathOf(DeviceId device) {
  std::shared_ptr<sim::Device> found = sim::Find(device);
  return found && found->printClass ? found->print.interfacePath : std::string();
}

unsigned OpensOf(DeviceId device) {
  std::shared_ptr<sim::Device> found = sim::Find(device);
  return found ? found->opens.load() : 0;
}

unsigned OpenHandlesOf(DeviceId device) {
  std::shared_ptr<sim::Device> found = sim::Find(device);
  return found ? found->openHandles.load() : 0;
}

}  // namespace world
