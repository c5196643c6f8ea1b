// The USB driver through the port's dispatchers: opening, closing, the check
// and the open notification.
#include <atomic>
#include <memory>
#include <string>

#include "fake_device.h"
#include "port/port_driver.h"
#include "sim_test.h"
#include "world_devices.h"

namespace {

class UsbPortTest : public SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    ASSERT_EQ(PortCreate(&port, PORT_KIND_USB), 1);
    PortSetUsbscan(port, 0);
    PortSetPipes(port, 0, 1, 0, 0);
    PortSetHardwareId(port, kModelId);
  }
  void TearDown() override {
    PortDestroy(port);
    world::DetachAllDevices();
    SimTest::TearDown();
  }
  UsbPort *usb() { return reinterpret_cast<UsbPort *>(port); }

  world::DeviceId AttachPrinter(int portNumber = -1) {
    world::PrintClassDevice device;
    device.hardwareIds = {kModelId};
    device.portNumber = portNumber;
    device.endpoint = printer;
    return world::AttachPrintClassDevice(device);
  }

  Port *port = nullptr;
  std::shared_ptr<FakeDevice> printer = std::make_shared<FakeDevice>();
};

TEST_F(UsbPortTest, PrinterClassOpensTwoHandlesWritingThroughTheFirst) {
  world::DeviceId device = AttachPrinter();
  ASSERT_EQ(PortOpen(port), 1);
  EXPECT_EQ(world::OpenHandlesOf(device), 2u);
  EXPECT_EQ(usb()->writeHandle, usb()->deviceHandle);
  EXPECT_NE(usb()->readHandle, usb()->deviceHandle);
  EXPECT_EQ(usb()->extraHandle, nullptr);

  uint32_t count = 5;
  EXPECT_EQ(portDriver.io[PORT_KIND_USB].write(port, "hello", &count), 1);
  EXPECT_EQ(count, 5u);
  EXPECT_EQ(printer->Written(), "hello");

  EXPECT_EQ(PortClose(port), 1);
  EXPECT_EQ(world::OpenHandlesOf(device), 0u) << "the shared handle is closed, and only once";
  EXPECT_EQ(world::FailedCloses(), 0u);
  EXPECT_EQ(usb()->deviceHandle, nullptr);
  EXPECT_EQ(usb()->readPipe, -1);
}

TEST_F(UsbPortTest, ExtraPipeAddsAThirdHandleAndItsFailureUndoesTheOthers) {
  world::DeviceId device = AttachPrinter();
  PortSetPipes(port, 0, 1, 7, 1);
  ASSERT_EQ(PortOpen(port), 1);
  EXPECT_EQ(world::OpenHandlesOf(device), 3u);
  PortClose(port);

  PortSetPipes(port, 0, 1, 7, 1);
  world::InjectDeviceFault({world::DeviceCall::CreateFileA, world::DeviceFault::Action::fail,
                            ERROR_ACCESS_DENIED, 0, 3, 1});
  EXPECT_EQ(PortOpen(port), 0);
  EXPECT_EQ(world::OpenHandlesOf(device), 0u);
  EXPECT_EQ(usb()->deviceHandle, INVALID_HANDLE_VALUE);
  EXPECT_EQ(usb()->writeHandle, INVALID_HANDLE_VALUE);
  EXPECT_EQ(usb()->readHandle, INVALID_HANDLE_VALUE);
  EXPECT_EQ(PortClose(port), 1);
  EXPECT_EQ(world::FailedCloses(), 0u) << "the close after a failed open closes nothing again";
}

TEST_F(UsbPortTest, FailedSecondOpenClosesTheFirst) {
  world::DeviceId device = AttachPrinter();
  world::InjectDeviceFault({world::DeviceCall::CreateFileA, world::DeviceFault::Action::fail,
                            ERROR_ACCESS_DENIED, 0, 2, 1});
  EXPECT_EQ(PortOpen(port), 0);
  EXPECT_EQ(world::OpenHandlesOf(device), 0u);
  EXPECT_EQ(usb()->readHandle, INVALID_HANDLE_VALUE);
}

TEST_F(UsbPortTest, NeverOpenedOrAbsentPrinterClosesNothing) {
  EXPECT_EQ(PortClose(port), 1);
  EXPECT_EQ(usb()->deviceHandle, nullptr);
  EXPECT_EQ(usb()->writePipe, -1);
  EXPECT_EQ(PortOpen(port), 0) << "no printer attached";
  EXPECT_EQ(usb()->deviceHandle, INVALID_HANDLE_VALUE);
  EXPECT_EQ(PortClose(port), 1);
  EXPECT_EQ(world::FailedCloses(), 0u);
}

TEST_F(UsbPortTest, PortNameFindsThePrinterAndGoesWithTheClose) {
  world::DeviceId device = AttachPrinter(12);
  PortSetHardwareId(port, "USB\\VID_0000&PID_0000");
  ASSERT_EQ(PortSetPortName(port, "usb012"), 1);
  ASSERT_EQ(PortOpen(port), 1);
  EXPECT_EQ(world::OpenHandlesOf(device), 2u);
  PortClose(port);
  EXPECT_EQ(usb()->portName, nullptr);
  EXPECT_EQ(PortOpen(port), 0) << "after the close only the hardware id is left";
}

// The port name is asked first; a name that finds nothing leaves the hardware id.
TEST_F(UsbPortTest, PortNameComesBeforeTheHardwareIdAndFallsBackToIt) {
  world::DeviceId byId = AttachPrinter(5);
  world::DeviceId byName = AttachPrinter(12);
  struct Case {
    const char *portName, *hardwareId;
    unsigned byIdHandles, byNameHandles;
  };
  const Case cases[] = {{"USB012", kModelId, 0, 2},
                        {"USB013", kModelId, 2, 0},
                        {"USB013", "USB\\VID_0000&PID_0000", 0, 0}};
  for (const Case &c : cases) {
    PortSetHardwareId(port, c.hardwareId);
    ASSERT_EQ(PortSetPortName(port, c.portName), 1);
    EXPECT_EQ(PortOpen(port), c.byIdHandles + c.byNameHandles > 0 ? 1 : 0) << c.portName;
    EXPECT_EQ(world::OpenHandlesOf(byId), c.byIdHandles) << c.portName;
    EXPECT_EQ(world::OpenHandlesOf(byName), c.byNameHandles) << c.portName;
    PortClose(port);
  }
}

TEST_F(UsbPortTest, ClosedPrinterClassPortReopensWithoutNewSettings) {
  AttachPrinter();
  ASSERT_EQ(PortOpen(port), 1);
  PortClose(port);
  EXPECT_EQ(PortOpen(port), 1);
}

TEST_F(UsbPortTest, CheckSendsTheVendorRequestAndAsksForAtMost1024Bytes) {
  AttachPrinter();
  ASSERT_EQ(PortOpen(port), 1);
  printer->SetControlReply("MFG:TORVAEL;");
  usb()->requestValue = 0x0102;
  EXPECT_EQ(portDriver.check[PORT_KIND_USB](port), 1) << "a length of 0 asks for nothing";
  usb()->requestLength = 5000;
  EXPECT_EQ(portDriver.check[PORT_KIND_USB](port), 0);
  std::vector<FakeDevice::Call> calls = printer->Calls();
  ASSERT_FALSE(calls.empty());
  EXPECT_EQ(calls.back().bytes, std::string("\xA4\x01\x02", 3));
  EXPECT_EQ(calls.back().size, 1024u);
  EXPECT_EQ(printer->LastControlCode(), 0x0022003Cu);
  EXPECT_EQ(usb()->request, 0xA4);
}

std::atomic<int> openedEvents{0};
void CountOpened(int32_t event) {
  if (event == 0) ++openedEvents;
}
void *notifiedWith = nullptr;
HANDLE notifyStarted = nullptr;
DWORD WINAPI NotifyUntilStopped(LPVOID parameter) {
  notifiedWith = parameter;
  if (notifyStarted != nullptr) SetEvent(notifyStarted);
  Sleep(INFINITE);
  return 0;
}

TEST_F(UsbPortTest, NotificationThreadIsStoppedByTheCloseAndItsParameterFreed) {
  AttachPrinter();
  openedEvents = 0;
  void *parameter = HeapAlloc(GetProcessHeap(), 0, 16);
  ASSERT_EQ(PortSetNotify(port, CountOpened, NotifyUntilStopped, parameter), 1);
  notifyStarted = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  ASSERT_EQ(PortOpen(port), 1);
  EXPECT_EQ(openedEvents, 1);
  EXPECT_NE(port->notifyThread, 0u);
  EXPECT_EQ(world::LiveThreads(), 1u);
  ASSERT_EQ(WaitForSingleObject(notifyStarted, 5000), WAIT_OBJECT_0);
  CloseHandle(notifyStarted);
  notifyStarted = nullptr;
  EXPECT_EQ(notifiedWith, parameter) << "the thread runs with the port's parameter";
  EXPECT_EQ(PortSetNotify(port, nullptr, nullptr, nullptr), 0) << "refused while it may run";
  PortClose(port);
  EXPECT_EQ(world::LiveThreads(), 0u);
  EXPECT_EQ(port->notifyThread, 0u);
  // The fixture's tear-down destroys the port: the heap count proves the parameter went.
}

TEST_F(UsbPortTest, NoThreadWithoutTheOpenedCallback) {
  AttachPrinter();
  void *parameter = HeapAlloc(GetProcessHeap(), 0, 16);
  ASSERT_EQ(PortSetNotify(port, nullptr, NotifyUntilStopped, parameter), 1);
  ASSERT_EQ(PortOpen(port), 1);
  EXPECT_EQ(port->notifyThread, 0u);
  EXPECT_EQ(world::LiveThreads(), 0u);
}

TEST_F(UsbPortTest, NewSettersRefuseOtherKinds) {
  Port *network = nullptr;
  ASSERT_EQ(PortCreate(&network, PORT_KIND_NETWORK), 1);
  EXPECT_EQ(PortSetPortName(network, "USB001"), 0);
  EXPECT_EQ(PortSetNotify(network, CountOpened, nullptr, nullptr), 1) << "it serves both kinds";
  EXPECT_EQ(PortSetPortName(nullptr, "USB001"), 0);
  EXPECT_EQ(PortSetPortName(port, nullptr), 0);
  PortDestroy(network);
}

}  // namespace
