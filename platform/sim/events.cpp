// Events: a set/unset flag in the handle table that waits are satisfied by.
// Named events are not modelled; the program never shares one between processes.
#include "internal/kernel.h"
#include "win32_kernel.h"

namespace sim {
namespace {

// `set` is under kernelLock.
struct Event : KernelObject {
  explicit Event(bool manual, bool initial) : KernelObject(Kind::event), manualReset(manual) {
    set = initial;
  }
  const bool manualReset;
  bool set = false;
};

std::shared_ptr<Event> LookUpEvent(HANDLE handle) {
  std::shared_ptr<KernelObject> object = LookUpHandle(handle);
  if (!object || object->kind != KernelObject::Kind::event) return nullptr;
  return std::static_pointer_cast<Event>(object);
}

BOOL Store(HANDLE handle, bool value) {
  std::shared_ptr<Event> event = LookUpEvent(handle);
  if (!event) {
    SetLastErrorValue(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  std::lock_guard<std::mutex> guard(kernelLock);
  event->set = value;
  kernelChanged.notify_all();
  return TRUE;
}

}  // namespace

bool WaitForEvent(HANDLE handle, DWORD milliseconds, DWORD &result) {
  std::shared_ptr<Event> event = LookUpEvent(handle);
  if (!event) return false;
  RealClock::time_point deadline = RealDeadline(milliseconds);
  std::unique_lock<std::mutex> lock(kernelLock);
  bool set = BlockUntil(lock, deadline, [&] { return event->set; });
  if (set && !event->manualReset) event->set = false;
  result = set ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
  return true;
}

}  // namespace sim

HANDLE WINAPI CreateEventA(LPSECURITY_ATTRIBUTES, BOOL manualReset, BOOL initialState,
                           LPCSTR name) {
  if (name != nullptr) {
    sim::SetLastErrorValue(ERROR_NOT_SUPPORTED);
    return nullptr;
  }
  return sim::InsertHandle(
      std::make_shared<sim::Event>(manualReset != FALSE, initialState != FALSE));
}

BOOL WINAPI SetEvent(HANDLE event) { return sim::Store(event, true); }
BOOL WINAPI ResetEvent(HANDLE event) { return sim::Store(event, false); }
