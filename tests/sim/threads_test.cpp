// Threads, waits, the clock and handle accounting in the Win32 model.
#include <future>

#include "sim_test.h"

namespace {

// A thread routine that waits until the test lets it go, then returns 7. It
// waits in the model: a thread blocked anywhere else holds the clock.
struct Gate {
  HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  ~Gate() { CloseHandle(event); }
  void Open() { SetEvent(event); }
};

DWORD WINAPI WaitAtGate(LPVOID parameter) {
  WaitForSingleObject(static_cast<Gate *>(parameter)->event, INFINITE);
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
  size_t handlesBefore = world::LiveHandles();
  HANDLE thread = CreateThread(nullptr, 0, WaitAtGate, &gate, 0, nullptr);
  ASSERT_NE(thread, nullptr);
  EXPECT_EQ(world::LiveHandles(), handlesBefore + 1);
  EXPECT_EQ(world::LiveThreads(), 1u);

  DWORD code = 0;
  EXPECT_EQ(WaitForSingleObject(thread, 50), WAIT_TIMEOUT);
  ASSERT_TRUE(GetExitCodeThread(thread, &code));
  EXPECT_EQ(code, STILL_ACTIVE);

  gate.Open();
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
  gate.Open();
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
  gate.Open();
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
  gate.Open();
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
  gate.Open();
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

// Real time is measured from the sleeping thread's side; what the model's
// clock shows is exact in virtual time and at least as long in real time.
TEST_F(ThreadsTest, SleepsTakeNoRealTimeInVirtualTimeAndTheirLengthInRealTime) {
  struct Case {
    bool real;
    DWORD sleep;
  } cases[] = {{false, 30000}, {true, 120}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.real ? "real time" : "virtual time");
    world::UseRealTime(c.real);
    DWORD before = GetTickCount();
    auto realStart = std::chrono::steady_clock::now();
    Sleep(c.sleep);
    auto real = std::chrono::steady_clock::now() - realStart;
    if (c.real) {
      EXPECT_GE(GetTickCount() - before, c.sleep);
      EXPECT_GE(real, std::chrono::milliseconds(c.sleep));
    } else {
      EXPECT_EQ(GetTickCount() - before, c.sleep);
      EXPECT_LT(real, std::chrono::seconds(1)) << "virtual time waited in real time";
    }
  }
}

// A thread that works outside the model holds the clock: a wait on it cannot
// run out however long the work takes in real time.
DWORD WINAPI WorkForAWhile(LPVOID) {
  auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(200);
  while (std::chrono::steady_clock::now() < until) {
  }
  return 0;
}

TEST_F(ThreadsTest, ClockStandsStillWhileAThreadWorks) {
  HANDLE thread = CreateThread(nullptr, 0, WorkForAWhile, nullptr, 0, nullptr);
  ASSERT_NE(thread, nullptr);
  DWORD before = GetTickCount();
  EXPECT_EQ(WaitForSingleObject(thread, 50), WAIT_OBJECT_0);
  EXPECT_EQ(GetTickCount(), before);
  CloseHandle(thread);
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
  gate.Open();
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);
}

}  // namespace
