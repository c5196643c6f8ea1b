// The configuration strings the target description reads: any text of any
// length as the hardware id (string 16) and the access method (string 17), in
// either language and its code page. The description must keep within its
// buffers, and the port it builds must follow what the texts say.
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "fuzz_input.h"
#include "live_counts.h"
#include "res/resource.h"
#include "transfer/target.h"
#include "world.h"
#include "world_devices.h"

namespace {

constexpr char kTarget[] = "configuration strings";
constexpr WORD kEnglish = 1033;
constexpr WORD kJapanese = 1041;
// Longer than every buffer the description reads into.
constexpr size_t kTextUnitsMax = 1200;
constexpr char16_t kPrintClass[] = u"PrintClass";

enum Flags : uint8_t { kJapaneseFlag = 1, kPrintClassFlag = 2, kAttachFlag = 4 };

std::u16string UnitsFrom(const std::string &bytes) {
  std::u16string units;
  for (size_t i = 0; i + 1 < bytes.size(); i += 2)
    units.push_back(static_cast<char16_t>(static_cast<uint8_t>(bytes[i]) |
                                          static_cast<uint8_t>(bytes[i + 1]) << 8));
  return units;
}

std::u16string UpToNul(const std::u16string &text) { return text.substr(0, text.find(u'\0')); }

bool IsHexDigits(const char *text) {
  for (int i = 0; i < 4; ++i)
    if (!std::strchr("0123456789ABCDEF", text[i]) || text[i] == 0) return false;
  return true;
}

// An id of the documented shape gives its vendor and product ids.
void RequireIdsOfShape(const char *hardwareId, const UsbPort *usb) {
  if (std::strncmp(hardwareId, "USB\\VID_", 8) != 0 || !IsHexDigits(hardwareId + 8) ||
      std::strncmp(hardwareId + 12, "&PID_", 5) != 0 || !IsHexDigits(hardwareId + 17))
    return;
  std::string vendor(hardwareId + 8, 4), product(hardwareId + 17, 4);
  Require(usb->vendorId == std::strtoul(vendor.c_str(), nullptr, 16), kTarget, "vendor id");
  Require(usb->productId == std::strtoul(product.c_str(), nullptr, 16), kTarget, "product id");
}

// A printer that is there and takes nothing: the probe only opens it.
class IdleDevice : public world::DeviceEndpoint {
 public:
  world::IoOutcome Write(int, const BYTE *, DWORD) override {
    return world::IoOutcome::Fail(ERROR_NOT_SUPPORTED);
  }
  world::IoOutcome Read(int, BYTE *, DWORD) override {
    return world::IoOutcome::Fail(ERROR_NOT_SUPPORTED);
  }
  world::IoOutcome Control(int, DWORD, const BYTE *, DWORD, BYTE *, DWORD) override {
    return world::IoOutcome::Fail(ERROR_NOT_SUPPORTED);
  }
};

bool IsAscii(const std::string &text) {
  for (char c : text)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

bool HasLowerCase(const std::string &text) {
  for (char c : text)
    if (c >= 'a' && c <= 'z') return true;
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) { return 0; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  FuzzInput input(data, size);
  uint8_t flags = input.Byte();
  size_t idUnits = input.Word() % kTextUnitsMax;
  std::u16string hardwareId = UnitsFrom(input.Bytes(idUnits * 2));
  std::u16string method = flags & kPrintClassFlag ? kPrintClass : UnitsFrom(input.Rest());
  WORD language = flags & kJapaneseFlag ? kJapanese : kEnglish;

  world::Reset();
  world::SetLanguage(language);
  world::ReplaceString(IDS_HARDWARE_ID, language, hardwareId);
  world::ReplaceString(IDS_ACCESS_METHOD, language, method);
  LiveCounts before = CountLive();

  DescribeTarget();
  Require(currentPort != nullptr, kTarget, "no port was made");
  const auto *usb = reinterpret_cast<const UsbPort *>(currentPort);
  const TargetInfo *info = CurrentTargetInfo(nullptr);
  size_t idLength = strnlen(info->hardwareId, kTargetHardwareIdSize);
  Require(idLength < kTargetHardwareIdSize, kTarget, "the described id is unended");
  bool printClass = UpToNul(method) == kPrintClass;
  Require((usb->useUsbscan == 0) == printClass, kTarget, "the access method is not the text's");
  if (idLength < kHardwareIdSize)
    Require(std::strcmp(usb->hardwareId, info->hardwareId) == 0, kTarget, "the port's id");
  else
    Require(usb->hardwareId[0] == 0, kTarget, "an id too long for the port was cut to fit");
  RequireIdsOfShape(info->hardwareId, usb);
  std::string described = info->hardwareId;
  ReleasePort();

  // A printer-class device listing the described id is found whenever the
  // port could take the id whole; the still-image scan is left to its own tests.
  if (printClass && (flags & kAttachFlag) && !described.empty()) {
    world::PrintClassDevice device;
    device.hardwareIds = {described};
    device.endpoint = std::make_shared<IdleDevice>();
    world::AttachPrintClassDevice(device);
  }
  if (printClass) {
    int probed = ProbeTarget();
    ReleasePort();
    // The device's list is upper-cased before the comparison; how other
    // characters than ASCII letters change depends on the code page.
    bool findable = (flags & kAttachFlag) && !described.empty() &&
                    described.size() < kHardwareIdSize && !HasLowerCase(described);
    if (IsAscii(described))
      Require(probed == (findable ? 1 : 0), kTarget, "the probe's result is not the id's");
  }
  world::DetachAllDevices();
  RequireNothingLeft(before, kTarget);
  return 0;
}
