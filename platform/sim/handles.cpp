// The handle table. As on Windows, a freed handle value is handed out again at
// once, the most recently freed first: a handle closed twice, or used after its
// close, reaches whatever object took its value since, as it would there.
// Window and device-context values come from the user-interface tables, which
// Windows does not hand out again so soon: those are never reused.
#include <map>
#include <vector>

#include "internal/kernel.h"
#include "win32_kernel.h"

namespace sim {

std::mutex kernelLock;
std::condition_variable kernelChanged;

namespace {
std::mutex tableLock;
std::map<uintptr_t, std::shared_ptr<KernelObject>> table;
uintptr_t nextHandle = 0x1000;
std::vector<uintptr_t> freedValues;  // the most recently freed last
}  // namespace

HANDLE InsertHandle(std::shared_ptr<KernelObject> object) {
  std::lock_guard<std::mutex> guard(tableLock);
  uintptr_t value = nextHandle;
  if (object->kind != KernelObject::Kind::ui && !freedValues.empty()) {
    value = freedValues.back();
    freedValues.pop_back();
  } else {
    nextHandle += 4;
  }
  table.emplace(value, std::move(object));
  return reinterpret_cast<HANDLE>(value);
}

std::shared_ptr<KernelObject> LookUpHandle(HANDLE handle) {
  std::lock_guard<std::mutex> guard(tableLock);
  auto found = table.find(reinterpret_cast<uintptr_t>(handle));
  return found == table.end() ? nullptr : found->second;
}

bool RemoveHandle(HANDLE handle) {
  std::shared_ptr<KernelObject> last;  // destroyed outside the table's lock
  std::lock_guard<std::mutex> guard(tableLock);
  auto found = table.find(reinterpret_cast<uintptr_t>(handle));
  if (found == table.end()) return false;
  last = std::move(found->second);
  table.erase(found);
  if (last->kind != KernelObject::Kind::ui)
    freedValues.push_back(reinterpret_cast<uintptr_t>(handle));
  return true;
}

size_t HandleCount() {
  std::lock_guard<std::mutex> guard(tableLock);
  return table.size();
}

}  // namespace sim

namespace sim {
std::atomic<size_t> failedCloses{0};
}

BOOL WINAPI CloseHandle(HANDLE handle) {
  if (sim::RemoveHandle(handle)) return TRUE;
  ++sim::failedCloses;
  sim::SetLastErrorValue(ERROR_INVALID_HANDLE);
  return FALSE;
}
