#include "log_file.h"

#include "port/port_failure.h"

namespace {

constexpr int kLineSize = 1024;
constexpr int kStampSize = 20;  // "2026-12-09 14:03:27 "
// UTF-8 takes at most three bytes for each UTF-16 unit of the path.
constexpr int kShownPathSize = 3 * kLogPathSize;

}  // namespace

int OpenLogFile(const CommandLine *command, QuietLog *log, char *outcome) {
  if (!command->log) return 1;
  if (command->logPath[0] == 0) {
    wsprintfA(outcome,
              "Cannot read the command line: /log needs the path of a file after it (at most %d "
              "characters).",
              kLogPathSize - 1);
    return 0;
  }
  // Appending only: every write lands at the file's end, whoever else writes
  // there. Others may read it meanwhile (a viewer following it), and write to
  // it (a second copy saying it is one).
  HANDLE file = CreateFileW(command->logPath, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file != INVALID_HANDLE_VALUE) {
    log->file = file;
    return 1;
  }
  char reason[kErrorTextSize];
  PortErrorText(GetLastError(), reason, kErrorTextSize);
  char path[kShownPathSize] = {};
  WideCharToMultiByte(CP_UTF8, 0, command->logPath, -1, path, kShownPathSize - 1, nullptr, nullptr);
  wsprintfA(outcome, "Cannot open the log file \"%.500s\" (%.300s): nothing was sent.", path,
            reason);
  return 0;
}

void WriteLogFileLine(HANDLE file, const char *text) {
  if (file == nullptr) return;
  char line[kStampSize + 1 + kLineSize + 2];
  SYSTEMTIME now;
  GetLocalTime(&now);
  int at = wsprintfA(line, "%04d-%02d-%02d %02d:%02d:%02d ", now.wYear, now.wMonth, now.wDay,
                     now.wHour, now.wMinute, now.wSecond);
  for (int i = 0; i < kLineSize && text[i] != 0; ++i) line[at++] = text[i];
  line[at++] = '\r';
  line[at++] = '\n';
  DWORD written = 0;
  WriteFile(file, line, static_cast<DWORD>(at), &written, nullptr);
}
