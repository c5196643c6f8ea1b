// The configured printer: the port the configuration strings produce, and the
// probe's promises about the current port and the published description.
#include <memory>
#include <string>
#include <vector>

#include "res/resource.h"
#include "sim_printer.h"
#include "sim_test.h"
#include "transfer/target.h"
#include "world_devices.h"

namespace {

class TargetTest : public SimTest {
 protected:
  void TearDown() override {
    ReleasePort();
    SimTest::TearDown();
  }

  // Describes the target with entries 16 and 17 replaced in both languages.
  const UsbPort *Describe(const std::u16string &hardwareId, const std::u16string &method) {
    for (WORD language : {WORD(1033), WORD(1041)}) {
      world::ReplaceString(IDS_HARDWARE_ID, language, hardwareId);
      world::ReplaceString(IDS_ACCESS_METHOD, language, method);
    }
    DescribeTarget();
    return reinterpret_cast<const UsbPort *>(currentPort);
  }
};

TEST_F(TargetTest, ShippedStringsGiveAPrinterClassPortForTheModel) {
  DescribeTarget();
  ASSERT_NE(currentPort, nullptr);
  const auto *usb = reinterpret_cast<const UsbPort *>(currentPort);
  EXPECT_EQ(currentPort->kind, PORT_KIND_USB);
  EXPECT_EQ(currentPort->timeoutSeconds, 30);
  EXPECT_EQ(usb->useUsbscan, 0);
  EXPECT_EQ(usb->writePipe, 0);
  EXPECT_EQ(usb->readPipe, 1);
  EXPECT_EQ(usb->extraPipe, -1);
  EXPECT_EQ(usb->vendorId, 0x7C5Eu);
  EXPECT_EQ(usb->productId, 0x4A86u);
  EXPECT_STREQ(usb->hardwareId, "USB\\VID_7C5E&PID_4A86");
  EXPECT_STREQ(CurrentTargetInfo(nullptr)->hardwareId, "USB\\VID_7C5E&PID_4A86");
  EXPECT_EQ(CurrentTargetInfo(nullptr)->portKind, 0);
  EXPECT_EQ(CurrentTargetInfo(nullptr)->portCount, 1);
}

TEST_F(TargetTest, OnlyTheExactMethodNameSelectsThePrinterClass) {
  EXPECT_EQ(Describe(u"USB\\VID_7C5E&PID_4A86", u"printclass")->useUsbscan, 1);
  ReleasePort();
  EXPECT_EQ(Describe(u"USB\\VID_7C5E&PID_4A86", u"Usbscan")->useUsbscan, 1);
  ReleasePort();
  EXPECT_EQ(Describe(u"USB\\VID_7C5E&PID_4A86", u"PrintClass")->useUsbscan, 0);
}

TEST_F(TargetTest, InterfaceSuffixIsKeptInTheIdButNotParsed) {
  const UsbPort *usb = Describe(u"USB\\VID_7C5E&PID_4A83&MI_01", u"PrintClass");
  EXPECT_EQ(usb->vendorId, 0x7C5Eu);
  EXPECT_EQ(usb->productId, 0x4A83u);
  EXPECT_STREQ(usb->hardwareId, "USB\\VID_7C5E&PID_4A83&MI_01");
  EXPECT_STREQ(CurrentTargetInfo(nullptr)->hardwareId, "USB\\VID_7C5E&PID_4A83&MI_01");
}

TEST_F(TargetTest, ShortOrMissingIdReadsNothingBeyondItsText) {
  const UsbPort *usb = Describe(u"USB\\VID_7C", u"PrintClass");
  EXPECT_EQ(usb->vendorId, 0x7Cu) << "the vendor text ends where the id ends";
  EXPECT_EQ(usb->productId, 0u);
  ReleasePort();
  usb = Describe(u"", u"");
  EXPECT_EQ(usb->vendorId, 0u);
  EXPECT_EQ(usb->useUsbscan, 1);
  EXPECT_STREQ(usb->hardwareId, "");
}

TEST_F(TargetTest, IdTooLongForThePortLeavesThePortWithoutOne) {
  std::u16string longId = u"USB\\VID_7C5E&PID_4A86" + std::u16string(50, u'X');
  const UsbPort *usb = Describe(longId, u"PrintClass");
  EXPECT_STREQ(usb->hardwareId, "");
  EXPECT_EQ(std::string(CurrentTargetInfo(nullptr)->hardwareId).size(), longId.size());
}

TEST_F(TargetTest, FailedProbeLeavesNoPortButKeepsTheDescription) {
  EXPECT_EQ(ProbeTarget(), 0);
  EXPECT_EQ(currentPort, nullptr);
  EXPECT_STREQ(CurrentTargetInfo(nullptr)->hardwareId, "USB\\VID_7C5E&PID_4A86");
  ReleasePort();  // nothing to release
  EXPECT_EQ(currentPort, nullptr);
  EXPECT_STREQ(CurrentTargetInfo(nullptr)->hardwareId, "USB\\VID_7C5E&PID_4A86");
}

TEST_F(TargetTest, PortThatCannotBeMadeIsReportedAbsent) {
  world::FailAllocation(1);
  EXPECT_EQ(ProbeTarget(), 0);
  EXPECT_EQ(currentPort, nullptr);
}

TEST_F(TargetTest, RepeatedProbesLeaveNothingBehind) {
  size_t blocks = world::LiveHeapBlocks();
  for (int i = 0; i < 1000; ++i) {
    if (ProbeTarget()) ReleasePort();
  }
  EXPECT_EQ(world::LiveHeapBlocks(), blocks);
}

class ProbeTest : public TargetTest {
 protected:
  void TearDown() override {
    ReleasePort();
    world::DetachAllDevices();
    TargetTest::TearDown();
  }

  world::DeviceId AttachPrinter(std::vector<std::string> ids) {
    world::PrintClassDevice device;
    device.hardwareIds = std::move(ids);
    device.endpoint = printer;
    return world::AttachPrintClassDevice(device);
  }

  std::shared_ptr<vprinter::SimPrinter> printer = std::make_shared<vprinter::SimPrinter>();
};

TEST_F(ProbeTest, AttachedPrinterIsFoundOpenedAndReleased) {
  AttachPrinter({"USB\\VID_1111&PID_2222"});
  world::DeviceId device =
      AttachPrinter({"USB\\VID_7C5E&PID_4A86&REV_0100", "USB\\VID_7C5E&PID_4A86"});
  ASSERT_EQ(ProbeTarget(), 1);
  ASSERT_NE(currentPort, nullptr);
  EXPECT_EQ(world::OpenHandlesOf(device), 2u);
  ReleasePort();
  EXPECT_EQ(currentPort, nullptr);
  EXPECT_EQ(world::OpenHandlesOf(device), 0u);
}

TEST_F(ProbeTest, PrinterListedButUnpluggedIsNotFound) {
  world::PrintClassDevice unplugged;
  unplugged.hardwareIds = {"USB\\VID_7C5E&PID_4A86"};
  world::AttachPrintClassDevice(unplugged);
  EXPECT_EQ(ProbeTarget(), 0);
  EXPECT_EQ(currentPort, nullptr);
}

TEST_F(ProbeTest, ThousandProbesAndReleasesLeaveNothingBehind) {
  world::DeviceId device = AttachPrinter({"USB\\VID_7C5E&PID_4A86"});
  size_t handles = world::LiveHandles();
  size_t blocks = world::LiveHeapBlocks();
  for (int i = 0; i < 1000; ++i) {
    ASSERT_EQ(ProbeTarget(), 1) << "probe " << i;
    ReleasePort();
  }
  EXPECT_EQ(world::LiveHandles(), handles);
  EXPECT_EQ(world::LiveHeapBlocks(), blocks);
  EXPECT_EQ(world::OpensOf(device), 2000u);
  EXPECT_EQ(world::OpenHandlesOf(device), 0u);
  EXPECT_EQ(world::FailedCloses(), 0u);
  EXPECT_EQ(printer->record().bytesReceived, 0u) << "a probe sends nothing";
}

TEST(TargetInfoTest, PublishingCopiesTheIdUpToItsTerminatorOnly) {
  TargetInfo info = {};
  info.reserved = 9;
  std::string id = "USB\\VID_1234&PID_5678";
  id.copy(info.hardwareId, id.size());
  info.portKind = 0;
  info.portCount = 1;
  TargetInfo *published = CurrentTargetInfo(&info);
  EXPECT_EQ(published, CurrentTargetInfo(nullptr));
  EXPECT_NE(published, &info);
  EXPECT_STREQ(published->hardwareId, id.c_str());
  EXPECT_EQ(published->reserved, 9);
  // An unterminated id is cut at the record's last character.
  std::string(sizeof info.hardwareId, 'Z').copy(info.hardwareId, sizeof info.hardwareId);
  published = CurrentTargetInfo(&info);
  EXPECT_EQ(std::string(published->hardwareId).size(), sizeof info.hardwareId - 1);
}

}  // namespace
