// The model's user interface: pages built from the program's dialog templates,
// their controls, the work each UI thread's modal loop runs for other threads,
// and what the world recorded. Every field marked so is under kernelLock, and
// every change to it is announced through Changed(), so a waiting world call
// or a blocked sender sees it.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "../win32_ui.h"
#include "../world_ui.h"
#include "kernel.h"

namespace sim {

// The window classes a template may name. Any other makes creation fail, as an
// unregistered class does on Windows.
enum class ControlClass { button, edit, label, progress };
const char *ClassName(ControlClass kind);

struct ControlTemplate {
  DWORD style = 0;
  short x = 0, y = 0, cx = 0, cy = 0;  // dialog units
  WORD id = 0;
  ControlClass kind = ControlClass::label;
  std::u16string text;
};

struct PageTemplate {
  DWORD style = 0;
  short x = 0, y = 0, cx = 0, cy = 0;  // dialog units
  std::u16string caption;
  std::vector<ControlTemplate> controls;
};

// Reads a DLGTEMPLATE (or DLGTEMPLATEEX). False when the bytes end early or a
// control names a class the model does not have.
bool ParseDialogTemplate(const BYTE *bytes, size_t size, PageTemplate &out);

// Pixels of the model's screen. Windows derives the dialog base units from the
// template's font; the model fixes them at what Tahoma 8 pt at 96 dpi roughly
// gives (a guess, close enough for placement): x = du * 6 / 4, y = du * 13 / 8.
constexpr int kBaseUnitX = 6;
constexpr int kBaseUnitY = 13;
// The non-client area, also fixed: a 3-pixel frame on every side, and a
// 22-pixel caption bar on a page with WS_CAPTION.
constexpr int kFrame = 3;
constexpr int kCaptionBar = 22;
constexpr int kDefaultScreenWidth = 1024;
constexpr int kDefaultScreenHeight = 768;

// USER32's error for a handle that names no window.
constexpr DWORD kErrorInvalidWindowHandle = 1400;
constexpr DWORD kErrorControlIdNotFound = 1421;

struct Control {
  HWND hwnd = nullptr;
  int id = 0;
  ControlClass kind = ControlClass::label;
  DWORD style = 0;
  // Under kernelLock:
  std::u16string text;
  bool enabled = true;
  bool visible = true;
  RECT rect{};  // in the page's client area
  int check = BST_UNCHECKED;
  int position = 0, low = 0, high = 100;
};

struct Page {
  // Fixed before the page is published:
  HWND hwnd = nullptr;
  WORD templateId = 0;
  DLGPROC proc = nullptr;
  DWORD style = 0;
  DWORD thread = 0;  // its UI thread: the one that called DialogBoxParamA
  // Made by DialogBoxParamW. A page of DialogBoxParamA is an ANSI window, and
  // so are its controls: its caption and its edit controls keep their text in
  // the ANSI code page, whichever call sets it (buttons and statics keep
  // theirs in UTF-16 either way), and its template's texts arrive through
  // that code page.
  bool unicode = false;
  // Under kernelLock (the controls' fixed fields excepted):
  std::vector<Control> controls;
  std::u16string caption;
  bool enabled = true;
  bool visible = false;
  RECT rect{};         // on the screen
  bool shown = false;  // WM_INITDIALOG has returned and the page was shown
  bool ended = false;  // EndDialog was called: its modal loop leaves
  bool destroyed = false;
  INT_PTR result = 0;
  LONG_PTR messageResult = 0;  // DWLP_MSGRESULT

  Control *Find(int id);
  int IndexOf(int id) const;  // -1 when no control has the id
};

// What a window handle in the handle table stands for: a page, one of its
// controls (by index), or a display context.
struct UiObject : KernelObject {
  enum class Type { window, displayContext };
  explicit UiObject(Type t) : KernelObject(Kind::ui), type(t) {}
  const Type type;
  std::shared_ptr<Page> page;
  int control = -1;  // -1: the page itself
};

// The page behind a page's or a control's handle, and which control (-1: the
// page). Null when the handle names no live window.
struct WindowRef {
  std::shared_ptr<Page> page;
  int control = -1;
};
WindowRef LookUpWindow(HWND window);

// Builds the page's windows from its template, on the calling thread (its UI
// thread from now on), and publishes it as open.
std::shared_ptr<Page> CreatePage(const PageTemplate &source, WORD templateId, DLGPROC proc,
                                 bool unicode);
// Takes the page's windows away, records its closing and releases whoever is
// still waiting on it.
void DestroyPage(const std::shared_ptr<Page> &page);
// With kernelLock held.
std::vector<std::shared_ptr<Page>> &OpenPages();

// Screen rectangle of a control, from its page's rectangle.
RECT ControlScreenRect(const Page &page, const Control &control);

// With kernelLock held: every UI change goes through it.
void Changed();
uint64_t UiVersion();

// What the world recorded, with kernelLock held.
void RecordOpened(const Page &page);
void RecordClosed(const Page &page);
void RecordText(const Page &page, int controlId, const std::u16string &text);
void RecordPosition(const Page &page, int controlId, int position);
// Every EndDialog call, whether it succeeded or not, by the window it named.
void RecordEndDialog(HWND window);
int EndDialogCalls(HWND window);
// Called on the program's thread at the start of every EndDialog.
void SetEndDialogWatcher(std::function<void(HWND)> watcher);
std::function<void(HWND)> EndDialogWatcher();
const std::vector<world::PageEvent> &PageEvents();
std::vector<std::u16string> TextsSet(HWND page, int controlId);
std::vector<int> PositionsSet(HWND page, int controlId);

// Runs `run` on the page's UI thread: directly when called there, otherwise
// queued to that thread's modal loop while the caller waits, until `deadline`
// (real time). Returns run's result, or `failed` when the page went away (or
// the deadline passed) before it ran. `run` is called without kernelLock; the
// text it leaves in `textOut` reaches the caller only once it has run, so the
// caller's buffers are never written from another thread.
using PageWork = std::function<LRESULT(std::u16string &textOut)>;
LRESULT RunOnPageThread(const std::shared_ptr<Page> &page, const PageWork &run, LRESULT failed,
                        std::u16string *textOut = nullptr,
                        RealClock::time_point deadline = RealClock::time_point::max());
// Runs the calling thread's queued work, for any of its pages, until this page
// ends: a nested page's loop serves the pages under it too, as on Windows.
void RunModalLoop(const std::shared_ptr<Page> &page);
// With kernelLock held: work queued for the page not yet taken up.
size_t QueuedWorkFor(const Page &page);
// With kernelLock held: drops the queued work of a page that is going away.
void ForgetWorkOf(const Page &page);

// A message to the page (control -1) or a control, handled on the page's UI
// thread: WM_SETTEXT, WM_GETTEXT, BM_GETCHECK, BM_SETCHECK, PBM_SETPOS,
// PBM_GETPOS, PBM_SETRANGE; anything else gives 0.
LRESULT HandleControlMessage(const std::shared_ptr<Page> &page, int control, UINT message,
                             WPARAM wParam, LPARAM lParam, const std::u16string &textIn,
                             std::u16string &textOut);

// The user's actions, run on the page's UI thread; false when the user could
// not do it, or it was not handled within `realMilliseconds`.
enum class UserAction { press, escape, closeBox, altF4 };
bool DoUserAction(HWND page, UserAction action, int controlId, unsigned realMilliseconds);

// Text between UTF-16, the ANSI code page and UTF-8 (what the world reads).
// A character the code page lacks becomes '?', as on Windows.
std::u16string WideFromAnsi(const std::string &narrow);
std::string AnsiFromWide(const std::u16string &wide);
std::u16string ThroughAnsi(const std::u16string &wide);
std::string Utf8FromWide(const std::u16string &wide);

// The screen and the world's page sizes, with kernelLock held.
int ScreenWidth();
int ScreenHeight();
void SetScreenSize(int width, int height);
bool PageSizeOverride(WORD templateId, int &width, int &height);
void SetPageSizeOverride(WORD templateId, int width, int height);

// Back to the machine as built: default screen, no page sizes, no history.
// Pages still open stay open.
void ResetUi();
// No foreground window, no requests to stay awake, no shutdown block reasons.
void ResetSession();

}  // namespace sim
