#include "thread_stop.h"

namespace {
constexpr DWORD kCancelGraceMs = 500;
// TerminateThread only asks; the thread has ended once its handle is signalled.
constexpr DWORD kTerminateWaitMs = 2000;
}  // namespace

ThreadStopOutcome StopThreadReporting(HANDLE thread) {
  if (WaitForSingleObject(thread, 0) == WAIT_OBJECT_0) return THREAD_STOP_ENDED;
  CancelSynchronousIo(thread);
  if (WaitForSingleObject(thread, kCancelGraceMs) == WAIT_OBJECT_0) return THREAD_STOP_CANCELLED;
  TerminateThread(thread, STILL_ACTIVE);
  if (WaitForSingleObject(thread, kTerminateWaitMs) == WAIT_OBJECT_0) return THREAD_STOP_TERMINATED;
  return THREAD_STOP_UNCONFIRMED;
}

int StopThread(HANDLE thread) {
  return StopThreadReporting(thread) != THREAD_STOP_UNCONFIRMED ? 1 : 0;
}
