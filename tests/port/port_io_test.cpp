// Timed transfers: each read and write on a thread of its own, bounded by the
// port's time-out, and never touching the caller's memory after returning.
#include "port/port_io.h"

#include <memory>
#include <string>

#include "fake_device.h"
#include "sim_test.h"
#include "world_devices.h"

namespace {

class PortIoTest : public SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    // Fast enough that a 30 s time-out costs 1.5 s, slow enough that the
    // bounds on how long a stopped call takes hold on a loaded machine.
    world::SetClockSpeed(20);
    world::PrintClassDevice device;
    device.hardwareIds = {"USB\\VID_7C5E&PID_4A86"};
    device.endpoint = printer;
    world::AttachPrintClassDevice(device);
    ASSERT_EQ(PortCreate(&port, PORT_KIND_USB), 1);
    PortSetUsbscan(port, 0);
    PortSetHardwareId(port, "USB\\VID_7C5E&PID_4A86");
    PortSetTimeout(port, 30);
    ASSERT_EQ(PortOpen(port), 1);
  }
  void TearDown() override {
    PortDestroy(port);
    world::DetachAllDevices();
    SimTest::TearDown();
  }

  void Inject(world::DeviceCall call, world::DeviceFault::Action action, DWORD maxBytes = 0,
              unsigned first = 1, unsigned count = 1) {
    world::InjectDeviceFault({call, action, ERROR_GEN_FAILURE, maxBytes, first, count});
  }

  Port *port = nullptr;
  std::shared_ptr<FakeDevice> printer = std::make_shared<FakeDevice>();
};

TEST_F(PortIoTest, NothingIsStartedForBadArguments) {
  char buffer[8] = {};
  uint32_t zero = 0;
  uint32_t eight = 8;
  EXPECT_EQ(PortWrite(port, buffer, &zero), 0);
  EXPECT_EQ(PortRead(port, buffer, &zero), 0);
  EXPECT_EQ(PortWrite(nullptr, buffer, &eight), 0);
  EXPECT_EQ(PortWrite(port, nullptr, &eight), 0);
  EXPECT_EQ(PortRead(port, nullptr, &eight), 0);
  EXPECT_EQ(PortRead(port, buffer, nullptr), 0);
  EXPECT_TRUE(printer->Calls().empty()) << "the driver was called";
}

TEST_F(PortIoTest, WriteSendsTheBytesAndLeavesTheCountAlone) {
  std::string block(65472, 'x');
  uint32_t count = static_cast<uint32_t>(block.size());
  EXPECT_EQ(PortWrite(port, block.data(), &count), 1);
  EXPECT_EQ(count, 65472u);
  EXPECT_EQ(printer->Written(), block);
}

TEST_F(PortIoTest, PartialWriteCountsAsTheDriverReportsIt) {
  Inject(world::DeviceCall::WriteFile, world::DeviceFault::Action::shorten, 3);
  uint32_t count = 8;
  EXPECT_EQ(PortWrite(port, "12345678", &count), 1);
  EXPECT_EQ(printer->Written(), "123");
}

TEST_F(PortIoTest, ReadDeliveredInPiecesArrivesWholeAndInOrder) {
  std::string reply = "\x02\x02\x00\x00\x0A\x00\x00\x00 reply bytes";
  printer->QueueRead(reply);
  Inject(world::DeviceCall::ReadFile, world::DeviceFault::Action::shorten, 3, 1, 100);
  std::string buffer(reply.size(), '#');
  uint32_t count = static_cast<uint32_t>(reply.size());
  EXPECT_EQ(PortRead(port, &buffer[0], &count), 1);
  EXPECT_EQ(buffer, reply);
  EXPECT_EQ(count, reply.size());
  EXPECT_GE(printer->Calls().size(), reply.size() / 3);
}

TEST_F(PortIoTest, ReadFailingPartWayKeepsWhatArrived) {
  printer->QueueRead("abcdef");
  Inject(world::DeviceCall::ReadFile, world::DeviceFault::Action::shorten, 4, 1, 1);
  Inject(world::DeviceCall::ReadFile, world::DeviceFault::Action::fail, 0, 2, 1);
  std::string buffer(8, '#');
  uint32_t count = 8;
  EXPECT_EQ(PortRead(port, &buffer[0], &count), 0);
  EXPECT_EQ(buffer, "abcd####");
  EXPECT_EQ(count, 8u);
}

TEST_F(PortIoTest, StalledWriteFailsAfterTheTimeOutAndLeavesNothingRunning) {
  Inject(world::DeviceCall::WriteFile, world::DeviceFault::Action::block);
  std::string block(65472, 'y');
  uint32_t count = static_cast<uint32_t>(block.size());
  DWORD before = GetTickCount();
  EXPECT_EQ(PortWrite(port, block.data(), &count), 0);
  DWORD took = GetTickCount() - before;
  EXPECT_GE(took, 30000u);
  EXPECT_LT(took, 33000u) << "the call must return within the time-out and 3 s";
  EXPECT_EQ(world::LiveThreads(), 0u) << "the stuck worker was not stopped";
  // The caller may reuse its data at once: the port still works.
  EXPECT_EQ(PortWrite(port, block.data(), &count), 1);
}

TEST_F(PortIoTest, ReadThatNeverCompletesFailsAfterTheTimeOut) {
  // The fake blocks on an empty queue: the read worker is stopped inside ReadFile.
  std::string buffer(8, '#');
  uint32_t count = 8;
  EXPECT_EQ(PortRead(port, &buffer[0], &count), 0);
  EXPECT_EQ(buffer, "########");
  EXPECT_EQ(world::LiveThreads(), 0u);
}

TEST_F(PortIoTest, WorkerThatCannotStartFailsTheCallCleanly) {
  world::FailThreadCreation(1);
  uint32_t count = 4;
  EXPECT_EQ(PortWrite(port, "data", &count), 0);
  world::FailAllocation(1);
  EXPECT_EQ(PortWrite(port, "data", &count), 0);
  EXPECT_TRUE(printer->Calls().empty());
}

}  // namespace

namespace {

TEST_F(PortIoTest, WorkerThatIgnoresCancellationIsTerminated) {
  Inject(world::DeviceCall::WriteFile, world::DeviceFault::Action::blockUncancellable);
  uint32_t count = 4;
  DWORD before = GetTickCount();
  EXPECT_EQ(PortWrite(port, "data", &count), 0);
  DWORD took = GetTickCount() - before;
  EXPECT_GE(took, 30500u) << "termination comes only after the 500 ms grace";
  EXPECT_LT(took, 33000u);
  EXPECT_EQ(world::LiveThreads(), 0u);
}

}  // namespace
