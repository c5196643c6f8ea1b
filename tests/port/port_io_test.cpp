// Timed transfers: each read and write on a thread of its own, bounded by the
// port's time-out, and never touching the caller's memory after returning.
#include "port/port_io.h"

#include <memory>
#include <string>

#include "fake_device.h"
#include "port/port_failure.h"
#include "sim_test.h"
#include "world_devices.h"

namespace {

class PortIoTest : public SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    world::PrintClassDevice device;
    device.hardwareIds = {"USB\\VID_7C5E&PID_4A86"};
    device.endpoint = printer;
    deviceId = world::AttachPrintClassDevice(device);
    OpenPort();
  }
  void OpenPort() {
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
  world::DeviceId deviceId = 0;
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

// A block written in part is not written: the rest follows, or the call fails.
TEST_F(PortIoTest, PartialWritesGoOnUntilEveryByteIsWritten) {
  using Action = world::DeviceFault::Action;
  struct Case {
    const char *what;
    std::vector<world::DeviceFault> faults;
    int result;
    std::string written;
  };
  const Case cases[] = {
      {"3 bytes, then the rest",
       {{world::DeviceCall::WriteFile, Action::shorten, 0, 3}},
       1,
       "12345678"},
      {"nothing, then everything",
       {{world::DeviceCall::WriteFile, Action::succeedEmpty, 0, 0, 1, 3}},
       1,
       "12345678"},
      {"3 bytes, then a failure",
       {{world::DeviceCall::WriteFile, Action::shorten, 0, 3},
        {world::DeviceCall::WriteFile, Action::fail, ERROR_GEN_FAILURE, 0, 2}},
       0,
       "123"},
      {"never anything",
       {{world::DeviceCall::WriteFile, Action::succeedEmpty, 0, 0, 1, 1000000000u}},
       0,
       ""},
      // Taken as all 8: a count gone below zero would go on, into the failure.
      {"8 bytes reported as 13",
       {{world::DeviceCall::WriteFile, Action::overreport, 0, 5},
        {world::DeviceCall::WriteFile, Action::fail, ERROR_GEN_FAILURE, 0, 2}},
       1,
       "12345678"},
  };
  for (const Case &c : cases) {
    size_t before = printer->Written().size();
    world::DisarmFaults();
    for (const world::DeviceFault &fault : c.faults) world::InjectDeviceFault(fault);
    uint32_t count = 8;
    EXPECT_EQ(PortWrite(port, "12345678", &count), c.result) << c.what;
    EXPECT_EQ(count, 8u) << c.what;
    EXPECT_EQ(printer->Written().substr(before), c.written) << c.what;
  }
}

TEST_F(PortIoTest, ReadDeliveredInPiecesArrivesWholeAndInOrder) {
  static const char kReply[] = "\x02\x02\x00\x00\x0A\x00\x00\x00 reply bytes";
  std::string reply(kReply, sizeof kReply - 1);  // zero bytes inside, as replies have
  ASSERT_EQ(reply.size(), 20u);
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
  EXPECT_EQ(took, 30000u) << "a cancelled worker ends at once";
  EXPECT_EQ(world::LiveThreads(), 0u) << "the stuck worker was not stopped";
  // The caller may reuse its data at once: the port still works.
  EXPECT_EQ(PortWrite(port, block.data(), &count), 1);
}

// A worker whose last driver call moved the last byte has done its work, however
// late it is found ended: as the time-out runs out, after the cancel, or as it
// is terminated. The call succeeds, and a read's bytes reach the caller.
TEST_F(PortIoTest, WorkerEndingAsTheTimeOutRunsOutCountsByWhatItDid) {
  struct Case {
    const char *what;
    DWORD completesAtMs;  // the driver call's end, deaf to the stop; 0: none held
  };
  const Case cases[] = {{"found ended as the wait runs out", 0},
                        {"completing within the cancel's grace", 30200},
                        {"completing as it is terminated", 30700}};
  for (const Case &c : cases) {
    for (bool read : {false, true}) {
      std::string what = std::string(c.what) + (read ? ", read" : ", write");
      PortClearFailure();
      size_t written = printer->Written().size();
      if (read) printer->QueueRead("reply");
      if (c.completesAtMs == 0) world::TimeOutAsThreadEnds(1);
      world::DeviceFault hold{read ? world::DeviceCall::ReadFile : world::DeviceCall::WriteFile,
                              world::DeviceFault::Action::hold, ERROR_SUCCESS};
      hold.holdMs = c.completesAtMs;
      if (c.completesAtMs != 0) world::InjectDeviceFault(hold);
      std::string bytes = "12345";
      uint32_t count = 5;
      EXPECT_EQ(read ? PortRead(port, &bytes[0], &count) : PortWrite(port, bytes.data(), &count), 1)
          << what;
      EXPECT_EQ(bytes, read ? "reply" : "12345") << what;
      EXPECT_EQ(printer->Written().substr(written), read ? "" : "12345")
          << what << ": written once";
      EXPECT_EQ(PortLastFailure()->step[0], 0) << what << ": " << PortLastFailure()->step;
      EXPECT_EQ(world::LiveThreads(), 0u) << what;
    }
  }
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
  EXPECT_EQ(took, 30500u) << "termination comes only after the 500 ms grace";
  EXPECT_EQ(world::LiveThreads(), 0u);
}

}  // namespace

namespace {

std::string LastStep() { return PortLastFailure()->step; }

TEST_F(PortIoTest, CountsWhoseJobWouldWrapAreRefusedUntouched) {
  PortClearFailure();
  char buffer[8] = {};
  for (uint32_t count : {0xFFFFFFFFu, kPortJobMaxCount + 1}) {
    EXPECT_EQ(PortRead(port, buffer, &count), 0) << count;
    EXPECT_EQ(LastStep(), "count too large");
  }
  EXPECT_TRUE(printer->Calls().empty()) << "the driver was called";
}

// A device that keeps answering reads with nothing (a vanished printer under
// Wine does): the worker must neither spin nor need termination.
TEST_F(PortIoTest, ReadsThatDeliverNothingBackOffAndEndAtTheTimeOutByThemselves) {
  world::InjectDeviceFault({world::DeviceCall::ReadFile, world::DeviceFault::Action::succeedEmpty,
                            0, 0, 1, 1000000000u});
  std::string buffer(8, '#');
  uint32_t count = 8;
  DWORD before = GetTickCount();
  EXPECT_EQ(PortRead(port, &buffer[0], &count), 0);
  DWORD took = GetTickCount() - before;
  EXPECT_GE(took, 30000u);
  EXPECT_LE(took, 33000u);
  EXPECT_EQ(LastStep(), "time-out") << "the worker did not end by itself";
  // About 30 s in pauses of up to tens of ms: hundreds of calls, not millions.
  unsigned calls = world::DeviceCallsMade(world::DeviceCall::ReadFile);
  EXPECT_GT(calls, 20u);
  EXPECT_LT(calls, 3000u) << "the worker asked again without a pause";
  EXPECT_EQ(buffer, "########");
}

TEST_F(PortIoTest, EmptyReadsBetweenPiecesStillGiveTheWholeReply) {
  printer->QueueRead(std::string("ab\0cd", 5));
  Inject(world::DeviceCall::ReadFile, world::DeviceFault::Action::shorten, 2, 1, 1);
  Inject(world::DeviceCall::ReadFile, world::DeviceFault::Action::succeedEmpty, 0, 2, 5);
  std::string buffer(5, '#');
  uint32_t count = 5;
  EXPECT_EQ(PortRead(port, &buffer[0], &count), 1);
  EXPECT_EQ(buffer, std::string("ab\0cd", 5));
}

TEST_F(PortIoTest, EveryFailureKeepsItsReasonAndTellsTheDebugger) {
  struct Case {
    const char *what;
    world::DeviceFault fault;
    bool read;
    std::string step;
    DWORD error;
  };
  using Action = world::DeviceFault::Action;
  const Case cases[] = {
      {"write fails",
       {world::DeviceCall::WriteFile, Action::fail, ERROR_DEVICE_NOT_CONNECTED},
       false,
       "write",
       ERROR_DEVICE_NOT_CONNECTED},
      {"read fails",
       {world::DeviceCall::ReadFile, Action::fail, ERROR_GEN_FAILURE},
       true,
       "read",
       ERROR_GEN_FAILURE},
      {"write stalls", {world::DeviceCall::WriteFile, Action::block}, false, "time-out", 0},
      {"write ignores cancellation",
       {world::DeviceCall::WriteFile, Action::blockUncancellable},
       false,
       "time-out, stopped by termination",
       0},
  };
  for (const Case &c : cases) {
    PortClearFailure();
    world::ClearDebugOutput();
    world::InjectDeviceFault(c.fault);
    char buffer[4] = {'d', 'a', 't', 'a'};
    uint32_t count = 4;
    EXPECT_EQ(c.read ? PortRead(port, buffer, &count) : PortWrite(port, buffer, &count), 0);
    EXPECT_EQ(LastStep(), c.step) << c.what;
    EXPECT_EQ(PortLastFailure()->error, c.error) << c.what;
    std::vector<std::string> told = world::DebugOutput();
    ASSERT_FALSE(told.empty()) << c.what;
    EXPECT_NE(told.back().find(c.step), std::string::npos) << told.back();
    // The system's words for the code, or that there was none: never "error 0".
    std::string code =
        c.error != 0 ? "(error " + std::to_string(c.error) + ": " : "(no error code)";
    EXPECT_NE(told.back().find(code), std::string::npos) << told.back();
  }
}

// The driver call holds its thread whatever is done to it: the port layer
// cannot confirm the worker ended, so the port is the worker's from then on.
TEST_F(PortIoTest, WorkerThatCannotBeStoppedKeepsThePortItUses) {
  world::DeviceFault hold{world::DeviceCall::WriteFile, world::DeviceFault::Action::hold};
  hold.holdMs = 36000;
  world::InjectDeviceFault(hold);
  uint32_t count = 4;
  DWORD before = GetTickCount();
  EXPECT_EQ(PortWrite(port, "data", &count), 0);
  DWORD took = GetTickCount() - before;
  EXPECT_EQ(took, 32500u) << "the cancel grace and the 2 s after termination";
  EXPECT_EQ(LastStep(), "time-out, worker could not be stopped");
  EXPECT_EQ(world::LiveThreads(), 1u);

  size_t blocks = world::LiveHeapBlocks();
  EXPECT_EQ(PortClose(port), 0);
  EXPECT_EQ(world::OpenHandlesOf(deviceId), 2u) << "handles closed under the blocked call";
  EXPECT_EQ(PortWrite(port, "data", &count), 0) << "a second call on the held port";
  EXPECT_EQ(PortRead(port, &count, &count), 0);
  EXPECT_EQ(PortDestroy(port), 1);
  EXPECT_EQ(world::LiveHeapBlocks(), blocks) << "the record freed under the worker";
  EXPECT_EQ(world::OpenHandlesOf(deviceId), 2u);
  // Once the call lets go the worker leaves, into a job and a port still there;
  // the next open of the device frees them, and the thread's handle.
  EXPECT_TRUE(world::WaitUntilQuiet());
  EXPECT_EQ(printer->Calls().size(), 0u);
  OpenPort();
  EXPECT_EQ(world::OpenHandlesOf(deviceId), 2u) << "the held port's handles are still open";
}

}  // namespace
