// The world's side of the user interface: the screen, a user at the keyboard
// and mouse, and what that user sees. Pages are named by their window handle;
// control id 0 names the page itself wherever a control id is taken.
//
// The program runs its pages on its own threads; these calls are made from the
// test's thread. A user action is handled by the page's modal loop, on the
// page's UI thread, and the call returns once it has been (or could not be).
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "win32_sim.h"

namespace world {

// The screen GetDeviceCaps reports (1024 x 768 unless set).
void SetScreenSize(int width, int height);
// Every page built from this template from now on has this window size in
// pixels instead of the size its template gives.
void SetPageSize(WORD templateId, int width, int height);

struct PageInfo {
  WORD templateId;
  HWND page;
};
// The pages open now, oldest first.
std::vector<PageInfo> Pages();

// Waits, at most `realMilliseconds` of real time, for an open page of the
// template whose WM_INITDIALOG has returned and which has been shown; the
// newest such page, or null on time-out.
HWND WaitForPage(WORD templateId, unsigned realMilliseconds = 10000);
// Waits until the page has been destroyed; false on time-out.
bool WaitForPageClosed(HWND page, unsigned realMilliseconds = 10000);
// Waits until `condition` holds, checking it again after every change to any
// page; false on time-out. The condition may call the readers below.
bool WaitUntil(const std::function<bool()> &condition, unsigned realMilliseconds = 10000);

// User actions. Each returns whether the user could do it; a page that is
// hidden, disabled or ending takes no input. The action waits its turn on the
// page's thread (at most 30 s of real time, then it counts as not done); an
// action whose handler opens a nested page is done once that page takes input.
// Clicks a visible, enabled push button or automatic radio button.
bool Press(HWND page, int controlId);
// The Esc key: IDCANCEL, whichever buttons the page has.
bool PressEscape(HWND page);
// The caption's close box, which only a page with a system menu has.
bool PressCloseBox(HWND page);
// Alt+F4, taken only by a page with a system menu.
bool PressAltF4(HWND page);

// Messages other threads have sent to the page, and user actions, that the
// page's thread has not yet taken up (it is busy, or not yet in its loop).
size_t PendingMessages(HWND page);

// What the user sees, its texts in UTF-8 whatever the code page. A page or
// control that does not exist reads as empty, disabled, hidden, unchecked, at
// position 0 and nowhere.
std::string Caption(HWND page);
std::string ControlText(HWND page, int controlId);
// The window's own state: a control keeps its state while its page is hidden.
bool IsEnabled(HWND page, int controlId = 0);
bool IsVisible(HWND page, int controlId = 0);
RECT WindowRect(HWND page, int controlId = 0);  // screen coordinates
int ProgressPosition(HWND page, int controlId);
bool IsChecked(HWND page, int controlId);

// A page's controls, in template order.
struct ControlInfo {
  int id;
  std::string className;  // "Button", "Edit", "Static" or "msctls_progress32"
  DWORD style;
  std::string text;
  bool enabled;
  bool visible;
};
std::vector<ControlInfo> Controls(HWND page);

// What happened, in order, since the last Reset: pages opened and closed (with
// what DialogBoxParamA returned), and every text and progress position the
// program set, per page and control (control id 0: the page's caption).
struct PageEvent {
  enum class Kind { opened, closed };
  Kind kind;
  WORD templateId;
  HWND page;
  INT_PTR result;  // closed pages only
};
std::vector<PageEvent> PageHistory();
// The newest page of the template ever opened (maybe closed since); null if none.
HWND LastPage(WORD templateId);
std::vector<std::string> TextHistory(HWND page, int controlId = 0);
std::vector<int> ProgressHistory(HWND page, int controlId);
// How often the program called EndDialog on the page, successfully or not.
int EndDialogCalls(HWND page);
// Runs `watcher` on the program's thread as each EndDialog call begins, before
// the page is told anything: to see the world as it stands when a page is
// ended. Cleared by Reset.
void WatchEndDialog(std::function<void(HWND)> watcher);

// The desktop session. Whether a thread of the program asks the system to stay
// awake (ES_CONTINUOUS | ES_SYSTEM_REQUIRED) and has not given it back.
bool SystemKeptAwake();
// The page's answer to WM_QUERYENDSESSION, sent as the system sends it before
// the session ends: FALSE holds the session up. TRUE when the page is gone.
LRESULT QueryEndSession(HWND page);
// The reason the page registered for holding up the session's end; empty when none.
std::string ShutdownBlockReason(HWND page);
// The window last brought to the front; null when none was.
HWND ForegroundWindow();
// The message boxes the program showed since the last Reset, oldest first;
// each was answered at once with its OK button.
struct MessageBoxInfo {
  std::string text;
  std::string caption;
  UINT type;
};
std::vector<MessageBoxInfo> MessageBoxes();

}  // namespace world
