// Search by port name: the printer-class interface whose "Port Number" in the
// registry, written as "USB%03d", is the port name.
#include <cstddef>
#include <cstring>

#include "usb_interface_detail.h"
#include "usb_location.h"
#include "usb_platform.h"

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
