// Messages to a page and its controls: text, check state and progress. They
// are handled on the page's UI thread; from any other thread the sender waits
// until they have been, as SendMessage makes it on Windows.
#include <cstring>

#include "internal/ui.h"

namespace sim {
namespace {

// An ANSI page's window procedure and its edit controls take text in the ANSI
// code page: wide text arriving there passes through it.
bool KeepsAnsi(const Page &page, const Control *control) {
  return !page.unicode && (control == nullptr || control->kind == ControlClass::edit);
}

LRESULT SetText(Page &page, Control *control, const std::u16string &given) {
  std::u16string text = KeepsAnsi(page, control) ? ThroughAnsi(given) : given;
  if (control != nullptr)
    control->text = text;
  else
    page.caption = text;
  RecordText(page, control != nullptr ? control->id : 0, text);
  Changed();
  return TRUE;
}

bool IsButton(const Control &control) { return control.kind == ControlClass::button; }
bool IsProgress(const Control &control) { return control.kind == ControlClass::progress; }

LRESULT ProgressMessage(Page &page, Control &bar, UINT message, WPARAM wParam, LPARAM lParam) {
  LRESULT previous = bar.position;
  switch (message) {
    case PBM_SETPOS: {
      // Out of range, the bar goes to the nearer end.
      int wanted = static_cast<int>(wParam);
      bar.position = wanted < bar.low ? bar.low : wanted > bar.high ? bar.high : wanted;
      RecordPosition(page, bar.id, bar.position);
      Changed();
      return previous;
    }
    case PBM_GETPOS:
      return previous;
    case PBM_SETRANGE: {
      LRESULT range = LRESULT(DWORD(WORD(bar.low)) | DWORD(WORD(bar.high)) << 16);
      bar.low = LOWORD(lParam);
      bar.high = HIWORD(lParam);
      if (bar.position < bar.low) bar.position = bar.low;
      if (bar.position > bar.high) bar.position = bar.high;
      Changed();
      return range;
    }
    default:
      return 0;
  }
}

WindowRef ControlOf(HWND dialog, int id) {
  WindowRef window = LookUpWindow(dialog);
  if (!window.page || window.control >= 0) return WindowRef();
  int index = window.page->IndexOf(id);  // ids never change: no lock needed
  return index < 0 ? WindowRef() : WindowRef{window.page, index};
}

// Copies `text` into a caller's buffer of `size` units, cut to fit and
// terminated; the units copied.
template <class Unit>
LRESULT CopyOut(const std::basic_string<Unit> &text, WPARAM size, LPARAM buffer) {
  if (size == 0 || buffer == 0) return 0;
  size_t copied = text.size() < size - 1 ? text.size() : size - 1;
  Unit *out = reinterpret_cast<Unit *>(buffer);
  std::memcpy(out, text.data(), copied * sizeof(Unit));
  out[copied] = 0;
  return LRESULT(copied);
}

// Sends a message to a page (control -1) or one of its controls; `wide` for
// the W calls, whose texts are UTF-16.
LRESULT Send(const WindowRef &window, UINT message, WPARAM wParam, LPARAM lParam, bool wide) {
  StopPoint();
  std::u16string textIn;
  if (message == WM_SETTEXT && lParam != 0)
    textIn = wide ? std::u16string(reinterpret_cast<const char16_t *>(lParam))
                  : WideFromAnsi(reinterpret_cast<const char *>(lParam));
  std::shared_ptr<Page> page = window.page;
  int control = window.control;
  PageWork work = [=](std::u16string &textOut) {
    return HandleControlMessage(page, control, message, wParam, lParam, textIn, textOut);
  };
  if (message != WM_GETTEXT) return RunOnPageThread(page, work, 0);
  // The text comes back to this thread, and only this thread writes its buffer.
  std::u16string text;
  if (RunOnPageThread(page, work, -1, &text) < 0) return 0;
  return wide ? CopyOut(text, wParam, lParam) : CopyOut(AnsiFromWide(text), wParam, lParam);
}

BOOL SetItemText(HWND dialog, int id, LPARAM text, bool wide) {
  WindowRef control = ControlOf(dialog, id);
  if (!control.page) {
    GetDlgItem(dialog, id);  // for its error
    return FALSE;
  }
  return Send(control, WM_SETTEXT, 0, text, wide) ? TRUE : FALSE;
}

// On Windows the page's own WM_SETTEXT passes through its dialog procedure
// first; the program's leave it to the default, so the model sets the caption
// without asking.
BOOL SetCaption(HWND window, LPARAM text, bool wide) {
  WindowRef target = LookUpWindow(window);
  if (!target.page) {
    SetLastErrorValue(kErrorInvalidWindowHandle);
    return FALSE;
  }
  return Send(target, WM_SETTEXT, 0, text, wide) ? TRUE : FALSE;
}

}  // namespace

LRESULT HandleControlMessage(const std::shared_ptr<Page> &page, int control, UINT message,
                             WPARAM wParam, LPARAM, const std::u16string &textIn,
                             std::u16string &textOut) {
  std::lock_guard<std::mutex> guard(kernelLock);
  if (page->destroyed) return message == WM_GETTEXT ? -1 : 0;
  Control *target = control < 0 ? nullptr : &page->controls[size_t(control)];
  switch (message) {
    case WM_SETTEXT:
      return SetText(*page, target, textIn);
    case WM_GETTEXT:
      textOut = target != nullptr ? target->text : page->caption;
      return LRESULT(textOut.size());
    default:
      break;
  }
  if (target == nullptr) return 0;
  if (IsButton(*target) && message == BM_GETCHECK) return target->check;
  if (IsButton(*target) && message == BM_SETCHECK) {
    target->check = static_cast<int>(wParam);
    Changed();
    return 0;
  }
  if (IsProgress(*target)) return ProgressMessage(*page, *target, message, wParam, 0);
  return 0;
}

}  // namespace sim

HWND WINAPI GetDlgItem(HWND dialog, int id) {
  sim::WindowRef window = sim::LookUpWindow(dialog);
  if (!window.page) {
    sim::SetLastErrorValue(sim::kErrorInvalidWindowHandle);
    return nullptr;
  }
  sim::WindowRef control = sim::ControlOf(dialog, id);
  if (!control.page) {
    sim::SetLastErrorValue(sim::kErrorControlIdNotFound);
    return nullptr;
  }
  return control.page->controls[size_t(control.control)].hwnd;
}

LRESULT WINAPI SendDlgItemMessageA(HWND dialog, int id, UINT message, WPARAM wParam,
                                   LPARAM lParam) {
  sim::WindowRef control = sim::ControlOf(dialog, id);
  if (!control.page) {
    GetDlgItem(dialog, id);  // for its error
    return 0;
  }
  return sim::Send(control, message, wParam, lParam, false);
}

BOOL WINAPI SetDlgItemTextA(HWND dialog, int id, LPCSTR text) {
  return sim::SetItemText(dialog, id, reinterpret_cast<LPARAM>(text), false);
}

BOOL WINAPI SetDlgItemTextW(HWND dialog, int id, LPCWSTR text) {
  return sim::SetItemText(dialog, id, reinterpret_cast<LPARAM>(text), true);
}

BOOL WINAPI SetWindowTextA(HWND window, LPCSTR text) {
  return sim::SetCaption(window, reinterpret_cast<LPARAM>(text), false);
}

BOOL WINAPI SetWindowTextW(HWND window, LPCWSTR text) {
  return sim::SetCaption(window, reinterpret_cast<LPARAM>(text), true);
}
