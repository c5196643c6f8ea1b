// Stopping a thread the port layer started, without ever freeing what it may
// still touch.
#pragma once

#include "platform/win32.h"

// Stops `thread` if it still runs: cancels its blocking I/O and gives it 500 ms
// to leave; failing that, terminates it and waits up to 2 s for it to end.
// Returns 1 once the thread is known to have ended, 0 if that cannot be
// confirmed: then whatever the thread uses must be left allocated.
int StopThread(HANDLE thread);
