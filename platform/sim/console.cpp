// The console of the program that started this one, as a windowed program
// meets it: attaching to it and leaving it again, its output (CONOUT$), and the
// events it sends every process attached to it. There is one only when the
// world gives it.
#include <mutex>
#include <string>
#include <vector>

#include "internal/kernel.h"
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

// A console handle works only while the process is attached to its console.
BOOL WriteConsoleOutput(const void *bytes, DWORD size, LPDWORD written) {
  std::lock_guard<std::mutex> guard(consoleLock);
  if (written != nullptr) *written = 0;
  if (!attached) {
    SetLastErrorValue(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  output.append(static_cast<const char *>(bytes), size);
  if (written != nullptr) *written = size;
  return TRUE;
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
