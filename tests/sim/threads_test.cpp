// Threads, waits, the clock and handle accounting in the Win32 model.
#include <future>

#include "sim_test.h"

namespace {

// A thread routine that runs until the test lets it go, then returns 7.
struct Gate {
  std::promise<void> open;
  std::shared_future<void> opened = open.get_future().share();
};

DWORD WINAPI WaitAtGate(LPVOID parameter) {
  static_cast<Gate *>(parameter)->opened.wait();
  return 7;
}

unsigned EndThroughRuntime(void *) {
  _endthreadex(42);
  return 1;  // never reached
}

DWORD WINAPI RecordLastError(LPVOID parameter) {
  SetLastError(1234);
  *static_cast<DWORD *>(parameter) = GetLastError();
  return 0;
}

// The gate belongs to the fixture, so it outlives every thread: the base
// fixture's tear-down waits for them before the members go.
class ThreadsTest : public SimTest {
 protected:
  Gate gate;
};

TEST_F(ThreadsTest, WaitTimesOutWhileThreadRunsAndSucceedsOnceItEnds) {
  world::SetClockSpeed(100);
  size_t handlesBefore = world::LiveHandles();
  HANDLE thread = CreateThread(nullptr, 0, WaitAtGate, &gate, 0, nullptr);
  ASSERT_NE(thread, nullptr);
  EXPECT_EQ(world::LiveHandles(), handlesBefore + 1);
  EXPECT_EQ(world::LiveThreads(), 1u);

  DWORD code = 0;
  EXPECT_EQ(WaitForSingleObject(thread, 50), WAIT_TIMEOUT);
  ASSERT_TRUE(GetExitCodeThread(thread, &code));
  EXPECT_EQ(code, STILL_ACTIVE);

  gate.open.set_value();
  EXPECT_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
  ASSERT_TRUE(GetExitCodeThread(thread, &code));
  EXPECT_EQ(code, 7u);
  EXPECT_TRUE(world::WaitUntilQuiet());
  EXPECT_EQ(world::LiveThreads(), 0u);
  EXPECT_TRUE(CloseHandle(thread));
  EXPECT_EQ(world::LiveHandles(), handlesBefore);
}

TEST_F(ThreadsTest, ThreadOutlivesItsClosedHandle) {
  HANDLE thread = CreateThread(nullptr, 0, WaitAtGate, &gate, 0, nullptr);
  ASSERT_NE(thread, nullptr);
  EXPECT_TRUE(CloseHandle(thread));
  EXPECT_EQ(world::LiveThreads(), 1u);
  gate.open.set_value();
  EXPECT_TRUE(world::WaitUntilQuiet());
}

TEST_F(ThreadsTest, RuntimeThreadEndsWithTheCodeGivenToEndThread) {
  unsigned id = 0;
  uintptr_t thread = _beginthreadex(nullptr, 0, EndThroughRuntime, nullptr, 0, &id);
  ASSERT_NE(thread, 0u);
  EXPECT_NE(id, 0u);
  HANDLE handle = reinterpret_cast<HANDLE>(thread);
  EXPECT_EQ(WaitForSingleObject(handle, INFINITE), WAIT_OBJECT_0);
  DWORD code = 0;
  ASSERT_TRUE(GetExitCodeThread(handle, &code));
  EXPECT_EQ(code, 42u);
  EXPECT_TRUE(CloseHandle(handle));
}

TEST_F(ThreadsTest, ClosedOrUnknownHandlesAreRefused) {
  gate.open.set_value();
  HANDLE thread = CreateThread(nullptr, 0, WaitAtGate, &gate, 0, nullptr);
  ASSERT_NE(thread, nullptr);
  ASSERT_TRUE(CloseHandle(thread));

  SetLastError(0);
  EXPECT_FALSE(CloseHandle(thread));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_EQ(WaitForSingleObject(thread, 0), WAIT_FAILED);
  DWORD code = 0;
  EXPECT_FALSE(GetExitCodeThread(thread, &code));
  EXPECT_EQ(WaitForSingleObject(INVALID_HANDLE_VALUE, 0), WAIT_FAILED);
  EXPECT_EQ(world::FailedCloses(), 1u);
  world::Reset();  // the refused close above was the point of the test
}

TEST_F(ThreadsTest, FreedHandleValuesComeBackAtOnceLastFreedFirst) {
  gate.open.set_value();
  HANDLE first = CreateThread(nullptr, 0, WaitAtGate, &gate, 0, nullptr);
  HANDLE second = CreateThread(nullptr, 0, WaitAtGate, &gate, 0, nullptr);
  ASSERT_TRUE(CloseHandle(first));
  ASSERT_TRUE(CloseHandle(second));
  HANDLE third = CreateThread(nullptr, 0, WaitAtGate, &gate, 0, nullptr);
  HANDLE fourth = CreateThread(nullptr, 0, WaitAtGate, &gate, 0, nullptr);
  EXPECT_EQ(third, second);
  EXPECT_EQ(fourth, first);
  // A second close of `second` closes the thread that took its value.
  EXPECT_TRUE(CloseHandle(second));
  EXPECT_EQ(WaitForSingleObject(third, 0), WAIT_FAILED);
  EXPECT_TRUE(CloseHandle(fourth));
}

TEST_F(ThreadsTest, ArmedCreationFailureHitsOnlyTheNthThread) {
  world::FailThreadCreation(2);
  gate.open.set_value();
  HANDLE first = CreateThread(nullptr, 0, WaitAtGate, &gate, 0, nullptr);
  ASSERT_NE(first, nullptr);
  SetLastError(0);
  EXPECT_EQ(_beginthreadex(nullptr, 0, EndThroughRuntime, nullptr, 0, nullptr), 0u);
  EXPECT_NE(GetLastError(), 0u);
  HANDLE third = CreateThread(nullptr, 0, WaitAtGate, &gate, 0, nullptr);
  ASSERT_NE(third, nullptr);
  CloseHandle(first);
  CloseHandle(third);
}

TEST_F(ThreadsTest, LastErrorBelongsToEachThread) {
  SetLastError(5);
  DWORD seen = 0;
  HANDLE thread = CreateThread(nullptr, 0, RecordLastError, &seen, 0, nullptr);
  ASSERT_NE(thread, nullptr);
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);
  EXPECT_EQ(seen, 1234u);
  EXPECT_EQ(GetLastError(), 5u);
}

TEST_F(ThreadsTest, FastClockShortensSleepsAndTimeOuts) {
  world::SetClockSpeed(1000);
  DWORD before = GetTickCount();
  auto realStart = std::chrono::steady_clock::now();
  Sleep(30000);
  auto real = std::chrono::steady_clock::now() - realStart;
  EXPECT_GE(GetTickCount() - before, 30000u);
  EXPECT_LT(real, std::chrono::seconds(10)) << "model time did not run faster";
}

}  // namespace

namespace {

DWORD WINAPI SleepForever(LPVOID parameter) {
  static_cast<std::promise<void> *>(parameter)->set_value();
  Sleep(INFINITE);
  return 0;  // never reached
}

TEST_F(ThreadsTest, TerminatedThreadLeavesItsBlockingCallWithTheGivenCode) {
  std::promise<void> started;
  HANDLE thread = CreateThread(nullptr, 0, SleepForever, &started, 0, nullptr);
  ASSERT_NE(thread, nullptr);
  started.get_future().wait();
  EXPECT_TRUE(TerminateThread(thread, STILL_ACTIVE));
  EXPECT_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
  DWORD code = 0;
  ASSERT_TRUE(GetExitCodeThread(thread, &code));
  EXPECT_EQ(code, STILL_ACTIVE);
  EXPECT_TRUE(TerminateThread(thread, 1)) << "terminating an ended thread is harmless";
  CloseHandle(thread);
}

TEST_F(ThreadsTest, CancellingAThreadOutsideIoFindsNothingToCancel) {
  HANDLE thread = CreateThread(nullptr, 0, WaitAtGate, &gate, 0, nullptr);
  ASSERT_NE(thread, nullptr);
  SetLastError(0);
  EXPECT_FALSE(CancelSynchronousIo(thread));
  EXPECT_EQ(GetLastError(), ERROR_NOT_FOUND);
  gate.open.set_value();
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);
}

}  // namespace
