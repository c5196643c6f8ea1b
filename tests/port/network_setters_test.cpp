// The network setters: what they store, what they refuse, and that the port
// owns its copy of the address.
#include <cstring>
#include <string>

#include "port/port.h"
#include "sim_test.h"

namespace {

class NetworkSettersTest : public SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    ASSERT_EQ(PortCreate(&networkPort, PORT_KIND_NETWORK), 1);
    ASSERT_EQ(PortCreate(&usbPort, PORT_KIND_USB), 1);
  }
  void TearDown() override {
    PortDestroy(networkPort);
    PortDestroy(usbPort);
    SimTest::TearDown();
  }
  NetworkPort *network() { return reinterpret_cast<NetworkPort *>(networkPort); }

  Port *networkPort = nullptr;
  Port *usbPort = nullptr;
};

TEST_F(NetworkSettersTest, StoreTheirValuesAndOwnTheAddressText) {
  char text[] = "192.168.0.10";
  EXPECT_EQ(PortSetHostAddress(networkPort, text), 1);
  text[0] = 'X';
  ASSERT_NE(network()->hostAddress, nullptr);
  EXPECT_STREQ(network()->hostAddress, "192.168.0.10") << "a copy, not the caller's text";
  // A zoned IPv6 text is longer than 39 characters and is kept whole.
  std::string zoned = "fe80:0000:0000:0000:0211:22ff:fe33:4455%eth0";
  EXPECT_EQ(PortSetHostAddress(networkPort, zoned.c_str()), 1);
  EXPECT_EQ(std::string(network()->hostAddress), zoned);
  EXPECT_EQ(PortSetTcpPort(networkPort, 65535), 1);
  EXPECT_EQ(network()->tcpPort, 65535);
  EXPECT_EQ(PortSetIpv6(networkPort, -1), 1);
  EXPECT_EQ(network()->useIpv6, -1);
}

TEST_F(NetworkSettersTest, RefuseNullPortsOtherKindsAndNullTexts) {
  UsbPort before;
  std::memcpy(&before, usbPort, sizeof before);
  for (Port *port : {usbPort, static_cast<Port *>(nullptr)}) {
    EXPECT_EQ(PortSetHostAddress(port, "127.0.0.1"), 0);
    EXPECT_EQ(PortSetTcpPort(port, 9100), 0);
    EXPECT_EQ(PortSetIpv6(port, 1), 0);
  }
  EXPECT_EQ(std::memcmp(&before, usbPort, sizeof before), 0);
  EXPECT_EQ(PortSetHostAddress(networkPort, "10.0.0.1"), 1);
  EXPECT_EQ(PortSetHostAddress(networkPort, nullptr), 0);
  EXPECT_STREQ(network()->hostAddress, "10.0.0.1") << "a refused text leaves the old one";
}

TEST_F(NetworkSettersTest, NotifyServesNetworkPortsToo) {
  auto callback = [](int32_t) {};
  EXPECT_EQ(PortSetNotify(networkPort, callback, nullptr, nullptr), 1);
  EXPECT_EQ(networkPort->onOpened, static_cast<PortEventCallback>(callback));
  EXPECT_EQ(PortSetNotify(nullptr, callback, nullptr, nullptr), 0);
}

}  // namespace
