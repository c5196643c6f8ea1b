// While the image goes out the computer must neither sleep nor end the
// session: a printer cut off half-way through its firmware may not start again.
#pragma once

#include "platform/win32.h"

// Asks the system to stay awake and registers why `page` holds up the end of
// the session. A quiet run has no page (null): it can only hold off sleep. The
// stay-awake request belongs to the calling thread: call both functions on the
// thread that runs the page, or the transfer.
void HoldOffSleepAndShutdown(HWND page);
// Gives both back.
void AllowSleepAndShutdown(HWND page);
