// Port objects through the dispatchers and the driver tables.
#include "port/port_driver.h"
#include "sim_test.h"

namespace {

class PortTest : public SimTest {};

TEST_F(PortTest, FreshPortsCarryTheirKindsDefaults) {
  Port *usbPort = nullptr;
  Port *networkPort = nullptr;
  ASSERT_EQ(PortCreate(&usbPort, PORT_KIND_USB), 1);
  ASSERT_EQ(PortCreate(&networkPort, PORT_KIND_NETWORK), 1);

  EXPECT_EQ(usbPort->kind, PORT_KIND_USB);
  EXPECT_EQ(usbPort->timeoutSeconds, 5);
  EXPECT_EQ(usbPort->notifyThread, 0u);
  const auto *usb = reinterpret_cast<UsbPort *>(usbPort);
  EXPECT_EQ(usb->useUsbscan, 1);
  EXPECT_EQ(usb->writePipe, -1);
  EXPECT_EQ(usb->readPipe, -1);
  EXPECT_EQ(usb->extraPipe, -1);
  EXPECT_EQ(usb->hardwareId[0], '\0');
  EXPECT_EQ(usb->deviceHandle, nullptr);
  EXPECT_EQ(usb->portName, nullptr);

  EXPECT_EQ(networkPort->kind, PORT_KIND_NETWORK);
  EXPECT_EQ(networkPort->timeoutSeconds, 5);
  const auto *network = reinterpret_cast<NetworkPort *>(networkPort);
  EXPECT_EQ(network->sock, 0u);
  EXPECT_EQ(network->hostAddress, nullptr);

  EXPECT_EQ(PortDestroy(usbPort), 1);
  EXPECT_EQ(PortDestroy(networkPort), 1);
}

TEST_F(PortTest, NullKindAndUnknownKindsMakeNoPort) {
  for (PortKind kind : {PortKind(PORT_KIND_NULL), PortKind(3), PortKind(-1), PortKind(1000)}) {
    Port *port = reinterpret_cast<Port *>(0x1);
    EXPECT_EQ(PortCreate(&port, kind), 0) << kind;
    EXPECT_EQ(port, nullptr) << kind;
  }
  EXPECT_EQ(PortCreate(nullptr, PORT_KIND_USB), 0);
}

TEST_F(PortTest, FailedAllocationMakesNoPort) {
  world::FailAllocation(1);
  Port *port = reinterpret_cast<Port *>(0x1);
  EXPECT_EQ(PortCreate(&port, PORT_KIND_USB), 0);
  EXPECT_EQ(port, nullptr);
}

TEST_F(PortTest, EveryDispatcherRefusesANullPort) {
  EXPECT_EQ(PortOpen(nullptr), 0);
  EXPECT_EQ(PortClose(nullptr), 0);
  EXPECT_EQ(PortDestroy(nullptr), 0);
}

TEST_F(PortTest, NullRowSucceedsAtEverythingAndAnswersTheCheck) {
  const PortIoEntries &io = portDriver.io[PORT_KIND_NULL];
  char buffer[4] = {};
  uint32_t count = sizeof buffer;
  EXPECT_EQ(io.open(nullptr), 1);
  EXPECT_EQ(io.read(nullptr, buffer, &count), 1);
  EXPECT_EQ(io.write(nullptr, buffer, &count), 1);
  EXPECT_EQ(io.close(nullptr), 1);
  EXPECT_EQ(portDriver.check[PORT_KIND_NULL](nullptr), 0);
  EXPECT_EQ(portDriver.construct[PORT_KIND_NULL](), nullptr);
  EXPECT_EQ(portDriver.destroy[PORT_KIND_NULL](nullptr), 1);
}

TEST_F(PortTest, WithoutADeviceNothingOpensOrAnswers) {
  for (PortKind kind : {PortKind(PORT_KIND_USB), PortKind(PORT_KIND_NETWORK)}) {
    Port *port = nullptr;
    ASSERT_EQ(PortCreate(&port, kind), 1);
    EXPECT_EQ(PortOpen(port), 0) << kind;
    EXPECT_EQ(portDriver.check[kind](port), 1) << kind;
    uint32_t count = 4;
    char buffer[4] = {};
    EXPECT_EQ(portDriver.io[kind].write(port, buffer, &count), 0) << kind;
    EXPECT_EQ(PortClose(port), 1) << kind;
    EXPECT_EQ(PortDestroy(port), 1) << kind;
  }
}

TEST_F(PortTest, DestroyReleasesWhatThePortOwns) {
  Port *port = nullptr;
  ASSERT_EQ(PortCreate(&port, PORT_KIND_USB), 1);
  auto *usb = reinterpret_cast<UsbPort *>(port);
  usb->portName = static_cast<char *>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, 8));
  port->notifyParam = HeapAlloc(GetProcessHeap(), 0, 32);
  EXPECT_EQ(PortDestroy(port), 1);
  // The fixture's count proves both blocks and the record went.
}

// The port holds the last notification parameter set, once: the same block set
// again stays, another one frees the block it replaces.
TEST_F(PortTest, NotifyParameterIsTheLastOneSetAndHeldOnce) {
  Port *port = nullptr;
  ASSERT_EQ(PortCreate(&port, PORT_KIND_USB), 1);
  for (bool same : {true, false}) {
    size_t blocks = world::LiveHeapBlocks();
    void *first = HeapAlloc(GetProcessHeap(), 0, 16);
    void *second = same ? first : HeapAlloc(GetProcessHeap(), 0, 16);
    EXPECT_EQ(PortSetNotify(port, nullptr, nullptr, first), 1);
    EXPECT_EQ(PortSetNotify(port, nullptr, nullptr, second), 1);
    EXPECT_EQ(port->notifyParam, second) << same;
    EXPECT_EQ(world::LiveHeapBlocks(), blocks + 1) << same;
    EXPECT_EQ(PortSetNotify(port, nullptr, nullptr, nullptr), 1);
    EXPECT_EQ(world::LiveHeapBlocks(), blocks) << same;
  }
  PortDestroy(port);
}

TEST_F(PortTest, CloseReturnsThePipeSelectionToUnset) {
  Port *port = nullptr;
  ASSERT_EQ(PortCreate(&port, PORT_KIND_USB), 1);
  PortSetPipes(port, 0, 1, 2, 1);
  EXPECT_EQ(PortClose(port), 1);
  const auto *usb = reinterpret_cast<UsbPort *>(port);
  EXPECT_EQ(usb->writePipe, -1);
  EXPECT_EQ(usb->readPipe, -1);
  EXPECT_EQ(usb->extraPipe, -1);
  EXPECT_EQ(usb->useExtraPipe, 0);
  PortDestroy(port);
}

}  // namespace
