#include <climits>

#include "pages.h"
#include "res/resource.h"
#include "res/resource_types.h"

namespace {

constexpr int kTextSize = 1024;

// The texts are wide from the string table to the window: narrow calls would
// take them through the code page for non-Unicode programs, which need not be
// the display language's (Japanese pages on a Western system showed "?").
const WCHAR kEmpty[1] = {0};

// Appends `tail` to the terminated text in `text` of `size` units, cut to fit.
void Append(WCHAR *text, int size, const WCHAR *tail) {
  int at = 0;
  while (at < size - 1 && text[at] != 0) ++at;
  for (; at < size - 1 && *tail != 0; ++at, ++tail) text[at] = *tail;
  text[at] = 0;
}

void AppendAscii(WCHAR *text, int size, const char *tail) {
  WCHAR wide[8] = {};
  int count = 0;
  for (; count < 7 && tail[count] != 0; ++count) wide[count] = static_cast<WCHAR>(tail[count]);
  Append(text, size, wide);
}

// The licence is stored in its language's own code page; which language the
// system picked shows in which resource it handed over.
UINT LicenseCodePage(HMODULE module, HRSRC found) {
  HRSRC japanese = FindResourceExA(module, kEulaResourceType, MAKEINTRESOURCEA(IDR_EULA),
                                   MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT));
  return found == japanese ? 932u : 1252u;
}

}  // namespace

void SetControlString(HWND window, int controlId, HINSTANCE instance, UINT stringId) {
  WCHAR text[kTextSize] = {};
  LoadStringW(instance, stringId, text, kTextSize);
  if (controlId == 0)
    SetWindowTextW(window, text);
  else
    SetDlgItemTextW(window, controlId, text);
}

void LoadDialogCaption(WCHAR *caption, int size) {
  HINSTANCE instance = GetModuleHandleA(nullptr);
  WCHAR version[kTextSize] = {};
  caption[0] = 0;
  LoadStringW(instance, IDS_MODEL_NAME, caption, size);
  LoadStringW(instance, IDS_VERSION_TEXT, version, kTextSize);
  AppendAscii(caption, size, " (");
  Append(caption, size, version);
  AppendAscii(caption, size, ")");
}

void SetDialogCaption(HWND window) {
  WCHAR caption[kTextSize] = {};
  LoadDialogCaption(caption, kTextSize);
  SetWindowTextW(window, caption);
}

int FirstCheckedButton(HWND window, const int *ids, int count) {
  for (int i = 0; i < count; ++i)
    if (SendDlgItemMessageA(window, ids[i], BM_GETCHECK, 0, 0) == BST_CHECKED) return ids[i];
  return -1;
}

void ShowLicenseText(HWND window, int controlId) {
  HMODULE module = GetModuleHandleA(nullptr);
  HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(IDR_EULA), kEulaResourceType);
  const char *bytes =
      found ? static_cast<const char *>(LockResource(LoadResource(module, found))) : nullptr;
  DWORD size = found ? SizeofResource(module, found) : 0;
  UINT codePage = found ? LicenseCodePage(module, found) : 0;
  // A text too long to count in an int, or to double in a 32-bit size, is
  // refused rather than wrapped.
  int count = bytes != nullptr && size > 0 && size < INT_MAX / 2
                  ? MultiByteToWideChar(codePage, 0, bytes, static_cast<int>(size), nullptr, 0)
                  : 0;
  // The control wants a terminated text; the resource has none.
  auto *text = count > 0 && count < INT_MAX / 2
                   ? static_cast<WCHAR *>(LocalAlloc(LPTR, (SIZE_T(count) + 1) * sizeof(WCHAR)))
                   : nullptr;
  if (text == nullptr) {
    SetDlgItemTextW(window, controlId, kEmpty);
    return;
  }
  MultiByteToWideChar(codePage, 0, bytes, static_cast<int>(size), text, count);
  SetDlgItemTextW(window, controlId, text);
  LocalFree(text);
}

void CenterWindow(HWND window) {
  RECT rect = {};
  GetWindowRect(window, &rect);
  int width = rect.right - rect.left;
  int height = rect.bottom - rect.top;
  int x;
  int y;
  HWND parent = GetParent(window);
  if (parent != nullptr) {
    RECT outer = {};
    GetWindowRect(parent, &outer);
    x = outer.left + (outer.right - outer.left - width) / 2;
    y = outer.top + (outer.bottom - outer.top - height) / 2;
  } else {
    // The whole screen, not the work area. Without a display context USER32
    // still knows the primary screen's size; a 0 x 0 screen would push the
    // page off to the top left.
    int screenWidth;
    int screenHeight;
    HDC screen = CreateICA("DISPLAY", nullptr, nullptr, nullptr);
    if (screen != nullptr) {
      screenWidth = GetDeviceCaps(screen, HORZRES);
      screenHeight = GetDeviceCaps(screen, VERTRES);
      DeleteDC(screen);
    } else {
      screenWidth = GetSystemMetrics(SM_CXSCREEN);
      screenHeight = GetSystemMetrics(SM_CYSCREEN);
    }
    x = (screenWidth - width) / 2;
    y = (screenHeight - height) / 2;
  }
  MoveWindow(window, x, y, width, height, TRUE);
}
