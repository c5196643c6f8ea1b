// The console of the program that started this one, as a windowed program
// meets it: attaching to it and leaving it again, its output (CONOUT$), and the
// events it sends every process attached to it. There is one only when the
// world gives it.
#include <mutex>
#include <string>
#include <vector>

#include "internal/kernel.h"
#include "internal/ui.h"
#include "win32_kernel.h"
#include "world.h"

namespace sim {
namespace {

struct ConsoleOutput : KernelObject {
  ConsoleOutput() : KernelObject(Kind::console) {}
};

std::mutex consoleLock;
bool given = false;
bool attached = false;
bool ignoreCtrlC = false;
std::vector<PHANDLER_ROUTINE> handlers;  // the newest last
std::string output;

}  // namespace

bool IsConsoleOutput(HANDLE handle) {
  std::shared_ptr<KernelObject> object = LookUpHandle(handle);
  return object && object->kind == KernelObject::Kind::console;
}

namespace {

// A console handle works only while the process is attached to its console.
// `shown` is the text as the console shows it, in UTF-8.
BOOL Show(const std::string &shown, DWORD count, LPDWORD written) {
  std::lock_guard<std::mutex> guard(consoleLock);
  if (written != nullptr) *written = 0;
  if (!attached) {
    SetLastErrorValue(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  output += shown;
  if (written != nullptr) *written = count;
  return TRUE;
}

}  // namespace

BOOL WriteConsoleOutput(const void *bytes, DWORD size, LPDWORD written) {
  std::string narrow(static_cast<const char *>(bytes), size);
  return Show(Utf8FromWide(WideFromAnsi(narrow)), size, written);
}

HANDLE OpenConsoleOutput() {
  {
    std::lock_guard<std::mutex> guard(consoleLock);
    if (!attached) {
      SetLastErrorValue(ERROR_INVALID_HANDLE);
      return INVALID_HANDLE_VALUE;
    }
  }
  return InsertHandle(std::make_shared<ConsoleOutput>());
}

void ResetConsole() {
  std::lock_guard<std::mutex> guard(consoleLock);
  given = attached = ignoreCtrlC = false;
  handlers.clear();
  output.clear();
}

}  // namespace sim

BOOL WINAPI AttachConsole(DWORD process) {
  std::lock_guard<std::mutex> guard(sim::consoleLock);
  if (process != ATTACH_PARENT_PROCESS || !sim::given) {
    sim::SetLastErrorValue(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (sim::attached) {
    sim::SetLastErrorValue(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  sim::attached = true;
  return TRUE;
}

BOOL WINAPI WriteConsoleW(HANDLE console, const void *text, DWORD count, LPDWORD written, LPVOID) {
  if (!sim::IsConsoleOutput(console)) {
    if (written != nullptr) *written = 0;
    sim::SetLastErrorValue(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  std::u16string wide(static_cast<const char16_t *>(text), count);
  return sim::Show(sim::Utf8FromWide(wide), count, written);
}

BOOL WINAPI FreeConsole(void) {
  std::lock_guard<std::mutex> guard(sim::consoleLock);
  if (!sim::attached) {
    sim::SetLastErrorValue(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  sim::attached = false;
  return TRUE;
}

// Handlers belong to the process, attached or not; so does ignoring Ctrl+C.
// Removing a handler is not modelled: the program never does.
BOOL WINAPI SetConsoleCtrlHandler(PHANDLER_ROUTINE handler, BOOL add) {
  std::lock_guard<std::mutex> guard(sim::consoleLock);
  if (handler == nullptr) {
    sim::ignoreCtrlC = add != FALSE;
  } else if (add) {
    sim::handlers.push_back(handler);
  } else {
    sim::SetLastErrorValue(ERROR_NOT_SUPPORTED);
    return FALSE;
  }
  return TRUE;
}

namespace world {

void GiveConsole() {
  std::lock_guard<std::mutex> guard(sim::consoleLock);
  sim::given = true;
}

std::string ConsoleOutput() {
  std::lock_guard<std::mutex> guard(sim::consoleLock);
  return sim::output;
}

// As Windows delivers them: the handlers newest first, on the caller's thread
// here (Windows starts one); the default handler at the end ends the process.
// A handler that answers TRUE keeps Ctrl+C or Ctrl+Break from it, but a closed
// window ends it all the same.
bool RaiseConsoleEvent(DWORD event) {
  std::vector<PHANDLER_ROUTINE> called;
  {
    std::lock_guard<std::mutex> guard(sim::consoleLock);
    if (!sim::attached || (event == CTRL_C_EVENT && sim::ignoreCtrlC)) return false;
    called = sim::handlers;
  }
  for (auto it = called.rbegin(); it != called.rend(); ++it)
    if ((*it)(event)) return event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT;
  return true;
}

}  // namespace world
