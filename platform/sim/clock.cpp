// The model's clock. By default it is virtual: it stands still while any
// thread of the program runs and jumps to the next deadline only once every
// one of them waits in a model call, so a 30 s time-out passes in no real time
// and the same run gives the same times however loaded the machine is.
#include <algorithm>
#include <ctime>
#include <vector>

#include "internal/kernel.h"
#include "win32_files.h"
#include "win32_kernel.h"

namespace sim {
namespace {

// A thread waiting in a model call. `wake` is read under kernelLock by
// whichever thread looks for the next deadline.
struct Waiter {
  ModelTime deadline;
  const std::function<bool()> *wake;
  bool realIo;
};

// Everything here is under kernelLock.
struct ClockState {
  bool real = false;
  ModelTime now = 0;  // virtual time, and real time's model moment at realBase
  RealClock::time_point realBase = RealClock::now();
  RealClock::time_point paceMark = RealClock::now();
  // Threads that take part and are not waiting in a model call: they hold the clock.
  size_t holders = 0;
  std::vector<Waiter *> waiters;
};
ClockState clock;

// A thread takes part once it starts a thread or waits in the model; the
// model's own threads from their start. The test's thread is then the
// program's main thread, and its work holds the clock like any other's.
struct Participant {
  bool enrolled = false;
  bool modelThread = false;
  ~Participant() {
    if (!enrolled || modelThread) return;
    std::lock_guard<std::mutex> guard(kernelLock);
    --clock.holders;
    MoveClockIfAllWait();
  }
};
thread_local Participant me;

void Enroll() {
  if (me.enrolled) return;
  me.enrolled = true;
  ++clock.holders;
}

ModelTime Now() {
  if (!clock.real) return clock.now;
  auto elapsed =
      std::chrono::duration_cast<std::chrono::milliseconds>(RealClock::now() - clock.realBase);
  return clock.now + static_cast<ModelTime>(elapsed.count());
}

RealClock::time_point RealMomentOf(ModelTime deadline) {
  if (deadline == kNever) return RealClock::time_point::max();
  ModelTime from = clock.now;
  if (deadline <= from) return clock.realBase;
  return clock.realBase + std::chrono::milliseconds(deadline - from);
}

ModelTime NextDeadline() {
  ModelTime next = kNever;
  for (const Waiter *waiter : clock.waiters) next = std::min(next, waiter->deadline);
  return next;
}

}  // namespace

void MoveClockIfAllWait() {
  if (clock.real || clock.holders > 0) return;
  for (const Waiter *waiter : clock.waiters) {
    // Data from outside the model may be on its way: time then passes at the
    // pace of real time (PassRealTime), never by a jump over it.
    if (waiter->realIo) return;
    // Someone is about to run: what it does may come before the next deadline.
    if (waiter->deadline <= clock.now || (*waiter->wake)()) return;
  }
  ModelTime next = NextDeadline();
  if (next == kNever) return;
  clock.now = next;
  kernelChanged.notify_all();
}

ModelTime NowMs() {
  std::lock_guard<std::mutex> guard(kernelLock);
  return Now();
}

ModelTime DeadlineAfter(DWORD milliseconds) {
  if (milliseconds == INFINITE) return kNever;
  std::lock_guard<std::mutex> guard(kernelLock);
  Enroll();
  return Now() + milliseconds;
}

void UseRealTime(bool real) {
  std::lock_guard<std::mutex> guard(kernelLock);
  if (real == clock.real) return;
  clock.now = Now();
  clock.realBase = RealClock::now();
  clock.paceMark = clock.realBase;
  clock.real = real;
  kernelChanged.notify_all();
}

void HoldClockForNewThread() {
  Enroll();  // whoever starts a thread is part of the program
  ++clock.holders;
}

void EnrolAsModelThread() {
  me.enrolled = true;
  me.modelThread = true;
}

void ReleaseClockAtThreadEnd() {
  --clock.holders;
  MoveClockIfAllWait();
}

bool Settle(std::unique_lock<std::mutex> &lock, ModelTime deadline, RealClock::time_point realLimit,
            const std::function<bool()> &wake) {
  Enroll();
  Waiter self{deadline, &wake, false};
  clock.waiters.push_back(&self);
  --clock.holders;
  MoveClockIfAllWait();
  auto due = [&] { return wake() || Now() >= self.deadline; };
  while (!due()) {
    RealClock::time_point until = realLimit;
    if (clock.real) until = std::min(until, RealMomentOf(self.deadline));
    if (until == RealClock::time_point::max()) {
      kernelChanged.wait(lock);
    } else if (kernelChanged.wait_until(lock, until) == std::cv_status::timeout &&
               RealClock::now() >= realLimit) {
      break;
    }
  }
  clock.waiters.erase(std::find(clock.waiters.begin(), clock.waiters.end(), &self));
  ++clock.holders;
  return wake();
}

void *BeginRealIo(ModelTime deadline) {
  std::lock_guard<std::mutex> guard(kernelLock);
  Enroll();
  auto *self = new Waiter{deadline, nullptr, true};
  // The first real wait starts the pace; later ones share it.
  if (std::none_of(clock.waiters.begin(), clock.waiters.end(),
                   [](const Waiter *waiter) { return waiter->realIo; }))
    clock.paceMark = RealClock::now();
  clock.waiters.push_back(self);
  --clock.holders;
  return self;
}

int PassRealTime(void *record) {
  std::lock_guard<std::mutex> guard(kernelLock);
  auto *self = static_cast<Waiter *>(record);
  if (!clock.real) {
    // Real time passes for the model, whoever runs meanwhile; the part of a
    // millisecond left over waits for the next call.
    auto passed =
        std::chrono::duration_cast<std::chrono::milliseconds>(RealClock::now() - clock.paceMark);
    if (passed.count() > 0) {
      clock.now += static_cast<ModelTime>(passed.count());
      clock.paceMark += passed;
      kernelChanged.notify_all();
    }
  }
  if (self->deadline != kNever && Now() >= self->deadline) return 0;
  if (self->deadline == kNever || !clock.real) return 10;
  auto left =
      std::chrono::ceil<std::chrono::milliseconds>(RealMomentOf(self->deadline) - RealClock::now());
  return static_cast<int>(std::max<long long>(1, left.count()));
}

void EndRealIo(void *record) {
  std::lock_guard<std::mutex> guard(kernelLock);
  auto *self = static_cast<Waiter *>(record);
  clock.waiters.erase(std::find(clock.waiters.begin(), clock.waiters.end(), self));
  delete self;
  ++clock.holders;
}

}  // namespace sim

// Windows counts from boot; start well past zero so nothing relies on small values.
DWORD WINAPI GetTickCount(void) { return static_cast<DWORD>(0x00200000u + sim::NowMs()); }

// The machine started on 9 December 2026 at 14:03:27 local time.
void WINAPI GetLocalTime(LPSYSTEMTIME time) {
  constexpr time_t kStartedAt = 1796825007;
  sim::ModelTime now = sim::NowMs();
  time_t seconds = kStartedAt + static_cast<time_t>(now / 1000);
  std::tm date = {};
  gmtime_r(&seconds, &date);
  *time = {static_cast<WORD>(date.tm_year + 1900), static_cast<WORD>(date.tm_mon + 1),
           static_cast<WORD>(date.tm_wday),        static_cast<WORD>(date.tm_mday),
           static_cast<WORD>(date.tm_hour),        static_cast<WORD>(date.tm_min),
           static_cast<WORD>(date.tm_sec),         static_cast<WORD>(now % 1000)};
}
