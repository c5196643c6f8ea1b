// The last-error value, one per thread as on Windows.
#include "internal/kernel.h"
#include "win32_kernel.h"

namespace sim {
namespace {
thread_local DWORD lastError = ERROR_SUCCESS;
}
void SetLastErrorValue(DWORD error) { lastError = error; }
}  // namespace sim

DWORD WINAPI GetLastError(void) { return sim::lastError; }
void WINAPI SetLastError(DWORD error) { sim::lastError = error; }
