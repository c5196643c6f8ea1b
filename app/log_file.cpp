#include "log_file.h"

namespace {

constexpr int kLineSize = 1024;
constexpr int kStampSize = 20;  // "2026-12-09 14:03:27 "
constexpr int kReasonSize = 512;
constexpr int kShownPathSize = 3 * kLogPathSize;

// The system's text for `error` without its line end and full stop; empty
// when the system has none.
void SystemText(DWORD error, char *text) {
  WCHAR wide[kReasonSize] = {};
  DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                error, 0, wide, kReasonSize, nullptr);
  while (length > 0 && (wide[length - 1] == '\r' || wide[length - 1] == '\n' ||
                        wide[length - 1] == ' ' || wide[length - 1] == '.'))
    --length;
  int size = length == 0 ? 0
                         : WideCharToMultiByte(CP_ACP, 0, wide, static_cast<int>(length), text,
                                               kReasonSize - 1, nullptr, nullptr);
  text[size] = 0;
}

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
  DWORD error = GetLastError();
  char path[kShownPathSize] = {};
  char reason[kReasonSize] = {};
  WideCharToMultiByte(CP_ACP, 0, command->logPath, -1, path, kShownPathSize - 1, nullptr, nullptr);
  SystemText(error, reason);
  wsprintfA(outcome, "Cannot open the log file \"%.500s\" (error %lu%s%.300s): nothing was sent.",
            path, static_cast<unsigned long>(error), reason[0] != 0 ? ": " : "", reason);
  return 0;
}

void WriteLogFileLine(HANDLE file, const char *text) {
  if (file == nullptr) return;
  int length = 0;
  while (length < kLineSize && text[length] != 0) ++length;
  WCHAR wide[kLineSize];
  int wideLength = length == 0 ? 0 : MultiByteToWideChar(CP_ACP, 0, text, length, wide, kLineSize);
  // Three bytes of UTF-8 at most for each UTF-16 unit.
  char line[kStampSize + 1 + 3 * kLineSize + 2];
  SYSTEMTIME now;
  GetLocalTime(&now);
  int at = wsprintfA(line, "%04d-%02d-%02d %02d:%02d:%02d ", now.wYear, now.wMonth, now.wDay,
                     now.wHour, now.wMinute, now.wSecond);
  if (wideLength > 0)
    at += WideCharToMultiByte(CP_UTF8, 0, wide, wideLength, line + at, 3 * kLineSize, nullptr,
                              nullptr);
  line[at++] = '\r';
  line[at++] = '\n';
  DWORD written = 0;
  WriteFile(file, line, static_cast<DWORD>(at), &written, nullptr);
}
