// The screen, as GDI reports it through an information context on the
// display, and COMCTL32's class registration.
#include "internal/faults.h"
#include "internal/ui.h"
#include "win32_kernel.h"

namespace {

bool IsDisplayContext(HDC dc) {
  std::shared_ptr<sim::KernelObject> object = sim::LookUpHandle(dc);
  return object && object->kind == sim::KernelObject::Kind::ui &&
         static_cast<sim::UiObject &>(*object).type == sim::UiObject::Type::displayContext;
}

}  // namespace

// Only the display has an information context in the model. What Windows
// gives for another driver name is not modelled: null, with a guessed error.
HDC WINAPI CreateICA(LPCSTR driver, LPCSTR, LPCSTR, const void *) {
  if (driver == nullptr || lstrcmpiA(driver, "DISPLAY") != 0) {
    sim::SetLastErrorValue(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  // A display driver that cannot be reached (a session without one, or GDI
  // out of objects); the error is a guess.
  if (sim::TakeFault(sim::Fault::displayContext)) {
    sim::SetLastErrorValue(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  auto context = std::make_shared<sim::UiObject>(sim::UiObject::Type::displayContext);
  return reinterpret_cast<HDC>(sim::InsertHandle(context));
}

// The screen's size in pixels; 0 for what the model does not report.
int WINAPI GetDeviceCaps(HDC dc, int index) {
  if (!IsDisplayContext(dc)) return 0;
  std::lock_guard<std::mutex> guard(sim::kernelLock);
  switch (index) {
    case HORZRES:
      return sim::ScreenWidth();
    case VERTRES:
      return sim::ScreenHeight();
    default:
      return 0;
  }
}

// USER32's own idea of the primary screen, which needs no display context.
int WINAPI GetSystemMetrics(int index) {
  std::lock_guard<std::mutex> guard(sim::kernelLock);
  switch (index) {
    case SM_CXSCREEN:
      return sim::ScreenWidth();
    case SM_CYSCREEN:
      return sim::ScreenHeight();
    default:
      return 0;
  }
}

BOOL WINAPI DeleteDC(HDC dc) {
  if (!IsDisplayContext(dc) || !sim::RemoveHandle(dc)) {
    sim::SetLastErrorValue(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return TRUE;
}

// COMCTL32 registers its classes, the progress bar's among them, as soon as
// it is loaded, and the program's import of this call is what loads it: so
// the model's progress bar is always there, and the call has nothing to do.
void WINAPI InitCommonControls(void) {}
