// Stopping a thread the port layer started, without ever freeing what it may
// still touch.
#pragma once

#include "platform/win32.h"

// How a stop went: the thread had ended already, left after its blocking I/O
// was cancelled, was terminated, or could not be confirmed ended.
enum ThreadStopOutcome {
  THREAD_STOP_ENDED,
  THREAD_STOP_CANCELLED,
  THREAD_STOP_TERMINATED,
  THREAD_STOP_UNCONFIRMED,
};

// Stops `thread` if it still runs: cancels its blocking I/O and gives it 500 ms
// to leave; failing that, terminates it and waits up to 2 s for it to end.
// THREAD_STOP_UNCONFIRMED means whatever the thread uses must be left allocated.
// Any other outcome says how the thread was ended, not what it got done: its
// last call may have completed within the grace or just before termination.
ThreadStopOutcome StopThreadReporting(HANDLE thread);
// The same: 1 once the thread is known to have ended, else 0.
int StopThread(HANDLE thread);
