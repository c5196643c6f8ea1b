// Finding the printer: the two searches of the printer-class devices, by
// hardware id and by port name, and the interface path that both fetch.
#include "usb_location.h"

#include <cstddef>
#include <cstring>

#include "port_failure.h"

// The device path of a printer-class interface, as both searches fetch it.
namespace {

// The interface's detail in a LocalAlloc block of `*size` bytes, or null.
SP_DEVICE_INTERFACE_DETAIL_DATA_A *UsbInterfaceDetail(HDEVINFO set,
                                                      SP_DEVICE_INTERFACE_DATA *interfaceData,
                                                      DWORD *size) {
  DWORD required = 0;
  SetupDiGetDeviceInterfaceDetailA(set, interfaceData, nullptr, 0, &required, nullptr);
  if (required == 0) return nullptr;
  // Never smaller than the record whose size field the platform checks.
  if (required < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A))
    required = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
  auto *detail = static_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A *>(LocalAlloc(LPTR, required));
  if (detail == nullptr) return nullptr;
  detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
  if (!SetupDiGetDeviceInterfaceDetailA(set, interfaceData, detail, required, nullptr, nullptr)) {
    LocalFree(detail);
    return nullptr;
  }
  *size = required;
  return detail;
}

// Copies the detail's path into `path` (kUsbPathSize bytes). A path that does
// not fit cannot be opened as given: false, and `path` is left alone.
bool UsbCopyDevicePath(const SP_DEVICE_INTERFACE_DETAIL_DATA_A *detail, DWORD size, char *path) {
  size_t room = size - offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath);
  size_t length = strnlen(detail->DevicePath, room);
  if (length == room || length >= kUsbPathSize) return false;
  std::memcpy(path, detail->DevicePath, length + 1);
  return true;
}

}  // namespace

// Search by hardware id: the printer-class device whose SPDRP_HARDWAREID list
// holds the id, and the device path of that same device's interface.
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

// Search by port name: the printer-class interface whose "Port Number" in the
// registry, written as "USB%03d", is the port name.
namespace {

// The platform ends the list with ERROR_NO_MORE_ITEMS. Any other failure is
// about one interface and the walk goes on, but only so far: no machine has
// this many printer interfaces in a row that cannot be read, so a longer run
// means the enumeration itself is broken, and the search gives up.
constexpr int kEnumerationFailureLimit = 256;

constexpr char kDeviceParametersKey[] =
    "SYSTEM\\CurrentControlSet\\Control\\DeviceClasses\\%s\\%s\\#\\Device Parameters";
// The format above without its terminator and its two "%s".
constexpr size_t kKeyFormatLength = sizeof kDeviceParametersKey - 1 - 4;
constexpr int kGuidTextSize = 64;
constexpr int kWideGuidSize = 60;
constexpr size_t kKeySize = 1024;

// The interface's port name ("USB%03d") into `name`; false when the interface
// is one to skip: a "#dot4#" interface, one without a readable port number, or
// one whose path does not end inside the `room` bytes the platform gave it.
bool InterfacePortName(const char *devicePath, size_t room, char *name) {
  // The registry names an interface by its path with every backslash as '#'.
  char keyForm[kUsbPathSize] = {};
  size_t length = strnlen(devicePath, room < kUsbPathSize ? room : kUsbPathSize);
  if (length == room || length == kUsbPathSize) return false;
  for (size_t i = 0; i < length; ++i) keyForm[i] = devicePath[i] == '\\' ? '#' : devicePath[i];
  if (std::strstr(keyForm, "#dot4#") != nullptr) return false;

  WCHAR wideGuid[kWideGuidSize] = {};
  char guid[kGuidTextSize] = {};
  StringFromGUID2(kUsbPrintInterfaceClass, wideGuid, kWideGuidSize);
  WideCharToMultiByte(CP_ACP, 0, wideGuid, -1, guid, kGuidTextSize, nullptr, nullptr);
  guid[kGuidTextSize - 1] = 0;

  // wsprintfA would cut a longer key silently, and then open the wrong one.
  if (kKeyFormatLength + std::strlen(guid) + length >= kKeySize) return false;
  char keyName[kKeySize];
  wsprintfA(keyName, kDeviceParametersKey, guid, keyForm);

  HKEY key = nullptr;
  if (RegCreateKeyA(HKEY_LOCAL_MACHINE, keyName, &key) != ERROR_SUCCESS) return false;
  DWORD number = 0;
  DWORD size = sizeof number;
  LONG read = RegQueryValueExA(key, "Port Number", nullptr, nullptr,
                               reinterpret_cast<LPBYTE>(&number), &size);
  RegCloseKey(key);
  if (read != ERROR_SUCCESS) return false;
  wsprintfA(name, "USB%03d", static_cast<int>(number));
  return true;
}

}  // namespace

char *UsbFindByPortName(const char *portName, char *path) {
  if (portName == nullptr || path == nullptr) return nullptr;
  path[0] = 0;
  HDEVINFO set = SetupDiGetClassDevsA(&kUsbPrintInterfaceClass, nullptr, nullptr,
                                      DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
  if (set == INVALID_HANDLE_VALUE) return nullptr;

  bool found = false;
  int failuresInARow = 0;
  for (DWORD index = 0; !found; ++index) {
    SP_DEVICE_INTERFACE_DATA interfaceData = {};
    interfaceData.cbSize = sizeof interfaceData;
    if (!SetupDiEnumDeviceInterfaces(set, nullptr, &kUsbPrintInterfaceClass, index,
                                     &interfaceData)) {
      if (GetLastError() == ERROR_NO_MORE_ITEMS) break;
      if (++failuresInARow == kEnumerationFailureLimit) break;
      continue;
    }
    failuresInARow = 0;
    DWORD size = 0;
    SP_DEVICE_INTERFACE_DETAIL_DATA_A *detail = UsbInterfaceDetail(set, &interfaceData, &size);
    if (detail == nullptr) break;
    char name[32];
    size_t room = size - offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath);
    if (InterfacePortName(detail->DevicePath, room, name) && lstrcmpiA(name, portName) == 0)
      found = UsbCopyDevicePath(detail, size, path);
    LocalFree(detail);
  }
  SetupDiDestroyDeviceInfoList(set);
  if (!found) {
    path[0] = 0;
    return nullptr;
  }
  return path;
}
