// Runs of the whole program with one platform call going wrong, shared by the
// fault matrix and the soak: the builds, the fault points, one run and what the
// user was shown.
#pragma once

#include <string>
#include <vector>

#include "firmware_image.h"
#include "program_fixture.h"
#include "res/resource_types.h"
#include "world_net.h"

namespace fault_runs {

using world::DeviceCall;
using Action = world::DeviceFault::Action;

enum class Kind { device, allocation, threadCreation, displayContext, close, dialog };

struct FaultPoint {
  Kind kind;
  DeviceCall call;
  Action action;
  unsigned nth;        // counted from the press of the action button
  DWORD maxBytes = 1;  // what a shortened read or write moves
};

const DeviceCall kDeviceCalls[] = {
    DeviceCall::SetupDiGetClassDevsA,
    DeviceCall::SetupDiEnumDeviceInfo,
    DeviceCall::SetupDiGetDeviceRegistryPropertyA,
    DeviceCall::SetupDiEnumDeviceInterfaces,
    DeviceCall::SetupDiGetDeviceInterfaceDetailA,
    DeviceCall::RegCreateKeyA,
    DeviceCall::RegQueryValueExA,
    DeviceCall::CreateFileA,
    DeviceCall::ReadFile,
    DeviceCall::WriteFile,
    DeviceCall::DeviceIoControl,
};
const char *const kDeviceCallNames[] = {
    "SetupDiGetClassDevsA",
    "SetupDiEnumDeviceInfo",
    "SetupDiGetDeviceRegistryPropertyA",
    "SetupDiEnumDeviceInterfaces",
    "SetupDiGetDeviceInterfaceDetailA",
    "RegCreateKeyA",
    "RegQueryValueExA",
    "CreateFileA",
    "ReadFile",
    "WriteFile",
    "DeviceIoControl",
};

inline std::string Describe(const FaultPoint &point) {
  static const char *const kinds[] = {
      "", "heap allocation", "thread start", "display context", "CloseHandle", "DialogBoxParamW"};
  static const char *const actions[] = {
      "fails", "blocks past the time-out", "", "moves 1 byte", "moves 0 bytes", ""};
  std::string name = point.kind == Kind::device
                         ? std::string(kDeviceCallNames[static_cast<int>(point.call)]) + " " +
                               actions[static_cast<int>(point.action)]
                         : std::string(kinds[static_cast<int>(point.kind)]) + " fails";
  return name + " at call " + std::to_string(point.nth);
}

inline void Arm(const FaultPoint &point) {
  switch (point.kind) {
    case Kind::device:
      world::InjectDeviceFault(
          {point.call, point.action, ERROR_GEN_FAILURE, point.maxBytes, point.nth, 1});
      break;
    case Kind::allocation:
      world::FailAllocation(point.nth);
      break;
    case Kind::threadCreation:
      world::FailThreadCreation(point.nth);
      break;
    case Kind::displayContext:
      world::FailDisplayContext(point.nth);
      break;
    case Kind::close:
      world::FailClose(point.nth);
      break;
    case Kind::dialog:
      world::FailDialog(point.nth);
      break;
  }
}

// The builds differ only in the configuration strings and the device that answers.
struct Profile {
  const char *name;
  const char16_t *hardwareId;
  const char16_t *accessMethod;
  bool asksForSwitch;
};
const Profile kProfiles[] = {
    {"printer class", u"USB\\VID_7C5E&PID_4A86", u"PrintClass", false},
    {"mode switch", u"USB\\VID_7C5E&PID_4A83&MI_01", u"PrintClass", true},
    {"still image", u"USB\\VID_7C5E&PID_4A90", u"Usbscan", false},
};

class FaultRunTest : public ProgramTest {
 protected:
  void UseProfile(const Profile &profile) {
    profile_ = &profile;
    // Replacements pile up until restored; no program runs here to hold on to them.
    world::RestoreResources();
    for (WORD language : {WORD(1033), WORD(1041)}) {
      world::ReplaceString(IDS_HARDWARE_ID, language, profile.hardwareId);
      world::ReplaceString(IDS_ACCESS_METHOD, language, profile.accessMethod);
    }
    UseFirmwareImage(image_);
  }

  // A healthy printer of the profile, expecting the image; one that vanishes
  // after `vanishAfter` bytes when that is not 0.
  void AttachHealthy(size_t vanishAfter = 0) {
    vprinter::PrinterConfig config;
    config.expectedImage = image_;
    if (vanishAfter != 0) config.disconnectAfterBytes = vanishAfter;
    config.asksForSwitch = profile_->asksForSwitch;
    printer = std::make_shared<vprinter::SimPrinter>(std::move(config));
    std::u16string wide = profile_->hardwareId;
    if (std::u16string(profile_->accessMethod) == u"Usbscan") {
      world::StillImageDevice device;
      device.vendorId = 0x7C5E;
      device.productId = 0x4A90;
      device.endpoint = printer;
      deviceId = world::AttachStillImageDevice(device);
    } else {
      world::PrintClassDevice device;
      device.hardwareIds = {std::string(wide.begin(), wide.end())};
      device.endpoint = printer;
      deviceId = world::AttachPrintClassDevice(device);
    }
  }

  // Calls of each kind made so far, in the order Points() lists them.
  static std::vector<unsigned> Counts() {
    std::vector<unsigned> counts;
    for (DeviceCall call : kDeviceCalls) counts.push_back(world::DeviceCallsMade(call));
    world::CallCounts others = world::CallsMade();
    counts.insert(counts.end(), {others.allocations, others.threadCreations, others.displayContexts,
                                 others.closes, others.dialogs});
    return counts;
  }

  // Every fault point of a transfer whose calls were counted as `made`.
  static std::vector<FaultPoint> Points(const std::vector<unsigned> &made) {
    std::vector<FaultPoint> points;
    size_t index = 0;
    for (DeviceCall call : kDeviceCalls) {
      bool io = call == DeviceCall::ReadFile || call == DeviceCall::WriteFile;
      for (unsigned nth = 1; nth <= made[index]; ++nth) {
        points.push_back({Kind::device, call, Action::fail, nth});
        if (!io) continue;
        for (Action action : {Action::block, Action::shorten, Action::succeedEmpty})
          points.push_back({Kind::device, call, action, nth});
      }
      ++index;
    }
    for (Kind kind : {Kind::allocation, Kind::threadCreation, Kind::displayContext, Kind::close,
                      Kind::dialog}) {
      for (unsigned nth = 1; nth <= made[index]; ++nth)
        points.push_back({kind, DeviceCall::CreateFileA, Action::fail, nth});
      ++index;
    }
    return points;
  }

  // The calls of one clean transfer in `profile`, in the order Points() takes them.
  std::vector<unsigned> RecordCleanTransfer(const Profile &profile) {
    UseProfile(profile);
    HWND main = StartReady();
    EXPECT_EQ(TransferWith(main, nullptr), "complete");
    std::vector<unsigned> made = Counts();
    EXPECT_TRUE(world::Press(main, IDCANCEL));
    program.reset();
    world::DetachAllDevices();
    return made;
  }

  // The program started with a healthy printer, its licence accepted: the main page.
  HWND StartReady() {
    AttachHealthy();
    HWND main = Accept();
    EXPECT_EQ(world::ControlText(main, IDC_MESSAGE), Text(IDS_READY));
    return main;
  }

  // Presses the action button, the fault armed; what the user was shown.
  std::string TransferWith(HWND main, const FaultPoint *fault) {
    world::DisarmFaults();
    if (fault != nullptr) Arm(*fault);
    size_t opened = Opened();
    unsigned handlesAtEnd = 99;
    world::WatchEndDialog([&](HWND) { handlesAtEnd = world::OpenHandlesOf(deviceId); });
    size_t closed = Closed(IDD_PROGRESS);
    EXPECT_TRUE(world::Press(main, IDOK));
    // The press returns once the handler is done or its progress page is up.
    bool paged = Opened() > opened;
    if (paged)
      EXPECT_TRUE(world::WaitUntil(
          [&] { return Closed(IDD_PROGRESS) > closed && world::IsVisible(main); }));
    world::WatchEndDialog(nullptr);
    std::string message = world::ControlText(main, IDC_MESSAGE);
    // The progress page itself could not be made: the transfer failed before it began.
    if (!paged && fault != nullptr && fault->kind == Kind::dialog) {
      EXPECT_EQ(message, Text(IDS_FAILED));
      return "failed, no progress page";
    }
    if (!paged) {
      EXPECT_EQ(message, Text(IDS_NOT_FOUND)) << "only the probe can fail without the page";
      return "not found";
    }
    EXPECT_EQ(world::EndDialogCalls(world::LastPage(IDD_PROGRESS)), 1);
    EXPECT_EQ(handlesAtEnd, 0u) << "the page ended before the port was let go";
    if (message == Text(IDS_COMPLETE)) {
      EXPECT_TRUE(printer->record().imageMatches)
          << "a fault taken in its stride corrupted the image";
      return "complete";
    }
    EXPECT_EQ(message, Text(IDS_FAILED));
    EXPECT_FALSE(printer->record().imageComplete) << "a delivered image reported as failed";
    return "failed";
  }

  // One whole run: start, the faulted transfer, a retry against a fresh
  // healthy printer, exit; then nothing of the program may be left.
  std::string Run(const FaultPoint &fault) {
    return Run([&](HWND main) { return TransferWith(main, &fault); });
  }

  // The same with any first try.
  template <class FirstTry>
  std::string Run(FirstTry firstTry) {
    size_t handles = world::LiveHandles();
    size_t blocks = world::LiveHeapBlocks();
    size_t sockets = world::LiveSockets();
    HWND main = StartReady();
    std::string outcome = firstTry(main);
    world::DisarmFaults();
    if (outcome != "complete") {
      world::DetachAllDevices();
      AttachHealthy();
      EXPECT_EQ(TransferWith(main, nullptr), "complete") << "the retry";
    }
    EXPECT_TRUE(world::Press(main, IDCANCEL));
    EXPECT_EQ(program->Result(), 0);
    program.reset();
    world::DetachAllDevices();
    EXPECT_EQ(world::LiveThreads(), 0u);
    EXPECT_EQ(world::LiveHandles(), handles) << "handles left open";
    EXPECT_EQ(world::LiveHeapBlocks(), blocks) << "heap blocks left allocated";
    EXPECT_EQ(world::LiveSockets(), sockets) << "sockets left open";
    return outcome;
  }

  static size_t Opened() {
    size_t opened = 0;
    for (const world::PageEvent &event : world::PageHistory())
      if (event.kind == world::PageEvent::Kind::opened && event.templateId == IDD_PROGRESS)
        ++opened;
    return opened;
  }

  // `fullBlocks` blocks of 65,472 bytes and a short last one.
  static std::vector<uint8_t> TestImage(size_t fullBlocks) {
    std::vector<uint8_t> bytes(fullBlocks * 65472 + 1000);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 13 + i / 509);
    return bytes;
  }

  // Two full blocks (first and middle) and a short last one cover every kind
  // of block and keep the runs short.
  std::vector<uint8_t> image_ = TestImage(2);
  const Profile *profile_ = nullptr;
  world::DeviceId deviceId = 0;
};

}  // namespace fault_runs
