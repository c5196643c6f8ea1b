// Finding the printer: by hardware id, by port name, and the still-image scan.
#include "port/usb_location.h"

#include <cstring>
#include <memory>
#include <string>

#include "fake_device.h"
#include "port/usb_port.h"
#include "sim_test.h"
#include "world_devices.h"

namespace {

class UsbLocationTest : public SimTest {
 protected:
  void TearDown() override {
    world::DetachAllDevices();
    SimTest::TearDown();
  }

  world::DeviceId Printer(std::vector<std::string> ids, int portNumber = -1,
                          std::string interfacePath = "") {
    world::PrintClassDevice device;
    device.hardwareIds = std::move(ids);
    device.portNumber = portNumber;
    device.interfacePath = std::move(interfacePath);
    device.endpoint = std::make_shared<FakeDevice>();
    return world::AttachPrintClassDevice(device);
  }

  // The search's answer: the path it found, or "" with the buffer checked empty.
  std::string ByHardwareId(const char *id) { return Answer(UsbFindByHardwareId(id, path)); }
  std::string ByPortName(const char *name) { return Answer(UsbFindByPortName(name, path)); }

  std::string Answer(const char *found) {
    if (found == nullptr) {
      EXPECT_EQ(path[0], '\0') << "a search that found nothing must leave the buffer empty";
      return "";
    }
    EXPECT_EQ(found, path);
    return path;
  }

  char path[kUsbPathSize];
};

TEST_F(UsbLocationTest, WholeIdMatchesAnyEntryButNotASuffixedOne) {
  Printer({"USB\\VID_7C5E&PID_4A86&REV_0100"});
  world::DeviceId second = Printer({"USB\\VID_7C5E&PID_4A86&REV_0100", kModelId});
  EXPECT_EQ(ByHardwareId(kModelId), world::InterfacePathOf(second));
}

TEST_F(UsbLocationTest, OnlyAnUpperCaseIdCanMatch) {
  Printer({"usb\\vid_7c5e&pid_4a86"});
  EXPECT_EQ(ByHardwareId("usb\\vid_7c5e&pid_4a86"), "");
  EXPECT_NE(ByHardwareId(kModelId), "") << "the device's own ids are compared upper-cased";
}

TEST_F(UsbLocationTest, DeviceWithoutIdsIsPassedOver) {
  Printer({});
  world::DeviceId printer = Printer({kModelId});
  EXPECT_EQ(ByHardwareId(kModelId), world::InterfacePathOf(printer));
}

TEST_F(UsbLocationTest, OtherPropertyErrorsEndTheSearch) {
  world::DeviceId other = Printer({"USB\\VID_1111&PID_2222"});
  Printer({kModelId});
  (void)other;
  world::InjectDeviceFault({world::DeviceCall::SetupDiGetDeviceRegistryPropertyA,
                            world::DeviceFault::Action::fail, ERROR_GEN_FAILURE, 0, 1, 1});
  EXPECT_EQ(ByHardwareId(kModelId), "");
}

TEST_F(UsbLocationTest, FirstMatchingDeviceDecidesEvenWhenItsPathCannotBeHad) {
  Printer({kModelId});
  Printer({kModelId});
  world::InjectDeviceFault({world::DeviceCall::SetupDiGetDeviceInterfaceDetailA,
                            world::DeviceFault::Action::fail, ERROR_GEN_FAILURE, 0, 2, 1});
  EXPECT_EQ(ByHardwareId(kModelId), "") << "the second printer must not be taken instead";
}

TEST_F(UsbLocationTest, PathIsThePlatformsWithItsBackslashes) {
  world::DeviceId printer =
      Printer({kModelId}, -1,
              "\\\\?\\usb#vid_7c5e&pid_4a86#5&abc&0&2#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}");
  std::string found = ByHardwareId(kModelId);
  EXPECT_EQ(found, world::InterfacePathOf(printer));
  EXPECT_EQ(found.substr(0, 4), "\\\\?\\");
}

TEST_F(UsbLocationTest, PathTooLongForTheBufferIsNotFound) {
  // Found only with its terminator inside the buffer. By port name even the
  // longest that fits is not: its registry key would not.
  const std::string start = "\\\\?\\usb#vid_7c5e&pid_4a86#";
  const std::string end = "#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}";
  for (size_t length : {kUsbPathSize - 1, kUsbPathSize, kUsbPathSize + 141}) {
    std::string path = start + std::string(length - start.size() - end.size(), 'x') + end;
    world::DeviceId printer = Printer({kModelId}, 7, path);
    EXPECT_EQ(ByHardwareId(kModelId), length < kUsbPathSize ? path : "") << length;
    EXPECT_EQ(ByPortName("USB007"), "") << length;
    world::DetachDevice(printer);
  }
}

TEST_F(UsbLocationTest, PortNumbersAreComparedAsUsbNamesInAnyCase) {
  Printer({"USB\\VID_1111&PID_2222"}, 3);
  world::DeviceId seven = Printer({kModelId}, 7);
  world::DeviceId big = Printer({kModelId}, 1234);
  EXPECT_EQ(ByPortName("usb007"), world::InterfacePathOf(seven));
  EXPECT_EQ(ByPortName("USB007"), world::InterfacePathOf(seven));
  EXPECT_EQ(ByPortName("USB1234"), world::InterfacePathOf(big));
  EXPECT_EQ(ByPortName("USB7"), "");
  EXPECT_EQ(ByPortName("USB005"), "");
}

TEST_F(UsbLocationTest, Dot4InterfacesAreNeverTaken) {
  Printer({kModelId}, 7,
          "\\\\?\\usb#vid_7c5e&pid_4a86#5&abc&0&1#dot4#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}");
  EXPECT_EQ(ByPortName("USB007"), "");
  world::DeviceId plain = Printer({kModelId}, 7);
  EXPECT_EQ(ByPortName("USB007"), world::InterfacePathOf(plain));
}

TEST_F(UsbLocationTest, PortNameSearchPassesOverUnreadableInterfacesButNotForever) {
  EXPECT_EQ(ByPortName("USB001"), "") << "no interfaces at all";
  Printer({kModelId}, 1);
  world::DeviceId two = Printer({kModelId}, 2);
  world::InjectDeviceFault({world::DeviceCall::SetupDiEnumDeviceInterfaces,
                            world::DeviceFault::Action::fail, ERROR_GEN_FAILURE, 0, 1, 1});
  EXPECT_EQ(ByPortName("USB002"), world::InterfacePathOf(two));
  // A detail that cannot be had ends the search, though a later interface matches.
  world::InjectDeviceFault({world::DeviceCall::SetupDiGetDeviceInterfaceDetailA,
                            world::DeviceFault::Action::fail, ERROR_GEN_FAILURE, 0, 1, 1});
  EXPECT_EQ(ByPortName("USB002"), "");
  // A platform that never says "no more items" must not keep the search going.
  world::InjectDeviceFault({world::DeviceCall::SetupDiEnumDeviceInterfaces,
                            world::DeviceFault::Action::fail, ERROR_GEN_FAILURE, 0, 1, 1000000});
  EXPECT_EQ(ByPortName("USB002"), "");
}

// Malformed platform data: every search stays inside the blocks it was given
// (AddressSanitizer proves it) and takes nothing it cannot read whole.
TEST_F(UsbLocationTest, MalformedSetupDataKeepsTheSearchesInsideTheirBuffers) {
  struct Case {
    const char *what;
    bool idsUnterminated;
    bool pathUnterminated;
    DWORD reportedIdsSize;
    bool foundById;
    bool foundByName;
  };
  const Case cases[] = {
      {"id list without its final empty string", true, false, 0, true, true},
      {"path without its terminator", false, true, 0, false, false},
      {"id list size that wraps", false, false, 0xFFFFFFFFu, false, true},
  };
  for (const Case &c : cases) {
    world::PrintClassDevice device;
    device.hardwareIds = {"USB\\VID_1111&PID_2222", kModelId};
    device.portNumber = 9;
    // Short enough that the detail block is far smaller than a path buffer.
    device.interfacePath = "\\\\?\\usb#p";
    device.idsUnterminated = c.idsUnterminated;
    device.pathUnterminated = c.pathUnterminated;
    device.reportedIdsSize = c.reportedIdsSize;
    device.endpoint = std::make_shared<FakeDevice>();
    world::AttachPrintClassDevice(device);
    EXPECT_EQ(ByHardwareId(kModelId) != "", c.foundById) << c.what;
    EXPECT_EQ(ByPortName("USB009") != "", c.foundByName) << c.what;
    world::DetachAllDevices();
  }
}

// The still-image scan opens the matching device's pipes into a port.
class UsbscanTest : public UsbLocationTest {
 protected:
  void SetUp() override {
    UsbLocationTest::SetUp();
    ASSERT_EQ(PortCreate(&port, PORT_KIND_USB), 1);
    PortSetUsbIds(port, 0x7C5E, 0x4A86);
  }
  void TearDown() override {
    PortDestroy(port);
    UsbLocationTest::TearDown();
  }
  UsbPort *usb() { return reinterpret_cast<UsbPort *>(port); }

  world::DeviceId Scanner(int number, WORD productId, WORD vendorId = 0x7C5E) {
    world::StillImageDevice device;
    device.number = number;
    device.vendorId = vendorId;
    device.productId = productId;
    scanner = std::make_shared<FakeDevice>();
    device.endpoint = scanner;
    return world::AttachStillImageDevice(device);
  }

  Port *port = nullptr;
  std::shared_ptr<FakeDevice> scanner;  // the last one attached
};

TEST_F(UsbscanTest, TransfersGoThroughThePipesTheyWereOpenedOn) {
  struct Case {
    int writePipe, readPipe, extraPipe;
    uint8_t useExtra;
    unsigned handles;
  };
  const Case cases[] = {{0, 1, 0, 0, 2}, {2, 1, 0, 0, 3}, {0, 2, 1, 1, 3}};
  for (const Case &c : cases) {
    world::DeviceId printer = Scanner(3, 0x4A86);
    PortSetPipes(port, c.writePipe, c.readPipe, c.extraPipe, c.useExtra);
    ASSERT_EQ(UsbscanOpen(usb()), 1);
    EXPECT_EQ(world::OpenHandlesOf(printer), c.handles) << c.writePipe << c.readPipe;
    scanner->QueueRead("r");
    uint32_t one = 1;
    char byte = 'w';
    EXPECT_EQ(UsbPortWrite(port, &byte, &one), 1);
    EXPECT_EQ(UsbPortRead(port, &byte, &one), 1);
    std::vector<FakeDevice::Call> calls = scanner->Calls();
    ASSERT_GE(calls.size(), 2u);
    EXPECT_EQ(calls[calls.size() - 2].pipe, c.writePipe);
    EXPECT_EQ(calls.back().pipe, c.readPipe);
    EXPECT_EQ(usb()->extraHandle != nullptr, c.useExtra != 0);
    UsbPortClose(port);
    EXPECT_EQ(world::OpenHandlesOf(printer), 0u);
    world::DetachAllDevices();
  }
}

TEST_F(UsbscanTest, WritesGoThroughPipeZeroAndReadsThroughPipeOne) {
  world::DeviceId other = Scanner(2, 0x4A83);
  world::DeviceId otherVendor = Scanner(3, 0x4A86, 0x1111);
  world::DeviceId printer = Scanner(5, 0x4A86);
  PortSetPipes(port, 0, 1, 0, 0);
  ASSERT_EQ(UsbscanOpen(usb()), 1);
  EXPECT_EQ(world::OpenHandlesOf(other), 0u) << "a device with another product id is closed";
  EXPECT_EQ(world::OpenHandlesOf(otherVendor), 0u) << "a device of another vendor is closed";
  EXPECT_EQ(world::OpenHandlesOf(printer), 2u) << "pipe 0 and pipe 1, no third";
  EXPECT_EQ(usb()->writeHandle, usb()->deviceHandle);
  EXPECT_NE(usb()->readHandle, INVALID_HANDLE_VALUE);
  EXPECT_NE(usb()->readHandle, usb()->deviceHandle);
  EXPECT_EQ(usb()->extraHandle, nullptr);
}

TEST_F(UsbscanTest, UnsetPipesStillReportTheDeviceFound) {
  world::DeviceId printer = Scanner(0, 0x4A86);
  ASSERT_EQ(UsbscanOpen(usb()), 1);
  EXPECT_EQ(usb()->writeHandle, INVALID_HANDLE_VALUE) << "there is no pipe -1";
  EXPECT_EQ(usb()->readHandle, INVALID_HANDLE_VALUE);
  EXPECT_EQ(world::OpenHandlesOf(printer), 1u);
}

TEST_F(UsbscanTest, NoMatchingDeviceLeavesEveryHandleInvalid) {
  world::DeviceId other = Scanner(1, 0x4A83);
  PortSetPipes(port, 0, 1, 0, 0);
  EXPECT_EQ(UsbscanOpen(usb()), 0);
  EXPECT_EQ(usb()->deviceHandle, INVALID_HANDLE_VALUE);
  EXPECT_EQ(usb()->writeHandle, INVALID_HANDLE_VALUE);
  EXPECT_EQ(usb()->readHandle, INVALID_HANDLE_VALUE);
  EXPECT_EQ(world::OpenHandlesOf(other), 0u);
}

}  // namespace
