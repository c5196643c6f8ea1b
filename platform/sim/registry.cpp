// The registry as the program reads it: the "Device Parameters" key of an
// attached printer interface under HKEY_LOCAL_MACHINE, and its "Port Number".
// Only interfaces that have a port number have the key here. Registry calls
// report their error as the result, not through GetLastError.
#include <cstring>

#include "internal/devices.h"

namespace sim {
namespace {

struct RegistryKey : DeviceObject {
  static constexpr Type kType = Type::registryKey;
  explicit RegistryKey(DWORD port) : DeviceObject(kType), portNumber(port) {}
  const DWORD portNumber;  // read when the key was opened
};

std::string DeviceParametersKey(const Device &device) {
  return "SYSTEM\\CurrentControlSet\\Control\\DeviceClasses\\" + GuidText(usbPrintInterface, true) +
         "\\" + KeyForm(device.print.interfacePath) + "\\#\\Device Parameters";
}

}  // namespace
}  // namespace sim

// RegCreateKeyA asks for full access. A key that exists opens, but an ordinary
// user may not create one under HKEY_LOCAL_MACHINE, so every other path is
// refused with ERROR_ACCESS_DENIED. That error is a guess an end-to-end run
// under Wine settles; the program treats any failure alike.
LONG WINAPI RegCreateKeyA(HKEY key, LPCSTR subKey, PHKEY result) {
  sim::StopPoint();
  if (DWORD error = sim::TakeDeviceFailure(world::DeviceCall::RegCreateKeyA)) return LONG(error);
  if (result == nullptr) return ERROR_INVALID_PARAMETER;
  if (key != HKEY_LOCAL_MACHINE) return ERROR_INVALID_HANDLE;
  if (subKey == nullptr) return ERROR_ACCESS_DENIED;
  for (const auto &device : sim::AttachedDevices()) {
    if (!device->printClass || device->print.portNumber < 0 ||
        !sim::SameTextIgnoringCase(subKey, sim::DeviceParametersKey(*device)))
      continue;
    auto opened = std::make_shared<sim::RegistryKey>(DWORD(device->print.portNumber));
    *result = reinterpret_cast<HKEY>(sim::InsertHandle(opened));
    return ERROR_SUCCESS;
  }
  return ERROR_ACCESS_DENIED;
}

LONG WINAPI RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type,
                             LPBYTE data, LPDWORD dataSize) {
  sim::StopPoint();
  if (DWORD error = sim::TakeDeviceFailure(world::DeviceCall::RegQueryValueExA)) return LONG(error);
  std::shared_ptr<sim::RegistryKey> found = sim::LookUpDeviceObject<sim::RegistryKey>(key);
  if (!found) return ERROR_INVALID_HANDLE;
  if (reserved != nullptr || (data != nullptr && dataSize == nullptr))
    return ERROR_INVALID_PARAMETER;
  if (valueName == nullptr || !sim::SameTextIgnoringCase(valueName, "Port Number"))
    return ERROR_FILE_NOT_FOUND;
  if (type != nullptr) *type = REG_DWORD;
  if (dataSize == nullptr) return ERROR_SUCCESS;
  DWORD room = *dataSize;
  *dataSize = sizeof found->portNumber;
  if (data == nullptr) return ERROR_SUCCESS;
  if (room < sizeof found->portNumber) return ERROR_MORE_DATA;
  std::memcpy(data, &found->portNumber, sizeof found->portNumber);
  return ERROR_SUCCESS;
}

LONG WINAPI RegCloseKey(HKEY key) {
  sim::StopPoint();
  if (!sim::LookUpDeviceObject<sim::RegistryKey>(key)) return ERROR_INVALID_HANDLE;
  sim::RemoveHandle(key);
  return ERROR_SUCCESS;
}
