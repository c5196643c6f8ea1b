#include "quiet_log.h"

#include "log_file.h"

namespace {

constexpr int kLineSize = 1024;

// Windows 7 hands a windowed program started from a console the console's
// handle values, which are of no use to it: only a handle that is a file, a
// pipe or a character device is taken.
bool IsUsable(HANDLE handle) {
  return handle != nullptr && handle != INVALID_HANDLE_VALUE &&
         GetFileType(handle) != FILE_TYPE_UNKNOWN;
}

// In the moment a line goes to the console: Ctrl+C and Ctrl+Break are taken
// here and ignored. A closed console window still ends the program whatever
// this answers, which is why it is attached only for that moment.
BOOL WINAPI IgnoreConsoleEvent(DWORD) { return TRUE; }

void WriteLine(HANDLE out, const char *text) {
  char line[kLineSize + 2];
  int length = 0;
  while (length < kLineSize && text[length] != 0) {
    line[length] = text[length];
    ++length;
  }
  line[length++] = '\r';
  line[length++] = '\n';
  DWORD written = 0;
  WriteFile(out, line, static_cast<DWORD>(length), &written, nullptr);
}

}  // namespace

void OpenQuietLog(QuietLog *log) {
  log->out = nullptr;
  log->console = 0;
  log->file = nullptr;
  HANDLE given = GetStdHandle(STD_OUTPUT_HANDLE);
  if (IsUsable(given)) {
    log->out = given;
    return;
  }
  SetConsoleCtrlHandler(IgnoreConsoleEvent, TRUE);
  if (!AttachConsole(ATTACH_PARENT_PROCESS)) return;
  FreeConsole();
  log->console = 1;
}

void WriteLogLine(QuietLog *log, const char *text) {
  WriteLogFileLine(log->file, text);
  if (log->out != nullptr) {
    WriteLine(log->out, text);
    return;
  }
  // A starter that has gone takes its console's lines with it.
  if (!log->console || !AttachConsole(ATTACH_PARENT_PROCESS)) return;
  HANDLE console =
      CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                  nullptr, OPEN_EXISTING, 0, nullptr);
  if (console != INVALID_HANDLE_VALUE) {
    WriteLine(console, text);
    CloseHandle(console);
  }
  FreeConsole();
}

void CloseQuietLog(QuietLog *log) {
  if (log->file != nullptr) CloseHandle(log->file);
  log->out = nullptr;
  log->console = 0;
  log->file = nullptr;
}
