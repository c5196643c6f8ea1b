#include "thread_stop.h"

namespace {
constexpr DWORD kCancelGraceMs = 500;
// TerminateThread only asks; the thread has ended once its handle is signalled.
constexpr DWORD kTerminateWaitMs = 2000;
}  // namespace

int StopThread(HANDLE thread) {
  if (WaitForSingleObject(thread, 0) == WAIT_OBJECT_0) return 1;
  CancelSynchronousIo(thread);
  if (WaitForSingleObject(thread, kCancelGraceMs) == WAIT_OBJECT_0) return 1;
  TerminateThread(thread, STILL_ACTIVE);
  return WaitForSingleObject(thread, kTerminateWaitMs) == WAIT_OBJECT_0 ? 1 : 0;
}
