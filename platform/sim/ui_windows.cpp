// Window state any thread may change directly: enabled, shown, where and how
// large. Windows sends some of these across threads too; nothing the program
// does depends on that, so the model changes the state under its lock.
#include "internal/ui.h"

namespace {

// The window's state fields, page or control.
struct WindowState {
  bool *enabled;
  bool *visible;
  RECT *rect;
};

WindowState StateOf(const sim::WindowRef &window) {
  sim::Page &page = *window.page;
  if (window.control < 0) return {&page.enabled, &page.visible, &page.rect};
  sim::Control &control = page.controls[size_t(window.control)];
  return {&control.enabled, &control.visible, &control.rect};
}

// The live window behind `handle`, with kernelLock held through `guard`; a
// null page (and the last error set) when there is none.
sim::WindowRef Live(HWND handle, std::unique_lock<std::mutex> &guard) {
  sim::WindowRef window = sim::LookUpWindow(handle);
  guard = std::unique_lock<std::mutex>(sim::kernelLock);
  if (!window.page || window.page->destroyed) {
    sim::SetLastErrorValue(sim::kErrorInvalidWindowHandle);
    return sim::WindowRef();
  }
  return window;
}

}  // namespace

// Returns whether the window was disabled before.
BOOL WINAPI EnableWindow(HWND handle, BOOL enable) {
  std::unique_lock<std::mutex> guard;
  sim::WindowRef window = Live(handle, guard);
  if (!window.page) return FALSE;
  bool *enabled = StateOf(window).enabled;
  BOOL wasDisabled = *enabled ? FALSE : TRUE;
  *enabled = enable != FALSE;
  sim::Changed();
  return wasDisabled;
}

// Returns whether the window was visible before.
BOOL WINAPI ShowWindow(HWND handle, int command) {
  std::unique_lock<std::mutex> guard;
  sim::WindowRef window = Live(handle, guard);
  if (!window.page) return FALSE;
  bool *visible = StateOf(window).visible;
  BOOL wasVisible = *visible ? TRUE : FALSE;
  *visible = command != SW_HIDE;
  sim::Changed();
  return wasVisible;
}

// A control's parent is its page; a page has no owner, and GetParent gives a
// popup's owner, so null.
HWND WINAPI GetParent(HWND handle) {
  std::unique_lock<std::mutex> guard;
  sim::WindowRef window = Live(handle, guard);
  if (!window.page || window.control < 0) return nullptr;
  return window.page->hwnd;
}

BOOL WINAPI GetWindowRect(HWND handle, LPRECT rect) {
  std::unique_lock<std::mutex> guard;
  sim::WindowRef window = Live(handle, guard);
  if (!window.page) return FALSE;
  if (rect == nullptr) {
    sim::SetLastErrorValue(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const sim::Page &page = *window.page;
  *rect = window.control < 0 ? page.rect
                             : sim::ControlScreenRect(page, page.controls[size_t(window.control)]);
  return TRUE;
}

// A page moves in screen coordinates, a control in its page's client area.
BOOL WINAPI MoveWindow(HWND handle, int x, int y, int width, int height, BOOL) {
  std::unique_lock<std::mutex> guard;
  sim::WindowRef window = Live(handle, guard);
  if (!window.page) return FALSE;
  *StateOf(window).rect = RECT{x, y, x + width, y + height};
  sim::Changed();
  return TRUE;
}
