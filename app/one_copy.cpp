#include "one_copy.h"

#include "pages.h"
#include "res/resource.h"

namespace {

constexpr int kIdSize = 1024;
constexpr int kTextSize = 1024;
// "Global\FirmwareUpdater.Global." and the id, each character at most three.
constexpr int kNameSize = 64 + 3 * kIdSize;
const WCHAR kDialogClass[] = {'#', '3', '2', '7', '7', '0', 0};

// `space` is "Local" or "Global" and is repeated in the name itself: where the
// two namespaces are one directory (session 0) the two names still differ.
// No backslash may follow the namespace's, and the id has one: backslashes,
// and the percent signs that write them, are written as %5C and %25, so no
// two ids share a name.
void GuardName(const char *space, const char *hardwareId, char *name) {
  int at = wsprintfA(name, "%s\\FirmwareUpdater.%s.", space, space);
  for (const char *c = hardwareId; *c != 0; ++c) {
    if (*c == '\\' || *c == '%')
      at += wsprintfA(name + at, "%%%02X", static_cast<unsigned>(static_cast<BYTE>(*c)));
    else
      name[at++] = *c;
  }
  name[at] = 0;
}

// 1 when this copy now holds the name, or the name cannot be made here at all
// (the guard then goes without it rather than keep the user from updating); 0
// when another copy holds it. Another user's copy in Global\ shows as access
// denied: the name exists, made under that user's rights.
int TakeName(const char *space, const char *hardwareId, HANDLE *held) {
  char name[kNameSize];
  GuardName(space, hardwareId, name);
  HANDLE mutex = CreateMutexA(nullptr, FALSE, name);
  DWORD error = GetLastError();
  if (mutex != nullptr && error != ERROR_ALREADY_EXISTS) {
    *held = mutex;
    return 1;
  }
  if (mutex != nullptr) CloseHandle(mutex);
  return mutex == nullptr && error != ERROR_ACCESS_DENIED ? 1 : 0;
}

}  // namespace

int TakeOneCopyGuard(OneCopyGuard *guard) {
  guard->local = nullptr;
  guard->global = nullptr;
  char hardwareId[kIdSize] = {};
  LoadStringA(GetModuleHandleA(nullptr), IDS_HARDWARE_ID, hardwareId, kIdSize);
  if (TakeName("Local", hardwareId, &guard->local) &&
      TakeName("Global", hardwareId, &guard->global))
    return 1;
  ReleaseOneCopyGuard(guard);
  return 0;
}

void ReleaseOneCopyGuard(OneCopyGuard *guard) {
  if (guard->global != nullptr) CloseHandle(guard->global);
  if (guard->local != nullptr) CloseHandle(guard->local);
  guard->global = nullptr;
  guard->local = nullptr;
}

// The running copy's pages carry the same caption; the one shown is the one
// the user is on (while the image goes out, the progress page). Without one,
// a copy that left saying nothing would only be started again and again.
void ShowRunningCopy(void) {
  WCHAR caption[kTextSize] = {};
  LoadDialogCaption(caption, kTextSize);
  for (HWND page = FindWindowExW(nullptr, nullptr, kDialogClass, caption); page != nullptr;
       page = FindWindowExW(nullptr, page, kDialogClass, caption)) {
    if (IsWindowVisible(page)) {
      SetForegroundWindow(page);
      return;
    }
  }
  WCHAR text[kTextSize] = {};
  LoadStringW(GetModuleHandleA(nullptr), IDS_ALREADY_RUNNING, text, kTextSize);
  MessageBoxW(nullptr, text, caption, MB_OK | MB_ICONINFORMATION);
}
