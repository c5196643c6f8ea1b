#include "usb_interface_detail.h"

#include <cstddef>
#include <cstring>

#include "usb_platform.h"

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

bool UsbCopyDevicePath(const SP_DEVICE_INTERFACE_DETAIL_DATA_A *detail, DWORD size, char *path) {
  size_t room = size - offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath);
  size_t length = strnlen(detail->DevicePath, room);
  if (length == room || length >= kUsbPathSize) return false;
  std::memcpy(path, detail->DevicePath, length + 1);
  return true;
}
