// The world's devices as the model's SetupAPI, registry and device files see
// them, and the objects those calls leave in the handle table.
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "../win32_devices.h"
#include "../world_devices.h"
#include "kernel.h"

namespace sim {

// One attached device. Everything but the atomics and `busy` is fixed at attach
// time, so the calls read it without a lock.
struct Device {
  world::DeviceId id = 0;
  bool printClass = true;
  world::PrintClassDevice print;  // interfacePath always filled in
  world::StillImageDevice still;
  std::atomic<bool> attached{true};  // cleared under kernelLock, so a blocked call sees it
  std::atomic<unsigned> opens{0};
  std::atomic<unsigned> openHandles{0};
  bool busy = false;  // under kernelLock: a call is in the endpoint

  const std::shared_ptr<world::DeviceEndpoint> &endpoint() const {
    return printClass ? print.endpoint : still.endpoint;
  }
};

// Attached devices in the order they were attached.
std::vector<std::shared_ptr<Device>> AttachedDevices();

// The fault armed for this call of `call`, if any; counts the call either way.
bool TakeDeviceFault(world::DeviceCall call, world::DeviceFault &fault);
// For calls that neither block nor move bytes: the error of an armed failure,
// or ERROR_SUCCESS. An armed block or shorten means nothing there and passes.
DWORD TakeDeviceFailure(world::DeviceCall call);
void ClearDeviceFaults();

// Detaches every device and disarms every device fault.
void ResetDevices();

// Blocks the calling thread in its device call until the device is detached
// (ERROR_DEVICE_NOT_CONNECTED) or, when `cancellable`, CancelSynchronousIo
// aborts the call (ERROR_OPERATION_ABORTED). Stopping the thread always ends it.
DWORD BlockOnDevice(const Device &device, bool cancellable = true);
// Holds the calling thread for the fault's `holdMs` of model time, deaf to
// cancellation, stopping and detach; returns the fault's error (ERROR_SUCCESS:
// the call goes on to the device).
DWORD HoldInDevice(const world::DeviceFault &fault);

extern const GUID usbPrintInterface;  // GUID_DEVINTERFACE_USBPRINT
// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", upper or lower case.
std::string GuidText(const GUID &guid, bool upper);
bool SameGuid(const GUID &a, const GUID &b);
bool SameTextIgnoringCase(const std::string &a, const std::string &b);
// A device path as the registry names its key: every backslash turned into '#'.
std::string KeyForm(std::string path);

// What SetupAPI, the registry and device files leave in the handle table.
struct DeviceObject : KernelObject {
  enum class Type { infoSet, registryKey, file };
  explicit DeviceObject(Type t) : KernelObject(Kind::device), type(t) {}
  const Type type;
};

// The object behind `handle` if it is a T (a DeviceObject with T::kType).
template <class T>
std::shared_ptr<T> LookUpDeviceObject(const void *handle) {
  std::shared_ptr<KernelObject> object = LookUpHandle(const_cast<void *>(handle));
  if (!object || object->kind != KernelObject::Kind::device) return nullptr;
  if (static_cast<DeviceObject &>(*object).type != T::kType) return nullptr;
  return std::static_pointer_cast<T>(object);
}

}  // namespace sim
