// The transfer as the printer and the progress page see it: the virtual
// printer records every frame and block, the page records every update.
#include "transfer/transfer_worker.h"

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "app/pages.h"
#include "firmware_image.h"
#include "port/port_failure.h"
#include "program_thread.h"
#include "res/resource.h"
#include "res/resource_types.h"
#include "sim_printer.h"
#include "transfer/target.h"
#include "world_devices.h"
#include "world_ui.h"

namespace {

const std::vector<int> kShippedProgress = {6,  12, 19, 25, 32, 38, 44, 51,
                                           57, 64, 70, 77, 83, 89, 96};

std::vector<uint8_t> ResourceImage() {
  HMODULE module = GetModuleHandleA(nullptr);
  HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(IDR_FIRMWARE), kFirmwareResourceType);
  const auto *bytes = static_cast<const uint8_t *>(LockResource(LoadResource(module, found)));
  return std::vector<uint8_t>(bytes, bytes + SizeofResource(module, found));
}

class TransferTest : public SimTest {
 protected:
  void SetUp() override { SimTest::SetUp(); }
  void TearDown() override {
    world::DetachAllDevices();
    SimTest::TearDown();
  }

  // Attaches a virtual printer answering to `ids`, expecting `image`.
  void Attach(vprinter::PrinterConfig config,
              std::vector<std::string> ids = {"USB\\VID_7C5E&PID_4A86"}) {
    printer = std::make_shared<vprinter::SimPrinter>(std::move(config));
    world::PrintClassDevice device;
    device.hardwareIds = std::move(ids);
    device.endpoint = printer;
    deviceId = world::AttachPrintClassDevice(device);
  }

  // A still-image printer with the model's vendor id and `productId`.
  void AttachScanner(vprinter::PrinterConfig config, WORD productId) {
    printer = std::make_shared<vprinter::SimPrinter>(std::move(config));
    world::StillImageDevice device;
    device.vendorId = 0x7C5E;
    device.productId = productId;
    device.endpoint = printer;
    deviceId = world::AttachStillImageDevice(device);
  }

  void UseImage(const std::vector<uint8_t> &image) { UseFirmwareImage(image); }

  void UseHardwareId(const std::u16string &id) {
    for (WORD language : {WORD(1033), WORD(1041)})
      world::ReplaceString(IDS_HARDWARE_ID, language, id);
  }

  // Runs the progress page until the worker ends it, as the main page does;
  // what it ended with.
  static DWORD RunProgressPage() {
    INT_PTR result = DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_PROGRESS),
                                     nullptr, ProgressDialog, 0);
    ReleaseTransferWorker(&workerLaunch);
    return static_cast<DWORD>(result);
  }

  // The same on a program thread, once it and every thread it started ended.
  long RunTransfer() {
    ProgramThread program(RunProgressPage);
    long result = program.Result();
    page = world::LastPage(IDD_PROGRESS);
    // However the page ended, what it held off is given back.
    EXPECT_FALSE(world::SystemKeptAwake()) << "the system is still kept awake";
    EXPECT_EQ(world::ShutdownBlockReason(page), "") << "the session's end is still held up";
    return result;
  }

  int ClosedPages() {
    int closed = 0;
    for (const world::PageEvent &event : world::PageHistory())
      if (event.kind == world::PageEvent::Kind::closed) ++closed;
    return closed;
  }

  std::shared_ptr<vprinter::SimPrinter> printer;
  world::DeviceId deviceId = 0;
  HWND page = nullptr;
};

TEST_F(TransferTest, ShippedImageGoesWholeBehindItsHeaderWithProgress) {
  vprinter::PrinterConfig config;
  config.expectedImage = ResourceImage();
  Attach(config);
  EXPECT_EQ(RunTransfer(), 0);
  vprinter::Record record = printer->record();
  EXPECT_EQ(record.announcedLength, 1018816u);
  EXPECT_TRUE(record.imageComplete);
  EXPECT_TRUE(record.imageMatches);
  EXPECT_TRUE(record.errors.empty());
  std::vector<size_t> blocks(15, 65472);
  blocks.push_back(36736);
  EXPECT_EQ(record.blockSizes, blocks);
  EXPECT_EQ(record.queries, 0u) << "the shipped interface needs no mode switch";

  std::vector<int> progress = kShippedProgress;
  progress.push_back(100);
  EXPECT_EQ(world::ProgressHistory(page, IDC_PROGRESS), progress);
  std::vector<std::string> texts = world::TextHistory(page, IDC_PERCENT);
  ASSERT_EQ(texts.size(), 16u);
  EXPECT_EQ(texts.front(), "6 %");
  EXPECT_EQ(texts.back(), "100 %");
  EXPECT_EQ(world::OpenHandlesOf(deviceId), 0u) << "the port was not released";
  EXPECT_EQ(world::EndDialogCalls(page), 1);
}

TEST_F(TransferTest, ImageSizesAroundTheBlockSize) {
  struct Case {
    uint32_t length;
    std::vector<size_t> blocks;
    std::vector<int> progress;
  };
  const Case cases[] = {
      {130944, {65472, 65472}, {50, 100}},
      {65472, {65472}, {100}},
      {1000, {1000}, {100}},
      {0, {}, {}},
  };
  for (const Case &c : cases) {
    std::vector<uint8_t> image(c.length);
    for (uint32_t i = 0; i < c.length; ++i) image[i] = static_cast<uint8_t>(i * 7 + i / 251);
    UseImage(image);
    vprinter::PrinterConfig config;
    config.expectedImage = image;
    Attach(config);
    DWORD before = GetTickCount();
    EXPECT_EQ(RunTransfer(), 0) << c.length;
    vprinter::Record record = printer->record();
    EXPECT_EQ(record.announcedLength, c.length);
    EXPECT_EQ(record.blockSizes, c.blocks) << c.length;
    EXPECT_EQ(world::ProgressHistory(page, IDC_PROGRESS), c.progress) << c.length;
    if (c.length == 0) {
      EXPECT_TRUE(world::TextHistory(page, IDC_PERCENT).empty());
      EXPECT_LT(GetTickCount() - before, 1000u) << "no pause after an empty image";
    } else {
      EXPECT_TRUE(record.imageMatches) << c.length;
    }
    world::DetachAllDevices();
  }
}

TEST_F(TransferTest, ImagesBeyondThirtyTwoBitProgressStillShowTruePercentages) {
  // Past 43,015,104 bytes the hundredfold byte count no longer fits 32 bits.
  const uint32_t length = 43015104u + 2 * 65472u + 1000;
  UseImage(std::vector<uint8_t>(length, 0xA5));
  Attach(vprinter::PrinterConfig());
  EXPECT_EQ(RunTransfer(), 0);
  std::vector<int> progress = world::ProgressHistory(page, IDC_PROGRESS);
  ASSERT_EQ(progress.size(), 660u);
  EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
  EXPECT_EQ(progress[progress.size() - 2], 99);
  EXPECT_EQ(progress.back(), 100);
}

TEST_F(TransferTest, ModeSwitchRunsOnlyForTheTwoInterfacesExactInCase) {
  struct Case {
    std::u16string id;
    bool asks;
    uint64_t queries;
    uint64_t switches;
  };
  const Case cases[] = {
      {u"USB\\VID_7C5E&PID_4A83&MI_01", true, 1, 1},
      {u"USB\\VID_7C5E&PID_4A71&MI_01", false, 1, 0},
      {u"USB\\VID_7C5E&PID_4A83&MI_02", true, 0, 0},
  };
  for (const Case &c : cases) {
    UseHardwareId(c.id);
    vprinter::PrinterConfig config;
    config.asksForSwitch = c.asks;
    Attach(config, {std::string(c.id.begin(), c.id.end())});
    EXPECT_EQ(RunTransfer(), 0);
    vprinter::Record record = printer->record();
    EXPECT_EQ(record.queries, c.queries);
    EXPECT_EQ(record.switchRequests, c.switches);
    EXPECT_TRUE(record.imageComplete);
    EXPECT_TRUE(record.errors.empty());
    world::DetachAllDevices();
  }
  // Another letter case is another id: the printer-class search cannot match it
  // either, so the transfer never starts.
  UseHardwareId(u"USB\\VID_7C5E&PID_4A83&mi_01");
  Attach(vprinter::PrinterConfig(), {"USB\\VID_7C5E&PID_4A83&MI_01"});
  EXPECT_EQ(RunTransfer(), 1);
  EXPECT_EQ(printer->record().queries, 0u);
  world::DetachAllDevices();
  // The still-image search goes by the vendor and product ids alone, so there
  // the id in another letter case reaches the comparison, which must say no.
  for (WORD language : {WORD(1033), WORD(1041)})
    world::ReplaceString(IDS_ACCESS_METHOD, language, u"Usbscan");
  AttachScanner(vprinter::PrinterConfig(), 0x4A83);
  EXPECT_EQ(RunTransfer(), 0);
  EXPECT_EQ(printer->record().queries, 0u) << "the id was compared ignoring case";
  EXPECT_TRUE(printer->record().imageComplete);
}

TEST_F(TransferTest, ModeSwitchCommandsGoOutAsHeaderThenPayload) {
  UseHardwareId(u"USB\\VID_7C5E&PID_4A83&MI_01");
  vprinter::PrinterConfig config;
  config.asksForSwitch = true;
  Attach(config, {"USB\\VID_7C5E&PID_4A83&MI_01"});
  EXPECT_EQ(RunTransfer(), 0);
  vprinter::Record record = printer->record();
  ASSERT_GE(record.writes.size(), 5u);
  EXPECT_EQ(std::vector<size_t>(record.writes.begin(), record.writes.begin() + 5),
            (std::vector<size_t>{8, 8, 8, 10, 64}))
      << "query 8 + 8, switch request 8 + 10, then the image header";
  EXPECT_EQ(record.reads.size(), 2u) << "the reply's header, then its payload";
  EXPECT_TRUE(record.errors.empty());
}

TEST_F(TransferTest, OddRepliesToTheQuery) {
  struct Case {
    std::vector<uint8_t> reply;
    long result;
    uint64_t switches;
  };
  const Case cases[] = {
      // Eight payload bytes: frame byte 16 stays 0, no switch request.
      {{2, 2, 0, 0, 8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 0, 0},
      // Announces no payload: the read of 0 bytes is refused.
      {{2, 2, 0, 0, 0, 0, 0, 0}, 1, 0},
      // Announces more than the frame holds.
      {{2, 2, 0, 0, 57, 0, 0, 0}, 1, 0},
      // Only a switch byte of exactly 1 asks for the switch.
      {{2, 2, 0, 0, 9, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2}, 0, 0},
      {{2, 2, 0, 0, 9, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF}, 0, 0},
      {{2, 2, 0, 0, 9, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}, 0, 1},
  };
  UseHardwareId(u"USB\\VID_7C5E&PID_4A83&MI_01");
  for (const Case &c : cases) {
    vprinter::PrinterConfig config;
    config.rawReply = c.reply;
    Attach(config, {"USB\\VID_7C5E&PID_4A83&MI_01"});
    EXPECT_EQ(RunTransfer(), c.result);
    EXPECT_EQ(printer->record().switchRequests, c.switches);
    EXPECT_EQ(world::OpenHandlesOf(deviceId), 0u);
    world::DetachAllDevices();
  }
}

TEST_F(TransferTest, EveryFailureReleasesThePortBeforeEndingThePageOnce) {
  struct Case {
    const char *what;
    vprinter::PrinterConfig config;
    const char *step;
  };
  vprinter::PrinterConfig stalls;
  stalls.stallAfterBytes = 64 + 3 * 65472 + 100;
  vprinter::PrinterConfig fails;
  fails.failAfterBytes = 64 + 65472;
  vprinter::PrinterConfig vanishes;
  vanishes.disconnectAfterBytes = 200000;
  const Case cases[] = {
      // Cancelled, not terminated: the write ends within the cancel grace.
      {"stalls", stalls, "write block 4: time-out"},
      {"fails", fails, "write block 2: write"},
      {"vanishes", vanishes, "write block 4: write"},
  };
  for (const Case &c : cases) {
    Attach(c.config);
    unsigned handlesAtEnd = 99;
    world::WatchEndDialog([&](HWND) { handlesAtEnd = world::OpenHandlesOf(deviceId); });
    DWORD before = GetTickCount();
    EXPECT_EQ(RunTransfer(), 1) << c.what;
    DWORD took = GetTickCount() - before;
    world::WatchEndDialog(nullptr);
    EXPECT_EQ(world::EndDialogCalls(page), 1) << c.what;
    EXPECT_EQ(handlesAtEnd, 0u) << c.what << ": the page ended before the port was released";
    EXPECT_FALSE(printer->record().imageComplete);
    EXPECT_EQ(std::string(PortLastFailure()->step), c.step) << c.what;
    if (c.config.stallAfterBytes) {
      // Cancelled at the time-out, the worker ends at once.
      EXPECT_EQ(took, 30000u) << "a stalled printer fails at the time-out";
    }
    world::DetachAllDevices();
  }
  // No printer at all: the worker's own probe fails.
  EXPECT_EQ(RunTransfer(), 1);
  EXPECT_EQ(world::EndDialogCalls(page), 1);
  EXPECT_EQ(std::string(PortLastFailure()->step), "probe: device search");
}

// A fault at the nth call of a device call, on the shipped model or on the
// interface that needs the mode switch, and the failure step it must leave.
struct FaultCase {
  const char *what;
  world::DeviceCall call;
  unsigned nth;
  bool modeSwitch;
  const char *step;
  bool stillImage = false;
  std::string Id() const {
    return modeSwitch ? "USB\\VID_7C5E&PID_4A83&MI_01" : "USB\\VID_7C5E&PID_4A86";
  }
};

TEST_F(TransferTest, FailuresOfTheExchangeAndOfTheLastShortBlockFailTheTransfer) {
  const FaultCase cases[] = {
      {"query header", world::DeviceCall::WriteFile, 1, true, "mode-switch query: write"},
      {"query payload", world::DeviceCall::WriteFile, 2, true, "mode-switch query: write"},
      {"reply header", world::DeviceCall::ReadFile, 1, true, "mode-switch reply: read"},
      {"reply payload", world::DeviceCall::ReadFile, 2, true, "mode-switch reply: read"},
      {"switch request", world::DeviceCall::WriteFile, 4, true, "mode-switch request: write"},
      {"image header", world::DeviceCall::WriteFile, 1, false, "write header: write"},
      {"last, short block", world::DeviceCall::WriteFile, 3, false, "write block 2: write"},
  };
  std::vector<uint8_t> image(65472 + 1000, 0x5A);
  UseImage(image);
  for (const FaultCase &c : cases) {
    std::string id = c.Id();
    UseHardwareId(std::u16string(id.begin(), id.end()));
    vprinter::PrinterConfig config;
    config.asksForSwitch = true;
    Attach(config, {id});
    world::InjectDeviceFault(
        {c.call, world::DeviceFault::Action::fail, ERROR_GEN_FAILURE, 0, c.nth, 1});
    EXPECT_EQ(RunTransfer(), 1) << c.what;
    EXPECT_FALSE(printer->record().imageComplete) << c.what;
    EXPECT_EQ(std::string(PortLastFailure()->step), c.step) << c.what;
    EXPECT_EQ(PortLastFailure()->error, DWORD(ERROR_GEN_FAILURE)) << c.what;
    EXPECT_EQ(world::OpenHandlesOf(deviceId), 0u) << c.what;
    world::DetachAllDevices();
  }
}

TEST_F(TransferTest, CompleteTransferPausesASecondOnOneHundredPercent) {
  // Nothing else in these transfers waits: only the pause can make the page
  // last a second of model time.
  DWORD endedAt = 0;
  world::WatchEndDialog([&](HWND) { endedAt = GetTickCount(); });
  // A short last block, and a full one.
  for (uint32_t length : {1000u, 65472u}) {
    UseImage(std::vector<uint8_t>(length, 0x11));
    Attach(vprinter::PrinterConfig());
    DWORD before = GetTickCount();
    EXPECT_EQ(RunTransfer(), 0);
    EXPECT_GE(endedAt - before, 1000u) << length << ": no pause after 100 %";
    EXPECT_EQ(world::ProgressHistory(page, IDC_PROGRESS), std::vector<int>{100});
    world::DetachAllDevices();
  }
}

size_t CallsOf(const vprinter::Record &record) {
  return record.writes.size() + record.reads.size();
}

// A driver call that holds its thread through cancellation and termination,
// then reaches the printer after all. The page still ends at the time-out; a
// retry at once cannot open the printer while the late call may land, and
// sends nothing; once it has landed, the retry sends the image whole, and
// nothing of the stuck transfer is left alive.
TEST_F(TransferTest, StuckCallHoldsItsPrinterUntilItHasLanded) {
  const FaultCase cases[] = {
      {"block write", world::DeviceCall::WriteFile, 3, false,
       "write block 2: time-out, worker could not be stopped"},
      {"mode-switch reply", world::DeviceCall::ReadFile, 1, true,
       "mode-switch reply: time-out, worker could not be stopped"},
      {"still-image block write", world::DeviceCall::WriteFile, 3, false,
       "write block 2: time-out, worker could not be stopped", true},
  };
  for (const FaultCase &c : cases) {
    std::string id = c.Id();
    UseHardwareId(std::u16string(id.begin(), id.end()));
    for (WORD language : {WORD(1033), WORD(1041)})
      world::ReplaceString(IDS_ACCESS_METHOD, language, c.stillImage ? u"Usbscan" : u"PrintClass");
    vprinter::PrinterConfig config;
    config.expectedImage = ResourceImage();
    if (c.stillImage)
      AttachScanner(config, 0x4A86);
    else
      Attach(config, {id});
    world::DeviceFault hold{c.call, world::DeviceFault::Action::hold, ERROR_SUCCESS};
    hold.first = c.nth;
    hold.holdMs = 45000;
    world::InjectDeviceFault(hold);
    std::vector<DWORD> endedAt;
    world::WatchEndDialog([&](HWND) { endedAt.push_back(GetTickCount()); });
    std::string steps[2];
    size_t calls[2] = {};
    DWORD before = GetTickCount();
    ProgramThread program([&] {
      DWORD failed = 0;
      for (int attempt = 0; attempt < 2; ++attempt) {
        failed += RunProgressPage();
        steps[attempt] = PortLastFailure()->step;
        calls[attempt] = CallsOf(printer->record());
      }
      return failed;
    });
    EXPECT_EQ(program.Result(), 2) << c.what;  // returns once the stuck call let go
    world::WatchEndDialog(nullptr);
    ASSERT_EQ(endedAt.size(), 2u) << c.what;
    EXPECT_EQ(endedAt[0] - before, 32500u) << c.what << ": the page waited for the stuck call";
    EXPECT_EQ(endedAt[1], endedAt[0]) << c.what << ": the retry waited for the stuck call";
    EXPECT_EQ(steps[0], c.step);
    EXPECT_EQ(steps[1], "probe: device held by a request that has not ended") << c.what;
    EXPECT_EQ(calls[1], calls[0]) << c.what << ": the retry reached the printer";
    EXPECT_EQ(CallsOf(printer->record()), calls[0] + 1) << c.what << ": the late call";

    // The printer, switched off and on, keeps nothing of the broken session.
    printer->SwitchOffAndOn();
    EXPECT_EQ(RunTransfer(), 0) << c.what;
    EXPECT_TRUE(printer->record().imageMatches) << c.what;
    EXPECT_TRUE(printer->record().errors.empty()) << c.what;
    EXPECT_EQ(world::OpenHandlesOf(deviceId), 0u) << c.what;
    world::DetachAllDevices();
  }
}

TEST_F(TransferTest, WhileThePageIsUpTheSystemStaysAwakeAndTheSessionCannotEnd) {
  Attach(vprinter::PrinterConfig());
  bool awake = false;
  LRESULT endSession = TRUE;
  std::string reason;
  world::WatchEndDialog([&](HWND progress) {
    awake = world::SystemKeptAwake();
    endSession = world::QueryEndSession(progress);
    reason = world::ShutdownBlockReason(progress);
  });
  EXPECT_EQ(RunTransfer(), 0);
  EXPECT_TRUE(awake);
  EXPECT_EQ(endSession, FALSE);
  EXPECT_NE(reason.find("firmware is being updated"), std::string::npos) << reason;
}

// A byte flipped after the build, no digest (no bytes), a digest cut short: nothing at all
// reaches the printer, not even the mode-switch query. Image and digest share id 101.
TEST_F(TransferTest, DamagedImageOrMissingDigestIsNeverSent) {
  std::vector<BYTE> damaged = ResourceImage();
  damaged[damaged.size() / 2] ^= 0x10;
  const std::pair<const char *, std::vector<BYTE>> cases[] = {
      {kFirmwareResourceType, damaged},
      {kFirmwareDigestResourceType, {}},
      {kFirmwareDigestResourceType, std::vector<BYTE>(31)}};
  for (const auto &[type, bytes] : cases) {
    UseHardwareId(u"USB\\VID_7C5E&PID_4A83&MI_01");
    for (WORD language : {WORD(1033), WORD(1041)}) {
      if (bytes.empty()) world::RemoveResource(type, MAKEINTRESOURCEA(IDR_FIRMWARE), language);
      if (!bytes.empty())
        world::ReplaceResource(type, MAKEINTRESOURCEA(IDR_FIRMWARE), language, bytes);
    }
    vprinter::PrinterConfig config;
    config.asksForSwitch = true;
    Attach(config, {"USB\\VID_7C5E&PID_4A83&MI_01"});
    EXPECT_EQ(RunTransfer(), 1) << type;
    EXPECT_TRUE(printer->record().writes.empty()) << type;
    EXPECT_EQ(std::string(PortLastFailure()->step), "firmware image damaged") << type;
    world::DetachAllDevices();
    world::RestoreResources();
  }
}

TEST_F(TransferTest, MissingImageFailsInsteadOfAnnouncingNothing) {
  world::RemoveResource(kFirmwareResourceType, MAKEINTRESOURCEA(IDR_FIRMWARE), 1033);
  world::RemoveResource(kFirmwareResourceType, MAKEINTRESOURCEA(IDR_FIRMWARE), 1041);
  Attach(vprinter::PrinterConfig());
  PortNoteFailure("write block 3: write", ERROR_GEN_FAILURE);  // an earlier transfer's
  EXPECT_EQ(RunTransfer(), 1);
  EXPECT_EQ(printer->record().bytesReceived, 0u);
  EXPECT_EQ(std::string(PortLastFailure()->step), "firmware resource");
  EXPECT_EQ(PortLastFailure()->error, 0u);
}

TEST_F(TransferTest, WorkerThatCannotStartFailsThePage) {
  Attach(vprinter::PrinterConfig());
  world::FailThreadCreation(2);  // the first is the page's own thread
  EXPECT_EQ(RunTransfer(), 1);
  EXPECT_EQ(printer->record().bytesReceived, 0u);
}

}  // namespace
