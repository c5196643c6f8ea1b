// The desktop session as the program meets it: threads asking the system to
// stay awake, pages holding up the session's end and saying why, a dialog
// procedure's answer to a message, finding a page and bringing it to the front,
// a message box. All of it under kernelLock.
#include <map>
#include <vector>

#include "internal/ui.h"
#include "win32_kernel.h"
#include "world_ui.h"

namespace sim {
namespace {

// Each thread's last continuous request. Windows drops a thread's request when
// the thread ends; the model keeps it, so that one never given back still
// shows once the program's threads are gone. The program relies on neither.
std::map<DWORD, EXECUTION_STATE> executionStates;
std::map<HWND, std::u16string> blockReasons;
HWND foreground = nullptr;
std::vector<world::MessageBoxInfo> messageBoxes;

constexpr char16_t kDialogClass[] = u"#32770";

// The live page (not a control) behind `window`, with kernelLock held through
// `guard`; null, and the last error set, when there is none.
std::shared_ptr<Page> LivePage(HWND window, std::unique_lock<std::mutex> &guard) {
  WindowRef ref = LookUpWindow(window);
  guard = std::unique_lock<std::mutex>(kernelLock);
  if (!ref.page || ref.control >= 0 || ref.page->destroyed) {
    SetLastErrorValue(kErrorInvalidWindowHandle);
    return nullptr;
  }
  return ref.page;
}

}  // namespace

void ResetSession() {
  std::lock_guard<std::mutex> guard(kernelLock);
  executionStates.clear();
  blockReasons.clear();
  foreground = nullptr;
  messageBoxes.clear();
}

}  // namespace sim

EXECUTION_STATE WINAPI SetThreadExecutionState(EXECUTION_STATE flags) {
  if ((flags & ~(ES_CONTINUOUS | ES_SYSTEM_REQUIRED)) != 0) return 0;
  std::lock_guard<std::mutex> guard(sim::kernelLock);
  EXECUTION_STATE &state = sim::executionStates[GetCurrentThreadId()];
  EXECUTION_STATE previous = state | ES_CONTINUOUS;
  // Without ES_CONTINUOUS the call only resets the idle timer once.
  if (flags & ES_CONTINUOUS) state = flags;
  return previous;
}

BOOL WINAPI ShutdownBlockReasonCreate(HWND window, LPCWSTR reason) {
  std::unique_lock<std::mutex> guard;
  if (!sim::LivePage(window, guard)) return FALSE;
  if (reason == nullptr) {
    sim::SetLastErrorValue(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  sim::blockReasons[window] = reason;
  return TRUE;
}

BOOL WINAPI ShutdownBlockReasonDestroy(HWND window) {
  std::unique_lock<std::mutex> guard;
  if (!sim::LivePage(window, guard)) return FALSE;
  sim::blockReasons.erase(window);
  return TRUE;
}

LONG_PTR WINAPI SetWindowLongPtrW(HWND window, int index, LONG_PTR value) {
  std::unique_lock<std::mutex> guard;
  std::shared_ptr<sim::Page> page = sim::LivePage(window, guard);
  if (!page) return 0;
  if (index != DWLP_MSGRESULT) {
    sim::SetLastErrorValue(ERROR_INVALID_PARAMETER);
    return 0;
  }
  LONG_PTR previous = page->messageResult;
  page->messageResult = value;
  return previous;
}

// Top-level windows newest first, as the Z order of pages that each came up on
// top. Only pages, of the dialog class, are top-level here.
HWND WINAPI FindWindowExW(HWND parent, HWND after, LPCWSTR className, LPCWSTR caption) {
  if (parent != nullptr) {
    sim::SetLastErrorValue(ERROR_NOT_SUPPORTED);
    return nullptr;
  }
  if (className != nullptr && std::u16string(className) != sim::kDialogClass) return nullptr;
  std::lock_guard<std::mutex> guard(sim::kernelLock);
  const auto &open = sim::OpenPages();
  bool passed = after == nullptr;
  for (auto it = open.rbegin(); it != open.rend(); ++it) {
    const sim::Page &page = **it;
    if (!passed) {
      passed = page.hwnd == after;
      continue;
    }
    if (caption == nullptr || page.caption == caption) return page.hwnd;
  }
  return nullptr;
}

BOOL WINAPI IsWindowVisible(HWND window) {
  sim::WindowRef ref = sim::LookUpWindow(window);
  if (!ref.page) return FALSE;
  std::lock_guard<std::mutex> guard(sim::kernelLock);
  bool shown = !ref.page->destroyed && ref.page->visible;
  if (ref.control >= 0) shown = shown && ref.page->controls[size_t(ref.control)].visible;
  return shown ? TRUE : FALSE;
}

BOOL WINAPI SetForegroundWindow(HWND window) {
  std::unique_lock<std::mutex> guard;
  if (!sim::LivePage(window, guard)) return FALSE;
  sim::foreground = window;
  sim::Changed();
  return TRUE;
}

// Only what the world reads back: no window, and no modal loop to wait in.
int WINAPI MessageBoxW(HWND, LPCWSTR text, LPCWSTR caption, UINT type) {
  if (type != (type & (MB_OK | MB_ICONINFORMATION))) {
    sim::SetLastErrorValue(ERROR_NOT_SUPPORTED);
    return 0;
  }
  std::lock_guard<std::mutex> guard(sim::kernelLock);
  sim::messageBoxes.push_back({text != nullptr ? sim::Utf8FromWide(text) : std::string(),
                               caption != nullptr ? sim::Utf8FromWide(caption) : "Error", type});
  sim::Changed();
  return IDOK;
}

namespace world {

std::vector<MessageBoxInfo> MessageBoxes() {
  std::lock_guard<std::mutex> guard(sim::kernelLock);
  return sim::messageBoxes;
}

bool SystemKeptAwake() {
  std::lock_guard<std::mutex> guard(sim::kernelLock);
  for (const auto &request : sim::executionStates)
    if ((request.second & (ES_CONTINUOUS | ES_SYSTEM_REQUIRED)) ==
        (ES_CONTINUOUS | ES_SYSTEM_REQUIRED))
      return true;
  return false;
}

std::string ShutdownBlockReason(HWND page) {
  std::lock_guard<std::mutex> guard(sim::kernelLock);
  auto found = sim::blockReasons.find(page);
  return found == sim::blockReasons.end() ? std::string() : sim::Utf8FromWide(found->second);
}

HWND ForegroundWindow() {
  std::lock_guard<std::mutex> guard(sim::kernelLock);
  return sim::foreground;
}

// As the dialog manager answers for a dialog procedure: the procedure's
// DWLP_MSGRESULT when it handled the message, otherwise the default, TRUE.
LRESULT QueryEndSession(HWND page) {
  sim::WindowRef window = sim::LookUpWindow(page);
  if (!window.page || window.control >= 0) return TRUE;
  std::shared_ptr<sim::Page> target = window.page;
  sim::PageWork ask = [target](std::u16string &) -> LRESULT {
    if (target->proc == nullptr || target->proc(target->hwnd, WM_QUERYENDSESSION, 0, 0) == FALSE)
      return TRUE;
    std::lock_guard<std::mutex> guard(sim::kernelLock);
    return target->messageResult;
  };
  return sim::RunOnPageThread(target, ask, TRUE);
}

}  // namespace world
