#include "session_hold.h"

#include "res/resource.h"

namespace {
constexpr int kTextSize = 1024;
}  // namespace

void HoldOffSleepAndShutdown(HWND page) {
  SetThreadExecutionState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED);
  if (page == nullptr) return;
  WCHAR reason[kTextSize] = {};
  LoadStringW(GetModuleHandleA(nullptr), IDS_SHUTDOWN_REASON, reason, kTextSize);
  // Without a reason the system only has less to tell the user (Wine keeps
  // none and says no): the page refuses the session's end all the same.
  ShutdownBlockReasonCreate(page, reason);
}

void AllowSleepAndShutdown(HWND page) {
  if (page != nullptr) ShutdownBlockReasonDestroy(page);
  SetThreadExecutionState(ES_CONTINUOUS);
}
