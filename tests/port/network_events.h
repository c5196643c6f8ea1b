// What the ports' callbacks were told, in order: 0 at each open, 1 for each
// failed keep-alive echo (on the keep-alive thread). One recorder at a time.
#pragma once

#include <atomic>

#include "platform/win32.h"

class PortEvents {
 public:
  PortEvents() : changed_(CreateEventA(nullptr, FALSE, FALSE, nullptr)) { current_ = this; }
  ~PortEvents() {
    current_ = nullptr;
    CloseHandle(changed_);
  }
  PortEvents(const PortEvents &) = delete;
  PortEvents &operator=(const PortEvents &) = delete;

  static void Record(int32_t event) {
    PortEvents *self = current_;
    if (self == nullptr) return;
    if (event == 0) {
      ++self->opened;
    } else {
      int index = self->failed++;
      if (index < kTimes) self->failedAt[index] = GetTickCount();
    }
    SetEvent(self->changed_);
  }

  // Waits (model time) until at least `count` failures have been told.
  bool WaitForFailures(int count, DWORD milliseconds) {
    DWORD start = GetTickCount();
    while (failed < count) {
      DWORD spent = GetTickCount() - start;
      if (spent >= milliseconds) return false;
      WaitForSingleObject(changed_, milliseconds - spent);
    }
    return true;
  }

  static constexpr int kTimes = 8;
  std::atomic<int> opened{0};
  std::atomic<int> failed{0};
  std::atomic<DWORD> failedAt[kTimes] = {};

 private:
  static inline std::atomic<PortEvents *> current_{nullptr};
  HANDLE changed_;
};
