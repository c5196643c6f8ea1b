// Search by hardware id: the printer-class device whose SPDRP_HARDWAREID list
// holds the id, and the device path of that same device's interface.
#include <cstring>

#include "device_search.h"
#include "usb_interface_detail.h"
#include "usb_location.h"
#include "usb_platform.h"

namespace {

// A device whose property keeps growing between the size query and the read
// would otherwise keep the search asking for ever.
constexpr int kPropertyAttempts = 4;
// Far beyond any real list, and far from where a 32-bit size wraps.
constexpr DWORD kHardwareIdsMaxSize = 0x10000000;

enum class IdList { read, noIds, failed };

// Reads the device's hardware ids into a LocalAlloc block one byte longer than
// the platform reported, zero-filled, so an unterminated last entry still ends
// inside the block. A failure is kept in the search's record.
IdList ReadHardwareIds(HDEVINFO set, SP_DEVINFO_DATA *device, char **ids, DWORD *size) {
  *ids = nullptr;
  *size = 0;
  DWORD error = 0;
  for (int attempt = 0; attempt < kPropertyAttempts; ++attempt) {
    DWORD required = 0;
    if (SetupDiGetDeviceRegistryPropertyA(set, device, SPDRP_HARDWAREID, nullptr,
                                          reinterpret_cast<PBYTE>(*ids), *size, &required))
      return IdList::read;
    error = GetLastError();
    LocalFree(*ids);
    *ids = nullptr;
    *size = 0;
    if (error == ERROR_INVALID_DATA) return IdList::noIds;
    // The block is one byte longer than required: that byte must not wrap the size.
    if (error != ERROR_INSUFFICIENT_BUFFER || required == 0 || required > kHardwareIdsMaxSize)
      break;
    *ids = static_cast<char *>(LocalAlloc(LPTR, required + 1));
    if (*ids == nullptr) {
      DeviceSearchBroke("LocalAlloc", GetLastError());
      return IdList::failed;
    }
    *size = required;
  }
  LocalFree(*ids);
  *ids = nullptr;
  DeviceSearchBroke("SetupDiGetDeviceRegistryPropertyA", error);
  return IdList::failed;
}

// Every entry is upper-cased in place and compared whole; the id looked for is
// not, so only an upper-case id can match.
bool ListHolds(char *ids, DWORD size, const char *hardwareId) {
  bool found = false;
  for (DWORD offset = 0; offset < size && ids[offset] != 0;) {
    char *entry = ids + offset;
    CharUpperA(entry);
    if (lstrcmpA(entry, hardwareId) == 0) found = true;
    offset += static_cast<DWORD>(strnlen(entry, size - offset)) + 1;
  }
  return found;
}

// The path of the device's own printer-class interface into `path`; where it
// cannot be had, the search's record says why.
bool CopyInterfacePath(HDEVINFO set, SP_DEVINFO_DATA *device, char *path) {
  SP_DEVICE_INTERFACE_DATA interfaceData = {};
  interfaceData.cbSize = sizeof interfaceData;
  if (!SetupDiEnumDeviceInterfaces(set, device, &kUsbPrintInterfaceClass, 0, &interfaceData)) {
    DeviceSearchBroke("SetupDiEnumDeviceInterfaces", GetLastError());
    return false;
  }
  DWORD size = 0;
  SP_DEVICE_INTERFACE_DETAIL_DATA_A *detail = UsbInterfaceDetail(set, &interfaceData, &size);
  if (detail == nullptr) {
    DeviceSearchBroke("SetupDiGetDeviceInterfaceDetailA", GetLastError());
    return false;
  }
  bool copied = UsbCopyDevicePath(detail, size, path);
  LocalFree(detail);
  if (!copied) DeviceSearchBroke("reading its interface path (over 1,023 characters)", 0);
  return copied;
}

}  // namespace

char *UsbFindByHardwareId(const char *hardwareId, char *path) {
  if (hardwareId == nullptr || path == nullptr) return nullptr;
  path[0] = 0;
  DeviceSearchBegin("printer-class", hardwareId);
  HDEVINFO set = SetupDiGetClassDevsA(&kUsbPrintInterfaceClass, nullptr, nullptr,
                                      DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
  if (set == INVALID_HANDLE_VALUE) {
    DeviceSearchBroke("SetupDiGetClassDevsA", GetLastError());
    return nullptr;
  }

  bool found = false;
  for (DWORD index = 0;; ++index) {
    SP_DEVINFO_DATA device = {};
    device.cbSize = sizeof device;
    if (!SetupDiEnumDeviceInfo(set, index, &device)) {
      DWORD error = GetLastError();
      if (error != ERROR_NO_MORE_ITEMS) DeviceSearchBroke("SetupDiEnumDeviceInfo", error);
      break;
    }
    char *ids = nullptr;
    DWORD size = 0;
    IdList list = ReadHardwareIds(set, &device, &ids, &size);
    if (list == IdList::noIds) DeviceSearchSaw("(no hardware ids)");
    if (list == IdList::noIds) continue;
    if (list == IdList::failed) break;
    // The first id is the most specific, as the platform lists them.
    DeviceSearchSaw(ids);
    bool matches = ListHolds(ids, size, hardwareId);
    LocalFree(ids);
    if (!matches) continue;
    // The first matching device decides, whether or not its path can be had.
    found = CopyInterfacePath(set, &device, path);
    break;
  }
  SetupDiDestroyDeviceInfoList(set);
  if (!found) {
    path[0] = 0;
    return nullptr;
  }
  return path;
}
