// One copy of the updater per printer model at a time. A second one, started
// while the first runs (a double click too many, another user's session), must
// neither probe nor touch the printer.
#pragma once

#include "platform/win32.h"

struct OneCopyGuard {
  HANDLE local;   // the name in this session
  HANDLE global;  // the name across the computer's sessions, where it could be made
};

// Takes the names of the configured printer model (string 16): 1 when no other
// copy holds them, and this one then does until ReleaseOneCopyGuard; 0 when
// another copy does (nothing is then held).
int TakeOneCopyGuard(OneCopyGuard *guard);
void ReleaseOneCopyGuard(OneCopyGuard *guard);
// Brings the page the running copy shows in this session to the front. When
// it shows none here (it runs in another user's session, or unattended, or
// has no page up yet), says in a message box that it is running.
void ShowRunningCopy(void);
