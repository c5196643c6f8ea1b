// Configuration setters: what they store, and what they refuse.
#include <cstring>
#include <string>

#include "port/port.h"
#include "sim_test.h"

namespace {

class PortSettersTest : public SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    ASSERT_EQ(PortCreate(&usbPort, PORT_KIND_USB), 1);
    ASSERT_EQ(PortCreate(&networkPort, PORT_KIND_NETWORK), 1);
  }
  void TearDown() override {
    PortDestroy(usbPort);
    PortDestroy(networkPort);
    SimTest::TearDown();
  }
  UsbPort *usb() { return reinterpret_cast<UsbPort *>(usbPort); }

  Port *usbPort = nullptr;
  Port *networkPort = nullptr;
};

TEST_F(PortSettersTest, TimeoutOfZeroIsRefusedAndTheOldValueStays) {
  EXPECT_EQ(PortSetTimeout(usbPort, 30), 1);
  EXPECT_EQ(usbPort->timeoutSeconds, 30);
  EXPECT_EQ(PortSetTimeout(usbPort, 0), 0);
  EXPECT_EQ(usbPort->timeoutSeconds, 30);
  EXPECT_EQ(PortSetTimeout(networkPort, 255), 1) << "the time-out is for every kind";
  EXPECT_EQ(networkPort->timeoutSeconds, 255);
}

TEST_F(PortSettersTest, PipesWithoutTheFlagLeaveNoExtraPipe) {
  EXPECT_EQ(PortSetPipes(usbPort, 0, 1, 0, 0), 1);
  EXPECT_EQ(usb()->writePipe, 0);
  EXPECT_EQ(usb()->readPipe, 1);
  EXPECT_EQ(usb()->extraPipe, -1);
  EXPECT_EQ(usb()->useExtraPipe, 0);
  EXPECT_EQ(PortSetPipes(usbPort, 0, 1, 2, 1), 1);
  EXPECT_EQ(usb()->extraPipe, 2);
  EXPECT_EQ(usb()->useExtraPipe, 1);
}

TEST_F(PortSettersTest, IdsAndMethodAreStored) {
  EXPECT_EQ(PortSetUsbIds(usbPort, 0x7C5E, 0xFFFF), 1);
  EXPECT_EQ(usb()->vendorId, 0x7C5Eu);
  EXPECT_EQ(usb()->productId, 0xFFFFu) << "widened with zeros, not sign-extended";
  EXPECT_EQ(PortSetUsbscan(usbPort, 0), 1);
  EXPECT_EQ(usb()->useUsbscan, 0);
}

TEST_F(PortSettersTest, HardwareIdFitsUpTo63Characters) {
  std::string longest(63, 'H');
  EXPECT_EQ(PortSetHardwareId(usbPort, longest.c_str()), 1);
  EXPECT_EQ(std::string(usb()->hardwareId), longest);
  std::string tooLong(64, 'X');
  EXPECT_EQ(PortSetHardwareId(usbPort, tooLong.c_str()), 0);
  EXPECT_EQ(std::string(usb()->hardwareId), longest) << "a refused id leaves the old one";
  EXPECT_EQ(PortSetHardwareId(usbPort, nullptr), 0);
}

TEST_F(PortSettersTest, UsbSettersRefuseOtherKindsAndNullPorts) {
  // Under AddressSanitizer a write of USB fields into the smaller network
  // record would stop the test; here the record must also be unchanged.
  NetworkPort before;
  std::memcpy(&before, networkPort, sizeof before);
  for (Port *port : {networkPort, static_cast<Port *>(nullptr)}) {
    EXPECT_EQ(PortSetHardwareId(port, "USB\\VID_7C5E&PID_4A86"), 0);
    EXPECT_EQ(PortSetUsbscan(port, 0), 0);
    EXPECT_EQ(PortSetUsbIds(port, 1, 2), 0);
    EXPECT_EQ(PortSetPipes(port, 0, 1, 2, 1), 0);
  }
  EXPECT_EQ(std::memcmp(&before, networkPort, sizeof before), 0);
  EXPECT_EQ(PortSetTimeout(nullptr, 30), 0);
}

}  // namespace
