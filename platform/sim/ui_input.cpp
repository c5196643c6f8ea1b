// The user at the keyboard and mouse. Input reaches a page through its UI
// thread's modal loop, in order with everything else sent to it, and only a
// page that is shown, enabled and not ending takes any.
#include "internal/ui.h"

namespace sim {
namespace {

bool TakesInput(const Page &page) {
  return !page.destroyed && !page.ended && page.visible && page.enabled;
}

DWORD ButtonType(const Control &control) { return DWORD(control.style) & BS_TYPEMASK; }

bool IsAutoRadio(const Control &control) {
  return control.kind == ControlClass::button && ButtonType(control) == BS_AUTORADIOBUTTON;
}

// An automatic radio button takes the check from the others of its group: the
// controls from the nearest WS_GROUP one at or before it (or the first
// control) up to the next WS_GROUP one.
void SelectInGroup(Page &page, size_t chosen) {
  std::vector<Control> &controls = page.controls;
  size_t first = chosen;
  while (first > 0 && !(controls[first].style & WS_GROUP)) --first;
  size_t end = chosen + 1;
  while (end < controls.size() && !(controls[end].style & WS_GROUP)) ++end;
  for (size_t i = first; i < end; ++i)
    if (IsAutoRadio(controls[i])) controls[i].check = i == chosen ? BST_CHECKED : BST_UNCHECKED;
}

LRESULT Click(const std::shared_ptr<Page> &page, size_t index) {
  HWND control;
  int id;
  {
    std::lock_guard<std::mutex> guard(kernelLock);
    Control &target = page->controls[index];
    if (!TakesInput(*page) || !target.visible || !target.enabled) return FALSE;
    if (target.kind != ControlClass::button) return FALSE;
    DWORD type = ButtonType(target);
    if (type == BS_AUTORADIOBUTTON)
      SelectInGroup(*page, index);
    else if (type != BS_PUSHBUTTON && type != BS_DEFPUSHBUTTON)
      return FALSE;
    control = target.hwnd;
    id = target.id;
    Changed();
  }
  if (page->proc != nullptr)
    page->proc(page->hwnd, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
               reinterpret_cast<LPARAM>(control));
  return TRUE;
}

// Esc: the dialog manager sends IDCANCEL whether or not the page has such a
// button. The close box and Alt+F4 send WM_CLOSE, which the dialog manager
// turns into IDCANCEL when the dialog procedure leaves it to the default.
// Both need the system menu: a page without one has no close box, and the
// model takes it that Alt+F4 does nothing there either (a guess about
// Windows, to be settled under Wine).
LRESULT Cancel(const std::shared_ptr<Page> &page, bool throughClose) {
  HWND cancelButton = nullptr;
  {
    std::lock_guard<std::mutex> guard(kernelLock);
    if (!TakesInput(*page)) return FALSE;
    if (throughClose && !(page->style & WS_SYSMENU)) return FALSE;
    if (const Control *button = page->Find(IDCANCEL)) cancelButton = button->hwnd;
  }
  if (page->proc == nullptr) return TRUE;
  if (throughClose) {
    if (page->proc(page->hwnd, WM_CLOSE, 0, 0) != 0) return TRUE;
    std::lock_guard<std::mutex> guard(kernelLock);
    if (page->ended) return TRUE;  // an ended page's loop dispatches nothing more
  }
  page->proc(page->hwnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
             reinterpret_cast<LPARAM>(cancelButton));
  return TRUE;
}

}  // namespace

bool DoUserAction(HWND handle, UserAction action, int controlId, unsigned realMilliseconds) {
  WindowRef window = LookUpWindow(handle);
  if (!window.page || window.control >= 0) return false;
  std::shared_ptr<Page> page = window.page;
  PageWork work;
  if (action == UserAction::press) {
    int index = page->IndexOf(controlId);
    if (index < 0) return false;
    work = [page, index](std::u16string &) { return Click(page, size_t(index)); };
  } else {
    bool throughClose = action != UserAction::escape;
    work = [page, throughClose](std::u16string &) { return Cancel(page, throughClose); };
  }
  RealClock::time_point deadline = RealClock::now() + std::chrono::milliseconds(realMilliseconds);
  return RunOnPageThread(page, work, FALSE, nullptr, deadline) != FALSE;
}

}  // namespace sim
