// Runs a piece of the program on a thread of its own, as its user-interface
// thread, so the test's thread is free to play the user and watch.
#pragma once

#include <functional>

#include "sim_test.h"
#include "world_ui.h"

class ProgramThread {
 public:
  explicit ProgramThread(std::function<DWORD()> body) : body_(std::move(body)) {
    thread_ = CreateThread(nullptr, 0, Run, this, 0, nullptr);
  }
  // A test that failed half-way leaves pages open: the user leaves them with
  // Esc (the progress page ends on its own), so the thread can be let go.
  ~ProgramThread() {
    if (thread_ == nullptr) return;
    for (int round = 0; round < 20 && !world::WaitUntilQuiet(round == 0 ? 0 : 500); ++round)
      for (const world::PageInfo &open : world::Pages()) world::PressEscape(open.page);
    CloseHandle(thread_);
  }
  ProgramThread(const ProgramThread &) = delete;
  ProgramThread &operator=(const ProgramThread &) = delete;

  // Waits (real time) until the body and every thread it started have ended;
  // the body's result, or -1 on time-out.
  long Result(unsigned realMilliseconds = 20000) {
    world::WaitUntilQuiet(realMilliseconds);
    DWORD code = 0;
    if (WaitForSingleObject(thread_, 0) != WAIT_OBJECT_0 || !GetExitCodeThread(thread_, &code))
      return -1;
    return static_cast<long>(static_cast<int32_t>(code));
  }

 private:
  static DWORD WINAPI Run(LPVOID self) { return static_cast<ProgramThread *>(self)->body_(); }

  std::function<DWORD()> body_;
  HANDLE thread_ = nullptr;
};
