// Turning the configuration strings into a configured USB port.
#include <cstring>

#include "res/resource.h"
#include "target.h"

namespace {

constexpr uint8_t kTransferTimeoutSeconds = 30;
constexpr int kStringBufferSize = 1024;
constexpr const char *kPrintClassMethod = "PrintClass";

// Entry 16 has a fixed shape, "USB\VID_xxxx&PID_xxxx...": the digits are taken
// from their places, not searched for.
constexpr size_t kVendorDigits = 8;
constexpr size_t kProductDigits = 17;
constexpr size_t kIdDigitCount = 4;

uint16_t IdAt(const char (&hardwareId)[kTargetHardwareIdSize], size_t first) {
  // Work on a zero-filled copy, so that a short id reads zeros, not what lies
  // past its terminator.
  char padded[kTargetHardwareIdSize] = {};
  std::memcpy(padded, hardwareId, strnlen(hardwareId, sizeof padded - 1));
  char digits[10] = {};
  std::memcpy(digits, padded + first, kIdDigitCount);
  return static_cast<uint16_t>(ParseHexId(digits));
}

}  // namespace

void DescribeTarget(void) {
  HMODULE module = GetModuleHandleA(nullptr);
  PortCreate(&currentPort, PORT_KIND_USB);
  PortSetTimeout(currentPort, kTransferTimeoutSeconds);

  PortSetUsbscan(currentPort, 1);
  char method[kStringBufferSize] = {};
  LoadStringA(module, IDS_ACCESS_METHOD, method, kStringBufferSize);
  if (lstrcmpA(method, kPrintClassMethod) == 0) PortSetUsbscan(currentPort, 0);

  PortSetPipes(currentPort, 0, 1, 0, 0);

  TargetInfo description = {};
  LoadStringA(module, IDS_HARDWARE_ID, description.hardwareId, kTargetHardwareIdSize);
  PortSetUsbIds(currentPort, IdAt(description.hardwareId, kVendorDigits),
                IdAt(description.hardwareId, kProductDigits));
  PortSetHardwareId(currentPort, description.hardwareId);

  description.portKind = PORT_KIND_USB;
  description.portCount = 1;
  CurrentTargetInfo(&description);
}
