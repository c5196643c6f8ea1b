// Files on disk, as far as the program uses them: a log file an administrator
// names, appended to line by line, with the local time of each line and the
// system's own text for an error.
#pragma once

#include <cstdarg>

#include "win32_devices.h"
#include "win32_kernel.h"
#include "win32_types.h"

#define FILE_WRITE_DATA 0x00000002u
#define FILE_APPEND_DATA 0x00000004u
#define CREATE_ALWAYS 2u
#define OPEN_ALWAYS 4u

// Writing only, no reads: a handle that may only append writes at the file's
// end; any other from its own position.
HANDLE WINAPI CreateFileW(LPCWSTR path, DWORD access, DWORD shareMode,
                          LPSECURITY_ATTRIBUTES attributes, DWORD disposition, DWORD flags,
                          HANDLE templateFile);

typedef struct _SYSTEMTIME {
  WORD wYear;
  WORD wMonth;
  WORD wDayOfWeek;
  WORD wDay;
  WORD wHour;
  WORD wMinute;
  WORD wSecond;
  WORD wMilliseconds;
} SYSTEMTIME, *LPSYSTEMTIME;

// The model's clock read as a date: the world's moment of start-up plus the
// model time since.
void WINAPI GetLocalTime(LPSYSTEMTIME time);

// The system's text for an error code, in English, ended by CR LF as Windows
// ends it; the model knows the texts of a few codes and fails for any other
// with ERROR_MR_MID_NOT_FOUND.
#define FORMAT_MESSAGE_IGNORE_INSERTS 0x00000200u
#define FORMAT_MESSAGE_FROM_SYSTEM 0x00001000u
#define ERROR_MR_MID_NOT_FOUND 317u
DWORD WINAPI FormatMessageW(DWORD flags, LPCVOID source, DWORD messageId, DWORD languageId,
                            LPWSTR buffer, DWORD size, va_list *arguments);
