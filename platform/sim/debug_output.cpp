// What the program tells a debugger, and the interlocked operations: small
// kernel services with no state of the kernel's own.
#include <mutex>
#include <string>
#include <vector>

#include "win32_kernel.h"
#include "world.h"

namespace {
std::mutex outputLock;
std::vector<std::string> output;
}  // namespace

void WINAPI OutputDebugStringA(LPCSTR text) {
  if (text == nullptr) return;
  std::lock_guard<std::mutex> guard(outputLock);
  output.emplace_back(text);
}

// Full barriers, as the Win32 functions are.
LONG WINAPI InterlockedExchange(LONG volatile *target, LONG value) {
  return __atomic_exchange_n(target, value, __ATOMIC_SEQ_CST);
}

LONG WINAPI InterlockedCompareExchange(LONG volatile *target, LONG exchange, LONG comparand) {
  __atomic_compare_exchange_n(target, &comparand, exchange, false, __ATOMIC_SEQ_CST,
                              __ATOMIC_SEQ_CST);
  return comparand;
}

namespace world {

std::vector<std::string> DebugOutput() {
  std::lock_guard<std::mutex> guard(outputLock);
  return output;
}

void ClearDebugOutput() {
  std::lock_guard<std::mutex> guard(outputLock);
  output.clear();
}

}  // namespace world
