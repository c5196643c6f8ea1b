// uidriver: drives the updater's pages from another Win32 program in the same
// Wine prefix, the way a user would, and reports what a user would see.
//
//   uidriver [--caption TEXT] [--hex] [--wide] COMMAND ARGS...
//   uidriver [--caption TEXT] [--hex] [--wide] -  (one command a line on stdin)
//
// Commands (PAGE is licence, main or progress):
//   wait PAGE TIMEOUT_MS      until the page exists and is visible
//   gone PAGE TIMEOUT_MS      until no visible page of that kind is left
//   read PAGE                 caption, states, rect and every control of the page
//   press PAGE ID             posts BM_CLICK to a visible, enabled control
//   command PAGE ID           posts WM_COMMAND(ID, BN_CLICKED) to the page
//   escape PAGE               posts WM_COMMAND(IDCANCEL), as the Esc key does
//   close PAGE                posts WM_SYSCOMMAND(SC_CLOSE), as the close box does
//   watch-progress TIMEOUT_MS polls the progress page until it is gone
//   wait-pos POS TIMEOUT_MS   until the progress bar has reached POS
//   list                      every top-level dialog window, for diagnosis
//   fit PAGE [ID:S1,S2...]... the page at the display's scale: its size against
//                             its template's, every control inside it, every
//                             text within its control (and the updater's strings
//                             S1, S2... as control ID would show them); "fits"
//                             sums it up
//
// Each command prints one line of JSON on stdout. The exit code is 0 when every
// command succeeded, 1 otherwise. Presses are posted, never sent: pressing
// Transfer runs the whole progress page inside the click handler, so a sent
// press would come back only after the transfer.
//
// Texts are read with the ANSI calls and converted from the prefix's ANSI code
// page (932 under a Japanese locale) to UTF-8; --hex adds the raw ANSI bytes.
// With --wide they are read as UTF-16 (WM_GETTEXT to the window's Unicode
// side), as the screen shows them whatever the code page, and --hex adds
// nothing.
#include <windows.h>
#include <commctrl.h>
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr const char *kDefaultCaption = "TORVAEL prismatone 3350N (V1.05)";
constexpr UINT kSendTimeoutMs = 2000;
constexpr DWORD kPollMs = 10;
constexpr DWORD kProgressPollMs = 5;

std::string caption = kDefaultCaption;
bool withHex = false;
bool wideTexts = false;

// ---- JSON output -------------------------------------------------------------

std::string Quote(const std::string &text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
      out += escaped;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

std::string Bool(bool value) { return value ? "true" : "false"; }

std::string Number(long long value) { return std::to_string(value); }

std::string Hex(const std::string &bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) {
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

std::string RectJson(const RECT &r) {
  return "{\"left\":" + Number(r.left) + ",\"top\":" + Number(r.top) +
         ",\"right\":" + Number(r.right) + ",\"bottom\":" + Number(r.bottom) + "}";
}

std::string HandleText(HWND window) {
  char text[32];
  std::snprintf(text, sizeof text, "0x%lx", static_cast<unsigned long>(
                                                reinterpret_cast<ULONG_PTR>(window)));
  return text;
}

// ---- Text ---------------------------------------------------------------------

std::string AnsiToUtf8(const std::string &ansi) {
  if (ansi.empty()) return std::string();
  int wideLength = MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()),
                                       nullptr, 0);
  if (wideLength <= 0) return std::string();
  std::vector<wchar_t> wide(static_cast<size_t>(wideLength));
  MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), wide.data(),
                      wideLength);
  int utf8Length =
      WideCharToMultiByte(CP_UTF8, 0, wide.data(), wideLength, nullptr, 0, nullptr, nullptr);
  if (utf8Length <= 0) return std::string();
  std::string utf8(static_cast<size_t>(utf8Length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), wideLength, &utf8[0], utf8Length, nullptr,
                      nullptr);
  return utf8;
}

// A bounded send: a hung updater must fail the command, not hang the driver.
bool Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam, DWORD_PTR *result) {
  DWORD_PTR value = 0;
  if (!SendMessageTimeoutA(window, message, wParam, lParam, SMTO_ABORTIFHUNG, kSendTimeoutMs,
                           &value))
    return false;
  if (result) *result = value;
  return true;
}

// WM_GETTEXT in ANSI, sized by WM_GETTEXTLENGTH (the licence is long). The text
// may change between the two (the worker sets the percentage as it goes), so a
// reply that filled the buffer is read again with a larger one.
bool WindowText(HWND window, std::string *text) {
  DWORD_PTR length = 0;
  if (!Send(window, WM_GETTEXTLENGTH, 0, 0, &length)) return false;
  for (size_t size = length + 64; size <= (1u << 24); size *= 2) {
    std::vector<char> buffer(size, '\0');
    DWORD_PTR copied = 0;
    if (!Send(window, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()),
              &copied))
      return false;
    if (copied + 1 < buffer.size()) {
      text->assign(buffer.data(), static_cast<size_t>(copied));
      return true;
    }
  }
  return false;
}

std::string WideToUtf8(const std::wstring &wide) {
  if (wide.empty()) return std::string();
  int length = static_cast<int>(wide.size());
  int utf8Length =
      WideCharToMultiByte(CP_UTF8, 0, wide.data(), length, nullptr, 0, nullptr, nullptr);
  if (utf8Length <= 0) return std::string();
  std::string utf8(static_cast<size_t>(utf8Length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), length, &utf8[0], utf8Length, nullptr, nullptr);
  return utf8;
}

bool SendWide(HWND window, UINT message, WPARAM wParam, LPARAM lParam, DWORD_PTR *result) {
  return SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG, kSendTimeoutMs,
                             result) != 0;
}

// WindowText's wide form.
bool WideText(HWND window, std::wstring *text) {
  DWORD_PTR length = 0;
  if (!SendWide(window, WM_GETTEXTLENGTH, 0, 0, &length)) return false;
  for (size_t size = length + 64; size <= (1u << 24); size *= 2) {
    std::vector<wchar_t> buffer(size, L'\0');
    DWORD_PTR copied = 0;
    if (!SendWide(window, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()),
                  &copied))
      return false;
    if (copied + 1 < buffer.size()) {
      text->assign(buffer.data(), static_cast<size_t>(copied));
      return true;
    }
  }
  return false;
}

bool WideWindowText(HWND window, std::string *utf8) {
  std::wstring wide;
  if (!WideText(window, &wide)) return false;
  *utf8 = WideToUtf8(wide);
  return true;
}

// The window's text in UTF-8, read wide or through the code page as asked;
// `ansi` gets the raw bytes of a narrow read.
bool Utf8Text(HWND window, std::string *utf8, std::string *ansi = nullptr) {
  if (wideTexts) return WideWindowText(window, utf8);
  std::string raw;
  if (!WindowText(window, &raw)) return false;
  *utf8 = AnsiToUtf8(raw);
  if (ansi) *ansi = raw;
  return true;
}

std::string TextFields(const std::string &utf8, const std::string &ansi) {
  std::string out = "\"text\":" + Quote(utf8);
  if (withHex && !wideTexts) out += ",\"hex\":" + Quote(Hex(ansi));
  return out;
}

std::string ClassOf(HWND window) {
  char name[128] = "";
  GetClassNameA(window, name, sizeof name);
  return name;
}

// ---- Finding the pages ----------------------------------------------------------

enum class Page { Licence, Main, Progress, None };

const char *PageName(Page page) {
  switch (page) {
    case Page::Licence: return "licence";
    case Page::Main: return "main";
    case Page::Progress: return "progress";
    default: return "none";
  }
}

bool ParsePage(const char *name, Page *page) {
  for (Page p : {Page::Licence, Page::Main, Page::Progress}) {
    if (std::strcmp(name, PageName(p)) == 0) {
      *page = p;
      return true;
    }
  }
  // Both spellings: the program's files say "license", its users "licence".
  if (std::strcmp(name, "license") == 0) {
    *page = Page::Licence;
    return true;
  }
  return false;
}

// A page is told apart by the control only it has.
Page KindOf(HWND dialog) {
  if (GetDlgItem(dialog, 146)) return Page::Licence;
  if (GetDlgItem(dialog, 110)) return Page::Main;
  if (GetDlgItem(dialog, 114)) return Page::Progress;
  return Page::None;
}

struct Found {
  std::vector<HWND> dialogs;  // every top-level dialog window
  bool onlyUpdater;           // keep only those with the updater's caption
};

BOOL CALLBACK CollectDialog(HWND window, LPARAM context) {
  Found *found = reinterpret_cast<Found *>(context);
  if (ClassOf(window) != "#32770") return TRUE;
  if (found->onlyUpdater) {
    char text[256] = "";
    GetWindowTextA(window, text, sizeof text);
    if (caption != text) return TRUE;
  }
  found->dialogs.push_back(window);
  return TRUE;
}

std::vector<HWND> Dialogs(bool onlyUpdater) {
  Found found{{}, onlyUpdater};
  EnumWindows(CollectDialog, reinterpret_cast<LPARAM>(&found));
  return found.dialogs;
}

// The page of that kind, a visible one first; nullptr when there is none.
HWND FindPage(Page page, int *count) {
  HWND hidden = nullptr;
  HWND visible = nullptr;
  int n = 0;
  for (HWND dialog : Dialogs(true)) {
    if (KindOf(dialog) != page) continue;
    ++n;
    if (IsWindowVisible(dialog)) {
      if (!visible) visible = dialog;
    } else if (!hidden) {
      hidden = dialog;
    }
  }
  if (count) *count = n;
  return visible ? visible : hidden;
}

// ---- Commands ------------------------------------------------------------------

struct Result {
  bool ok;
  std::string json;  // fields after "ok" and "cmd"
};

Result Fail(const std::string &error, const std::string &fields = std::string()) {
  std::string json = "\"error\":" + Quote(error);
  if (!fields.empty()) json += "," + fields;
  return {false, json};
}

Result PageMissing(Page page) { return Fail(std::string("no ") + PageName(page) + " page"); }

std::string PageFields(Page page, HWND window, DWORD elapsed) {
  return "\"page\":" + Quote(PageName(page)) + ",\"hwnd\":" + Quote(HandleText(window)) +
         ",\"elapsed_ms\":" + Number(elapsed);
}

Result Wait(Page page, DWORD timeout) {
  DWORD start = GetTickCount();
  for (;;) {
    HWND window = FindPage(page, nullptr);
    DWORD elapsed = GetTickCount() - start;
    if (window && IsWindowVisible(window)) return {true, PageFields(page, window, elapsed)};
    if (elapsed >= timeout)
      return Fail(std::string(PageName(page)) + " page did not appear",
                  "\"page\":" + Quote(PageName(page)) + ",\"exists\":" + Bool(window != nullptr) +
                      ",\"elapsed_ms\":" + Number(elapsed));
    Sleep(kPollMs);
  }
}

// Gone means no visible page of that kind: destroyed, or hidden as the main page
// is while the progress page runs. "exists" tells the two apart.
Result Gone(Page page, DWORD timeout) {
  DWORD start = GetTickCount();
  for (;;) {
    HWND window = FindPage(page, nullptr);
    DWORD elapsed = GetTickCount() - start;
    if (!window || !IsWindowVisible(window))
      return {true, "\"page\":" + Quote(PageName(page)) + ",\"exists\":" +
                        Bool(window != nullptr) + ",\"elapsed_ms\":" + Number(elapsed)};
    if (elapsed >= timeout)
      return Fail(std::string(PageName(page)) + " page is still shown",
                  PageFields(page, window, elapsed));
    Sleep(kPollMs);
  }
}

struct ChildList {
  std::vector<HWND> children;
};

BOOL CALLBACK CollectChild(HWND window, LPARAM context) {
  reinterpret_cast<ChildList *>(context)->children.push_back(window);
  return TRUE;
}

std::string ControlJson(HWND control) {
  std::string kind = ClassOf(control);
  RECT rect{};
  GetWindowRect(control, &rect);
  std::string json = "{\"id\":" + Number(GetDlgCtrlID(control)) + ",\"class\":" + Quote(kind);
  std::string text, ansi;
  if (Utf8Text(control, &text, &ansi))
    json += "," + TextFields(text, ansi);
  else
    json += ",\"text\":null";
  json += ",\"visible\":" + Bool(IsWindowVisible(control) != 0) +
          ",\"enabled\":" + Bool(IsWindowEnabled(control) != 0);
  DWORD_PTR value = 0;
  if (lstrcmpiA(kind.c_str(), "Button") == 0 && Send(control, BM_GETCHECK, 0, 0, &value))
    json += ",\"check\":" + Number(static_cast<long long>(value));
  if (lstrcmpiA(kind.c_str(), PROGRESS_CLASSA) == 0) {
    if (Send(control, PBM_GETPOS, 0, 0, &value))
      json += ",\"pos\":" + Number(static_cast<long long>(value));
    if (Send(control, PBM_GETRANGE, FALSE, 0, &value))
      json += ",\"low\":" + Number(static_cast<long long>(value));
    if (Send(control, PBM_GETRANGE, TRUE, 0, &value))
      json += ",\"high\":" + Number(static_cast<long long>(value));
  }
  return json + ",\"rect\":" + RectJson(rect) + "}";
}

Result Read(Page page) {
  HWND window = FindPage(page, nullptr);
  if (!window) return PageMissing(page);
  std::string text;
  Utf8Text(window, &text);
  RECT rect{};
  GetWindowRect(window, &rect);
  std::string json = "\"page\":" + Quote(PageName(page)) + ",\"hwnd\":" +
                     Quote(HandleText(window)) + ",\"caption\":" + Quote(text) +
                     ",\"visible\":" + Bool(IsWindowVisible(window) != 0) +
                     ",\"enabled\":" + Bool(IsWindowEnabled(window) != 0) +
                     ",\"rect\":" + RectJson(rect) + ",\"acp\":" + Number(GetACP()) +
                     ",\"unicode\":" + Bool(IsWindowUnicode(window) != 0) +
                     ",\"controls\":[";
  ChildList list;
  EnumChildWindows(window, CollectChild, reinterpret_cast<LPARAM>(&list));
  bool first = true;
  for (HWND child : list.children) {
    if (GetParent(child) != window) continue;  // only the page's own controls
    if (!first) json += ",";
    first = false;
    json += ControlJson(child);
  }
  json += "]";
  // The page may have ended while it was read.
  if (!IsWindow(window)) return Fail("page ended while it was read", json);
  return {true, json};
}

// What a user can click: the page and the control shown and enabled.
Result Press(Page page, int id, bool asCommand) {
  HWND window = FindPage(page, nullptr);
  if (!window) return PageMissing(page);
  HWND control = GetDlgItem(window, id);
  std::string fields = "\"page\":" + Quote(PageName(page)) + ",\"id\":" + Number(id);
  if (!control) return Fail("no such control", fields);
  if (!IsWindowVisible(window) || !IsWindowEnabled(window))
    return Fail("page is hidden or disabled", fields);
  if (!IsWindowVisible(control) || !IsWindowEnabled(control))
    return Fail("control is hidden or disabled", fields);
  BOOL posted = asCommand ? PostMessageA(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                                         reinterpret_cast<LPARAM>(control))
                          : PostMessageA(control, BM_CLICK, 0, 0);
  if (!posted) return Fail("PostMessage failed: " + Number(GetLastError()), fields);
  return {true, fields};
}

Result PostToPage(Page page, UINT message, WPARAM wParam, LPARAM lParam) {
  HWND window = FindPage(page, nullptr);
  if (!window) return PageMissing(page);
  std::string fields = "\"page\":" + Quote(PageName(page));
  if (!PostMessageA(window, message, wParam, lParam))
    return Fail("PostMessage failed: " + Number(GetLastError()), fields);
  return {true, fields};
}

Result Escape(Page page) {
  HWND window = FindPage(page, nullptr);
  if (!window) return PageMissing(page);
  // The dialog manager sends this on Esc, with the Cancel button when there is one.
  return PostToPage(page, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                    reinterpret_cast<LPARAM>(GetDlgItem(window, IDCANCEL)));
}

Result Close(Page page) { return PostToPage(page, WM_SYSCOMMAND, SC_CLOSE, 0); }

// One consistent look at the progress page. The page sets its texts and the bar
// in one message, and our sends are served only between its messages, so a
// position read before and after the texts that agree brackets texts of the same
// step.
bool ReadProgress(HWND bar, HWND percent, HWND heading, DWORD_PTR *pos, std::string *percentText,
                  std::string *headingText) {
  for (int attempt = 0; attempt < 5; ++attempt) {
    DWORD_PTR before = 0, after = 0;
    if (!Send(bar, PBM_GETPOS, 0, 0, &before) || !Utf8Text(percent, percentText) ||
        !Utf8Text(heading, headingText) || !Send(bar, PBM_GETPOS, 0, 0, &after))
      return false;
    *pos = after;
    if (before == after) return true;
  }
  return true;
}

// Until the progress bar has reached `position` (the page appearing first).
Result WaitPosition(long position, DWORD timeout) {
  DWORD start = GetTickCount();
  for (;;) {
    HWND window = FindPage(Page::Progress, nullptr);
    DWORD_PTR pos = 0;
    bool read = window && Send(GetDlgItem(window, 114), PBM_GETPOS, 0, 0, &pos);
    DWORD elapsed = GetTickCount() - start;
    if (read && static_cast<long>(pos) >= position)
      return {true, "\"pos\":" + Number(static_cast<long long>(pos)) +
                        ",\"elapsed_ms\":" + Number(elapsed)};
    if (elapsed >= timeout)
      return Fail("progress did not reach " + Number(position),
                  "\"pos\":" + (read ? Number(static_cast<long long>(pos)) : std::string("null")) +
                      ",\"elapsed_ms\":" + Number(elapsed));
    Sleep(kProgressPollMs);
  }
}

// Polls the progress page, recording each change of position or texts, until it
// is gone. Waits for it to appear first, within the same time-out.
Result WatchProgress(DWORD timeout) {
  DWORD start = GetTickCount();
  HWND window = nullptr;
  while (!(window = FindPage(Page::Progress, nullptr))) {
    if (GetTickCount() - start >= timeout) return PageMissing(Page::Progress);
    Sleep(kProgressPollMs);
  }
  DWORD appeared = GetTickCount() - start;
  HWND bar = GetDlgItem(window, 114);
  HWND percent = GetDlgItem(window, 111);
  HWND heading = GetDlgItem(window, 112);
  std::string samples;
  long long lastPos = -1;
  std::string lastPercent, lastHeading;
  bool any = false;
  int polls = 0;
  for (;;) {
    DWORD now = GetTickCount() - start;
    if (!IsWindow(window) || !IsWindowVisible(window)) break;
    if (now >= timeout)
      return Fail("progress page is still shown",
                  "\"appeared_ms\":" + Number(appeared) + ",\"samples\":[" + samples + "]");
    DWORD_PTR pos = 0;
    std::string percentText, headingText;
    bool read = ReadProgress(bar, percent, heading, &pos, &percentText, &headingText);
    ++polls;
    if (read && (!any || static_cast<long long>(pos) != lastPos || percentText != lastPercent ||
                 headingText != lastHeading)) {
      if (any) samples += ",";
      samples += "{\"t_ms\":" + Number(now) + ",\"pos\":" + Number(static_cast<long long>(pos)) +
                 ",\"percent\":" + Quote(percentText) + ",\"heading\":" + Quote(headingText) +
                 "}";
      any = true;
      lastPos = static_cast<long long>(pos);
      lastPercent = percentText;
      lastHeading = headingText;
    }
    Sleep(kProgressPollMs);
  }
  return {true, "\"appeared_ms\":" + Number(appeared) +
                    ",\"gone_ms\":" + Number(GetTickCount() - start) +
                    ",\"polls\":" + Number(polls) + ",\"samples\":[" + samples + "]"};
}

Result List() {
  std::string json = "\"windows\":[";
  bool first = true;
  for (HWND dialog : Dialogs(false)) {
    char text[256] = "";
    GetWindowTextA(dialog, text, sizeof text);
    DWORD process = 0;
    GetWindowThreadProcessId(dialog, &process);
    if (!first) json += ",";
    first = false;
    json += "{\"hwnd\":" + Quote(HandleText(dialog)) + ",\"caption\":" + Quote(AnsiToUtf8(text)) +
            ",\"page\":" + Quote(PageName(KindOf(dialog))) +
            ",\"visible\":" + Bool(IsWindowVisible(dialog) != 0) +
            ",\"pid\":" + Number(process) + "}";
  }
  return {true, json + "]"};
}

// ---- A page at its display scale --------------------------------------------------
//
// Every control must lie inside its page, and every text a control shows must
// fit it, at whatever scale the page is drawn. Texts are measured in the page's
// own font: the one its template names, at the screen's DPI, made as the dialog
// manager makes it. The updater's file, loaded as data, gives the template (and
// the strings other states would show). That font's dialog units must give the
// page's own size, or it is not the page's font (or the page was resized).

int TemplateOf(Page page) {
  switch (page) {
    case Page::Licence: return 144;
    case Page::Main: return 102;
    default: return 103;
  }
}

// The updater's executable, as data, for the process that shows `page`.
HMODULE UpdaterFile(HWND page) {
  static HMODULE module = nullptr;
  static DWORD loadedFor = 0;
  DWORD process = 0;
  GetWindowThreadProcessId(page, &process);
  if (module != nullptr && loadedFor == process) return module;
  HANDLE handle = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, process);
  if (handle == nullptr) return nullptr;
  wchar_t path[1024];
  DWORD size = 1024;
  BOOL named = QueryFullProcessImageNameW(handle, 0, path, &size);
  CloseHandle(handle);
  if (!named) return nullptr;
  if (module != nullptr) FreeLibrary(module);
  module = LoadLibraryExW(path, nullptr, LOAD_LIBRARY_AS_DATAFILE);
  loadedFor = process;
  return module;
}

struct Template {
  int cx = 0, cy = 0, points = 0;
  std::wstring face;
};

// A standard dialog template's size and font (DS_SETFONT).
bool ReadTemplate(HMODULE module, int id, Template *out) {
  HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(5));
  const WORD *words = found ? static_cast<const WORD *>(LockResource(LoadResource(module, found)))
                            : nullptr;
  size_t count = found ? SizeofResource(module, found) / 2 : 0;
  // Style (2 words), extended style (2), item count, x, y, cx, cy; an extended
  // template starts 1, 0xFFFF.
  if (words == nullptr || count < 12 || (words[0] == 1 && words[1] == 0xFFFF)) return false;
  DWORD style = words[0] | static_cast<DWORD>(words[1]) << 16;
  out->cx = static_cast<short>(words[7]);
  out->cy = static_cast<short>(words[8]);
  size_t at = 9;
  // Menu and class (0, 0xFFFF and an ordinal, or a text), then the title.
  for (int field = 0; field < 3 && at < count; ++field) {
    if (field < 2 && words[at] == 0xFFFF) {
      at += 2;
      continue;
    }
    while (at < count && words[at] != 0) ++at;
    ++at;
  }
  if (!(style & DS_SETFONT) || at >= count) return false;
  out->points = words[at++];
  for (; at < count && words[at] != 0; ++at) out->face += static_cast<wchar_t>(words[at]);
  return !out->face.empty();
}

// What one text needs and the room it has, in pixels.
struct Fit {
  SIZE need{};
  SIZE room{};
  bool measured = false;
  bool fits() const { return !measured || (need.cx <= room.cx && need.cy <= room.cy); }
};

std::string SizeJson(SIZE size) {
  return "{\"w\":" + Number(size.cx) + ",\"h\":" + Number(size.cy) + "}";
}

// How the system's controls lay out their texts: statics wrap within their
// client area; push buttons draw one line inside their edge and focus frame;
// radio buttons and check boxes one line right of the mark (13 pixels at
// 96 DPI) and half a character. A multi-line edit control wraps and scrolls:
// nothing to measure. Anything else shows no text.
Fit MeasureText(HDC dc, HWND control, const std::wstring &text, int dpi, int charWidth) {
  Fit fit;
  wchar_t kind[64] = L"";
  GetClassNameW(control, kind, 64);
  LONG style = GetWindowLongW(control, GWL_STYLE);
  RECT client{};
  GetClientRect(control, &client);
  UINT flags = DT_CALCRECT | DT_SINGLELINE;
  int insetX = 0, insetY = 0;
  if (lstrcmpiW(kind, L"Static") == 0 && (style & SS_TYPEMASK) <= SS_RIGHT) {
    flags = DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS | ((style & SS_NOPREFIX) ? DT_NOPREFIX : 0);
  } else if (lstrcmpiW(kind, L"Button") == 0) {
    LONG type = style & BS_TYPEMASK;
    if (type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON) {
      insetX = 2 * (GetSystemMetrics(SM_CXEDGE) + GetSystemMetrics(SM_CXFOCUSBORDER));
      insetY = 2 * (GetSystemMetrics(SM_CYEDGE) + GetSystemMetrics(SM_CYFOCUSBORDER));
    } else if (type == BS_CHECKBOX || type == BS_AUTOCHECKBOX || type == BS_RADIOBUTTON ||
               type == BS_3STATE || type == BS_AUTO3STATE || type == BS_AUTORADIOBUTTON) {
      insetX = MulDiv(13, dpi, 96) + charWidth / 2;
    } else {
      return fit;
    }
    if (style & BS_MULTILINE) flags = DT_CALCRECT | DT_WORDBREAK;
  } else if (lstrcmpiW(kind, L"Edit") != 0 || (style & ES_MULTILINE)) {
    return fit;
  }
  fit.room = {client.right - insetX, client.bottom - insetY};
  RECT need = {0, 0, fit.room.cx, 0};
  if (text.empty())
    need.right = 0;
  else
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &need, flags);
  fit.need = {need.right - need.left, need.bottom - need.top};
  fit.measured = true;
  return fit;
}

std::string FitJson(const Fit &fit) {
  if (!fit.measured) return "\"fits\":null";
  return "\"need\":" + SizeJson(fit.need) + ",\"room\":" + SizeJson(fit.room) +
         ",\"fits\":" + Bool(fit.fits());
}

// One control: where it lies in the page, and its text against its room.
std::string ControlFit(HDC dc, HWND page, HWND control, const RECT &client, int dpi,
                       int charWidth, bool *all) {
  RECT rect{};
  GetWindowRect(control, &rect);
  MapWindowPoints(nullptr, page, reinterpret_cast<POINT *>(&rect), 2);
  bool inside = rect.left >= 0 && rect.top >= 0 && rect.right <= client.right &&
                rect.bottom <= client.bottom;
  bool visible = IsWindowVisible(control) != 0;
  std::wstring text;
  WideText(control, &text);
  Fit fit = visible ? MeasureText(dc, control, text, dpi, charWidth) : Fit();
  *all = *all && inside && fit.fits();
  return "{\"id\":" + Number(GetDlgCtrlID(control)) + ",\"class\":" + Quote(ClassOf(control)) +
         ",\"visible\":" + Bool(visible) + ",\"text\":" + Quote(WideToUtf8(text)) +
         ",\"rect\":" + RectJson(rect) + ",\"inside\":" + Bool(inside) + "," + FitJson(fit) + "}";
}

// "ID:S1,S2,...": the updater's strings S1, S2, ... measured as control ID would
// show them (texts of the page's other states).
bool StringsFit(HDC dc, HWND page, HMODULE file, const std::string &item, int dpi, int charWidth,
                bool *all, std::string *json) {
  char *end = nullptr;
  long id = std::strtol(item.c_str(), &end, 10);
  HWND control = GetDlgItem(page, static_cast<int>(id));
  if (*end != ':' || control == nullptr) return false;
  while (*end == ':' || *end == ',') {
    long number = std::strtol(end + 1, &end, 10);
    wchar_t text[1024] = L"";
    if (LoadStringW(file, static_cast<UINT>(number), text, 1024) <= 0) return false;
    Fit fit = MeasureText(dc, control, text, dpi, charWidth);
    *all = *all && fit.fits();
    if (!json->empty()) *json += ",";
    *json += "{\"id\":" + Number(id) + ",\"string\":" + Number(number) +
             ",\"text\":" + Quote(WideToUtf8(text)) + "," + FitJson(fit) + "}";
  }
  return *end == '\0';
}

Result FitPage(Page page, const std::vector<std::string> &strings) {
  HWND window = FindPage(page, nullptr);
  if (!window || !IsWindowVisible(window)) return PageMissing(page);
  HMODULE file = UpdaterFile(window);
  Template form;
  if (file == nullptr || !ReadTemplate(file, TemplateOf(page), &form))
    return Fail("cannot read the page's template from the updater's file");
  HDC dc = GetDC(nullptr);
  int dpi = GetDeviceCaps(dc, LOGPIXELSY);
  HFONT font = CreateFontW(-MulDiv(form.points, dpi, 72), 0, 0, 0, FW_DONTCARE, FALSE, FALSE,
                           FALSE, DEFAULT_CHARSET, 0, 0, PROOF_QUALITY, FF_DONTCARE,
                           form.face.c_str());
  HGDIOBJ before = SelectObject(dc, font);
  // Dialog units as the dialog manager reckons them from the font.
  TEXTMETRICW metrics{};
  GetTextMetricsW(dc, &metrics);
  SIZE alphabet{};
  GetTextExtentPoint32W(dc, L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz", 52, &alphabet);
  SIZE units = {(alphabet.cx / 26 + 1) / 2, metrics.tmHeight};
  RECT client{}, frame{};
  GetClientRect(window, &client);
  GetWindowRect(window, &frame);
  SIZE fromTemplate = {MulDiv(form.cx, units.cx, 4), MulDiv(form.cy, units.cy, 8)};
  bool unitsRight = fromTemplate.cx == client.right && fromTemplate.cy == client.bottom;
  bool onScreen = frame.left >= 0 && frame.top >= 0 &&
                  frame.right <= GetSystemMetrics(SM_CXSCREEN) &&
                  frame.bottom <= GetSystemMetrics(SM_CYSCREEN);
  bool all = unitsRight && onScreen;
  std::string controls, measured;
  ChildList list;
  EnumChildWindows(window, CollectChild, reinterpret_cast<LPARAM>(&list));
  for (HWND child : list.children) {
    if (GetParent(child) != window) continue;
    if (!controls.empty()) controls += ",";
    controls += ControlFit(dc, window, child, client, dpi, units.cx, &all);
  }
  bool stringsRead = true;
  for (const std::string &item : strings)
    stringsRead = StringsFit(dc, window, file, item, dpi, units.cx, &all, &measured) && stringsRead;
  SelectObject(dc, before);
  DeleteObject(font);
  ReleaseDC(nullptr, dc);
  std::string json = "\"page\":" + Quote(PageName(page)) + ",\"dpi\":" + Number(dpi) +
                     ",\"font\":{\"face\":" + Quote(WideToUtf8(form.face)) +
                     ",\"points\":" + Number(form.points) + ",\"height\":" +
                     Number(metrics.tmHeight) + "},\"units\":" + SizeJson(units) +
                     ",\"client\":" + SizeJson({client.right, client.bottom}) +
                     ",\"from_template\":" + SizeJson(fromTemplate) +
                     ",\"units_right\":" + Bool(unitsRight) + ",\"frame\":" + RectJson(frame) +
                     ",\"on_screen\":" + Bool(onScreen) + ",\"fits\":" + Bool(all) +
                     ",\"controls\":[" + controls + "],\"strings\":[" + measured + "]";
  if (!stringsRead) return Fail("bad ID:STRING,... or a string the updater lacks", json);
  if (!IsWindow(window)) return Fail("page ended while it was measured", json);
  return {true, json};
}

bool ParseNumber(const std::string &text, long *value) {
  if (text.empty()) return false;
  char *end = nullptr;
  long parsed = std::strtol(text.c_str(), &end, 10);
  if (*end != '\0' || parsed < 0) return false;
  *value = parsed;
  return true;
}

Result Run(const std::vector<std::string> &words) {
  if (words.empty()) return Fail("no command");
  const std::string &name = words[0];
  size_t argc = words.size() - 1;
  Page page = Page::None;
  long number = 0;
  auto pageArg = [&](size_t index) {
    return argc >= index && ParsePage(words[index].c_str(), &page);
  };
  auto numberArg = [&](size_t index) { return argc >= index && ParseNumber(words[index], &number); };

  if (name == "wait" && argc == 2 && pageArg(1) && numberArg(2))
    return Wait(page, static_cast<DWORD>(number));
  if (name == "gone" && argc == 2 && pageArg(1) && numberArg(2))
    return Gone(page, static_cast<DWORD>(number));
  if (name == "read" && argc == 1 && pageArg(1)) return Read(page);
  if ((name == "press" || name == "command") && argc == 2 && pageArg(1) && numberArg(2))
    return Press(page, static_cast<int>(number), name == "command");
  if (name == "escape" && argc == 1 && pageArg(1)) return Escape(page);
  if (name == "close" && argc == 1 && pageArg(1)) return Close(page);
  if (name == "watch-progress" && argc == 1 && numberArg(1))
    return WatchProgress(static_cast<DWORD>(number));
  if (name == "wait-pos" && argc == 2 && numberArg(1)) {
    long position = number;
    if (!numberArg(2)) return Fail("bad time-out");
    return WaitPosition(position, static_cast<DWORD>(number));
  }
  if (name == "list" && argc == 0) return List();
  if (name == "fit" && argc >= 1 && pageArg(1))
    return FitPage(page, std::vector<std::string>(words.begin() + 2, words.end()));
  return Fail("usage: wait|gone PAGE MS, read|escape|close PAGE, press|command PAGE ID, "
              "watch-progress MS, wait-pos POS MS, list, fit PAGE [ID:STRING,...]...");
}

bool RunAndPrint(const std::vector<std::string> &words) {
  Result result = Run(words);
  std::string line = "{\"ok\":" + Bool(result.ok) +
                     ",\"cmd\":" + Quote(words.empty() ? std::string() : words[0]) + "," +
                     result.json + "}\n";
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fflush(stdout);
  return result.ok;
}

std::vector<std::string> Split(const std::string &line) {
  std::vector<std::string> words;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')) ++i;
    size_t begin = i;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') ++i;
    if (i > begin) words.push_back(line.substr(begin, i - begin));
  }
  return words;
}

}  // namespace

int main(int argc, char **argv) {
  // The pages are drawn at the display's scale: their rectangles are read as
  // they are only by a program aware of it too.
  SetProcessDPIAware();
  // Pipes carry the JSON lines: no CR added, none expected.
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stdin), _O_BINARY);
  int i = 1;
  for (; i < argc; ++i) {
    if (std::strcmp(argv[i], "--caption") == 0 && i + 1 < argc) {
      caption = argv[++i];
    } else if (std::strcmp(argv[i], "--hex") == 0) {
      withHex = true;
    } else if (std::strcmp(argv[i], "--wide") == 0) {
      wideTexts = true;
    } else {
      break;
    }
  }
  if (i < argc && std::strcmp(argv[i], "-") == 0) {
    bool all = true;
    char buffer[4096];
    while (std::fgets(buffer, sizeof buffer, stdin)) {
      std::string line(buffer);
      while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
      std::vector<std::string> words = Split(line);
      if (words.empty() || words[0][0] == '#') continue;
      if (words[0] == "quit") break;
      all = RunAndPrint(words) && all;
    }
    return all ? 0 : 1;
  }
  std::vector<std::string> words(argv + i, argv + argc);
  return RunAndPrint(words) ? 0 : 1;
}
