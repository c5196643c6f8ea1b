// SetupAPI's device information sets, limited to the printer interface class.
// A set is a snapshot: devices attached or detached after it was made do not
// change it, as on Windows. Other interface classes, and sets of device setup
// classes (no DIGCF_DEVICEINTERFACE), come back empty: the program asks for
// neither, so listing them would only be guessed.
#include <cstring>

#include "internal/devices.h"

namespace sim {
namespace {

struct InfoSet : DeviceObject {
  static constexpr Type kType = Type::infoSet;
  InfoSet() : DeviceObject(kType) {}
  std::vector<std::shared_ptr<Device>> members;
};

// The USB device setup class, which usbprint's devices belong to.
const GUID usbDeviceClass = {
    0x36FC9E60, 0xC465, 0x11CF, {0x80, 0x56, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
constexpr DWORD kInterfaceActive = 0x1;  // SPINT_ACTIVE

BOOL Fail(DWORD error) {
  SetLastErrorValue(error);
  return FALSE;
}

bool Faulted(world::DeviceCall call) {
  DWORD error = TakeDeviceFailure(call);
  if (error != ERROR_SUCCESS) SetLastErrorValue(error);
  return error != ERROR_SUCCESS;
}

std::shared_ptr<InfoSet> LookUpSet(HDEVINFO set) {
  std::shared_ptr<InfoSet> found = LookUpDeviceObject<InfoSet>(set);
  if (!found) SetLastErrorValue(ERROR_INVALID_HANDLE);
  return found;
}

// The member a device record names, or -1 with the last error set.
int MemberOf(const InfoSet &set, const SP_DEVINFO_DATA *device) {
  if (device != nullptr && device->cbSize == sizeof *device)
    for (size_t i = 0; i < set.members.size(); ++i)
      if (set.members[i]->id == device->DevInst) return int(i);
  SetLastErrorValue(ERROR_INVALID_PARAMETER);
  return -1;
}

void Describe(const Device &device, SP_DEVINFO_DATA &data) {
  data.ClassGuid = usbDeviceClass;
  data.DevInst = device.id;
  data.Reserved = 0;
}

}  // namespace
}  // namespace sim

using sim::Fail;
using world::DeviceCall;

HDEVINFO WINAPI SetupDiGetClassDevsA(const GUID *classGuid, PCSTR, HWND, DWORD flags) {
  sim::StopPoint();
  if (sim::Faulted(DeviceCall::SetupDiGetClassDevsA)) return INVALID_HANDLE_VALUE;
  auto set = std::make_shared<sim::InfoSet>();
  if (classGuid != nullptr && sim::SameGuid(*classGuid, sim::usbPrintInterface) &&
      (flags & DIGCF_DEVICEINTERFACE))
    for (const auto &device : sim::AttachedDevices())
      if (device->printClass) set->members.push_back(device);
  return sim::InsertHandle(set);
}

BOOL WINAPI SetupDiDestroyDeviceInfoList(HDEVINFO set) {
  sim::StopPoint();
  if (!sim::LookUpSet(set)) return FALSE;
  sim::RemoveHandle(set);
  return TRUE;
}

BOOL WINAPI SetupDiEnumDeviceInfo(HDEVINFO set, DWORD memberIndex, PSP_DEVINFO_DATA device) {
  sim::StopPoint();
  if (sim::Faulted(DeviceCall::SetupDiEnumDeviceInfo)) return FALSE;
  std::shared_ptr<sim::InfoSet> found = sim::LookUpSet(set);
  if (!found) return FALSE;
  if (device == nullptr || device->cbSize != sizeof *device) return Fail(ERROR_INVALID_USER_BUFFER);
  if (memberIndex >= found->members.size()) return Fail(ERROR_NO_MORE_ITEMS);
  sim::Describe(*found->members[memberIndex], *device);
  return TRUE;
}

BOOL WINAPI SetupDiGetDeviceRegistryPropertyA(HDEVINFO set, PSP_DEVINFO_DATA device, DWORD property,
                                              PDWORD propertyType, PBYTE buffer, DWORD bufferSize,
                                              PDWORD requiredSize) {
  sim::StopPoint();
  if (sim::Faulted(DeviceCall::SetupDiGetDeviceRegistryPropertyA)) return FALSE;
  std::shared_ptr<sim::InfoSet> found = sim::LookUpSet(set);
  if (!found) return FALSE;
  int member = sim::MemberOf(*found, device);
  if (member < 0) return FALSE;
  if (buffer == nullptr && bufferSize != 0) return Fail(ERROR_INVALID_PARAMETER);
  const world::PrintClassDevice &print = found->members[size_t(member)]->print;
  const std::vector<std::string> &ids = print.hardwareIds;
  if (property != SPDRP_HARDWAREID || ids.empty()) return Fail(ERROR_INVALID_DATA);

  std::string multiSz;
  for (const std::string &id : ids) multiSz.append(id).push_back('\0');
  multiSz.push_back('\0');
  if (print.idsUnterminated) multiSz.resize(multiSz.size() - 2);
  DWORD reported = print.reportedIdsSize != 0 ? print.reportedIdsSize : DWORD(multiSz.size());
  if (propertyType != nullptr) *propertyType = REG_MULTI_SZ;
  if (requiredSize != nullptr) *requiredSize = reported;
  if (bufferSize < multiSz.size() || bufferSize < reported) return Fail(ERROR_INSUFFICIENT_BUFFER);
  std::memcpy(buffer, multiSz.data(), multiSz.size());
  return TRUE;
}

BOOL WINAPI SetupDiEnumDeviceInterfaces(HDEVINFO set, PSP_DEVINFO_DATA device,
                                        const GUID *interfaceClassGuid, DWORD memberIndex,
                                        PSP_DEVICE_INTERFACE_DATA deviceInterface) {
  sim::StopPoint();
  if (sim::Faulted(DeviceCall::SetupDiEnumDeviceInterfaces)) return FALSE;
  std::shared_ptr<sim::InfoSet> found = sim::LookUpSet(set);
  if (!found) return FALSE;
  if (interfaceClassGuid == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  if (deviceInterface == nullptr || deviceInterface->cbSize != sizeof *deviceInterface)
    return Fail(ERROR_INVALID_USER_BUFFER);
  // Every member has exactly one interface, of the printer class: interface i
  // of the set is member i's, and a device has only interface 0.
  size_t member = memberIndex;
  if (device != nullptr) {
    int owner = sim::MemberOf(*found, device);
    if (owner < 0) return FALSE;
    member = memberIndex == 0 ? size_t(owner) : found->members.size();
  }
  if (!sim::SameGuid(*interfaceClassGuid, sim::usbPrintInterface) ||
      member >= found->members.size())
    return Fail(ERROR_NO_MORE_ITEMS);
  deviceInterface->InterfaceClassGuid = sim::usbPrintInterface;
  deviceInterface->Flags = sim::kInterfaceActive;
  deviceInterface->Reserved = member + 1;
  return TRUE;
}

BOOL WINAPI SetupDiGetDeviceInterfaceDetailA(HDEVINFO set,
                                             PSP_DEVICE_INTERFACE_DATA deviceInterface,
                                             PSP_DEVICE_INTERFACE_DETAIL_DATA_A detail,
                                             DWORD detailSize, PDWORD requiredSize,
                                             PSP_DEVINFO_DATA device) {
  sim::StopPoint();
  if (sim::Faulted(DeviceCall::SetupDiGetDeviceInterfaceDetailA)) return FALSE;
  std::shared_ptr<sim::InfoSet> found = sim::LookUpSet(set);
  if (!found) return FALSE;
  if (deviceInterface == nullptr || deviceInterface->cbSize != sizeof *deviceInterface ||
      deviceInterface->Reserved == 0 || deviceInterface->Reserved > found->members.size())
    return Fail(ERROR_INVALID_PARAMETER);
  if (detail != nullptr ? detail->cbSize != sizeof *detail : detailSize != 0)
    return Fail(ERROR_INVALID_USER_BUFFER);
  if (device != nullptr && device->cbSize != sizeof *device) return Fail(ERROR_INVALID_USER_BUFFER);

  const sim::Device &member = *found->members[deviceInterface->Reserved - 1];
  const std::string &path = member.print.interfacePath;
  const size_t pathAt = offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath);
  const size_t terminator = member.print.pathUnterminated ? 0 : 1;
  DWORD needed = DWORD(pathAt + path.size() + terminator);
  if (requiredSize != nullptr) *requiredSize = needed;
  if (detailSize < needed) return Fail(ERROR_INSUFFICIENT_BUFFER);
  // The path runs past the declared one-character array, into the caller's buffer.
  std::memcpy(reinterpret_cast<char *>(detail) + pathAt, path.c_str(), path.size() + terminator);
  if (device != nullptr) sim::Describe(member, *device);
  return TRUE;
}
