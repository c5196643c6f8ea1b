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

int LineLength(const char *text) {
  int length = 0;
  while (length < kLineSize && text[length] != 0) ++length;
  return length;
}

void WriteLine(HANDLE out, const char *text) {
  char line[kLineSize + 2];
  int length = LineLength(text);
  for (int i = 0; i < length; ++i) line[i] = text[i];
  line[length++] = '\r';
  line[length++] = '\n';
  DWORD written = 0;
  WriteFile(out, line, static_cast<DWORD>(length), &written, nullptr);
}

// A console shows bytes in its own code page (932 on a Japanese system, 437 or
// 850 on most others), never as UTF-8: the line goes to it in UTF-16, so that
// the system's Japanese texts read as they are.
void WriteConsoleLine(HANDLE console, const char *text) {
  WCHAR line[kLineSize + 2];
  int length = LineLength(text);
  if (length > 0) length = MultiByteToWideChar(CP_UTF8, 0, text, length, line, kLineSize);
  line[length++] = '\r';
  line[length++] = '\n';
  DWORD written = 0;
  WriteConsoleW(console, line, static_cast<DWORD>(length), &written, nullptr);
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
    WriteConsoleLine(console, text);
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
