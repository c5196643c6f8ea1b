#include <cstring>

#include "pages.h"
#include "res/resource.h"
#include "res/resource_types.h"

namespace {
constexpr int kTextSize = 1024;
}

void SetControlString(HWND window, int controlId, HINSTANCE instance, UINT stringId) {
  char text[kTextSize] = {};
  LoadStringA(instance, stringId, text, kTextSize);
  if (controlId == 0)
    SetWindowTextA(window, text);
  else
    SetDlgItemTextA(window, controlId, text);
}

void SetDialogCaption(HWND window) {
  HINSTANCE instance = GetModuleHandleA(nullptr);
  char model[kTextSize] = {};
  char version[kTextSize] = {};
  char caption[kTextSize] = {};
  LoadStringA(instance, IDS_MODEL_NAME, model, kTextSize);
  LoadStringA(instance, IDS_VERSION_TEXT, version, kTextSize);
  wsprintfA(caption, "%s (%s)", model, version);
  SetWindowTextA(window, caption);
}

int FirstCheckedButton(HWND window, const int *ids, int count) {
  for (int i = 0; i < count; ++i)
    if (SendDlgItemMessageA(window, ids[i], BM_GETCHECK, 0, 0) == BST_CHECKED) return ids[i];
  return -1;
}

void ShowLicenseText(HWND window, int controlId) {
  HMODULE module = GetModuleHandleA(nullptr);
  HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(IDR_EULA), kEulaResourceType);
  const void *bytes = found ? LockResource(LoadResource(module, found)) : nullptr;
  if (bytes == nullptr) {
    SetDlgItemTextA(window, controlId, "");
    return;
  }
  // The control wants a terminated text; the resource has none.
  DWORD size = SizeofResource(module, found);
  auto *text = static_cast<char *>(LocalAlloc(LPTR, size + 1));
  if (text == nullptr) return;
  std::memcpy(text, bytes, size);
  SetDlgItemTextA(window, controlId, text);
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
    // The whole screen, not the work area.
    HDC screen = CreateICA("DISPLAY", nullptr, nullptr, nullptr);
    int screenWidth = GetDeviceCaps(screen, HORZRES);
    int screenHeight = GetDeviceCaps(screen, VERTRES);
    DeleteDC(screen);
    x = (screenWidth - width) / 2;
    y = (screenHeight - height) / 2;
  }
  MoveWindow(window, x, y, width, height, TRUE);
}
