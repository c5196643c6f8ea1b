// The model's clock. Time-outs of 30 s must not cost a test 30 s, so model time
// can run faster than real time; every wait, Sleep and GetTickCount goes through here.
#include "internal/kernel.h"
#include "win32_kernel.h"

namespace sim {
namespace {

struct ClockState {
  RealClock::time_point realBase = RealClock::now();
  double modelBaseMs = 0;
  double speed = 1;
};
ClockState clock;
std::mutex clockLock;

// Windows counts from boot; start well past zero so nothing relies on small values.
constexpr uint64_t tickOrigin = 0x00200000u;

double ModelMsAt(const ClockState &c, RealClock::time_point real) {
  std::chrono::duration<double, std::milli> elapsed = real - c.realBase;
  return c.modelBaseMs + elapsed.count() * c.speed;
}

}  // namespace

uint64_t NowMs() {
  std::lock_guard<std::mutex> guard(clockLock);
  return tickOrigin + static_cast<uint64_t>(ModelMsAt(clock, RealClock::now()));
}

void SetClockSpeed(double speed) {
  if (!(speed > 0)) return;
  {
    std::lock_guard<std::mutex> guard(clockLock);
    RealClock::time_point now = RealClock::now();
    clock.modelBaseMs = ModelMsAt(clock, now);
    clock.realBase = now;
    clock.speed = speed;
  }
  std::lock_guard<std::mutex> guard(kernelLock);
  kernelChanged.notify_all();
}

RealClock::time_point RealDeadline(DWORD milliseconds) {
  if (milliseconds == INFINITE) return RealClock::time_point::max();
  double speed;
  {
    std::lock_guard<std::mutex> guard(clockLock);
    speed = clock.speed;
  }
  std::chrono::duration<double, std::milli> real(milliseconds / speed);
  return RealClock::now() + std::chrono::duration_cast<RealClock::duration>(real);
}

}  // namespace sim

DWORD WINAPI GetTickCount(void) { return static_cast<DWORD>(sim::NowMs()); }
