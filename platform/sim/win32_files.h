// Files on disk, as far as the program uses them: a log file an administrator
// names, appended to line by line, with the local time of each line.
#pragma once

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
