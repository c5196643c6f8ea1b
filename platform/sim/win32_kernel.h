// KERNEL32 (threads, waits, time, heaps, last error, strings) and the C
// runtime's thread start, as the model provides them.
#pragma once

#include <cstdarg>

#include "win32_types.h"

// Threads and waits.
typedef DWORD(WINAPI *LPTHREAD_START_ROUTINE)(LPVOID);

typedef struct _SECURITY_ATTRIBUTES {
  DWORD nLength;
  LPVOID lpSecurityDescriptor;
  BOOL bInheritHandle;
} SECURITY_ATTRIBUTES, *LPSECURITY_ATTRIBUTES;

#define WAIT_OBJECT_0 0x00000000u
#define WAIT_ABANDONED 0x00000080u
#define WAIT_TIMEOUT 0x00000102u
#define WAIT_FAILED 0xFFFFFFFFu
#define STILL_ACTIVE 259u
#define CREATE_SUSPENDED 0x00000004u

HANDLE WINAPI CreateThread(LPSECURITY_ATTRIBUTES attributes, SIZE_T stackSize,
                           LPTHREAD_START_ROUTINE start, LPVOID parameter, DWORD flags,
                           LPDWORD threadId);
DWORD WINAPI WaitForSingleObject(HANDLE handle, DWORD milliseconds);
BOOL WINAPI GetExitCodeThread(HANDLE thread, LPDWORD exitCode);
BOOL WINAPI CloseHandle(HANDLE handle);
DWORD WINAPI GetCurrentThreadId(void);
void WINAPI Sleep(DWORD milliseconds);
DWORD WINAPI GetTickCount(void);

// Events: manual or automatic reset; a wait is satisfied while one is set.
HANDLE WINAPI CreateEventA(LPSECURITY_ATTRIBUTES attributes, BOOL manualReset, BOOL initialState,
                           LPCSTR name);
BOOL WINAPI SetEvent(HANDLE event);
BOOL WINAPI ResetEvent(HANDLE event);

// Slim reader/writer locks, taken exclusively only; SRWLOCK_INIT makes a free one.
typedef struct _RTL_SRWLOCK {
  PVOID Ptr;
} RTL_SRWLOCK, SRWLOCK, *PSRWLOCK;
#define SRWLOCK_INIT \
  { nullptr }
void WINAPI AcquireSRWLockExclusive(PSRWLOCK lock);
void WINAPI ReleaseSRWLockExclusive(PSRWLOCK lock);

// Named mutexes, as far as the program uses them: whether a name is already
// taken (GetLastError gives ERROR_ALREADY_EXISTS after a successful call).
HANDLE WINAPI CreateMutexA(LPSECURITY_ATTRIBUTES attributes, BOOL initialOwner, LPCSTR name);

// Keeping the system awake; the request belongs to the calling thread.
typedef DWORD EXECUTION_STATE;
#define ES_SYSTEM_REQUIRED 0x00000001u
#define ES_CONTINUOUS 0x80000000u
EXECUTION_STATE WINAPI SetThreadExecutionState(EXECUTION_STATE flags);

// The C runtime's thread start (process.h).
uintptr_t _beginthreadex(void *security, unsigned stackSize, unsigned (*start)(void *),
                         void *argument, unsigned flags, unsigned *threadId);
void _endthreadex(unsigned exitCode);

// Values shared between threads without a lock.
LONG WINAPI InterlockedExchange(LONG volatile *target, LONG value);
LONG WINAPI InterlockedCompareExchange(LONG volatile *target, LONG exchange, LONG comparand);

// Text for a debugger or a debug viewer; tests read it back through the world.
void WINAPI OutputDebugStringA(LPCSTR text);

// The process as it was started: its command line, and its standard output,
// which a windowed program has only when given one (a redirection, a pipe).
// Unless the world gives the program's starter a console, AttachConsole fails
// with ERROR_INVALID_HANDLE, as it does under Wine for a program started from
// a shell; with one, CreateFileA("CONOUT$") opens its output while attached.
#define STD_OUTPUT_HANDLE ((DWORD)-11)
#define ATTACH_PARENT_PROCESS ((DWORD)-1)
#define FILE_TYPE_UNKNOWN 0x0000u
#define FILE_TYPE_PIPE 0x0003u
typedef BOOL(WINAPI *PHANDLER_ROUTINE)(DWORD);
LPWSTR WINAPI GetCommandLineW(void);
HANDLE WINAPI GetStdHandle(DWORD which);
DWORD WINAPI GetFileType(HANDLE file);
BOOL WINAPI AttachConsole(DWORD process);
BOOL WINAPI FreeConsole(void);
// The events a console sends the processes attached to it.
#define CTRL_C_EVENT 0u
#define CTRL_BREAK_EVENT 1u
#define CTRL_CLOSE_EVENT 2u
BOOL WINAPI SetConsoleCtrlHandler(PHANDLER_ROUTINE handler, BOOL add);
// A console shows what WriteFile gives it in its own code page (here the
// system's ANSI one, which a Japanese system shares with its consoles), and
// what WriteConsoleW gives it as it is.
BOOL WINAPI WriteConsoleW(HANDLE console, const void *text, DWORD count, LPDWORD written,
                          LPVOID reserved);

// The system's texts for its error codes. Only FORMAT_MESSAGE_FROM_SYSTEM into
// the caller's buffer is modelled, in the user-interface language (language 0)
// or in 1033 or 1041 named.
#define FORMAT_MESSAGE_IGNORE_INSERTS 0x00000200u
#define FORMAT_MESSAGE_FROM_SYSTEM 0x00001000u
DWORD WINAPI FormatMessageW(DWORD flags, LPCVOID source, DWORD messageId, DWORD languageId,
                            LPWSTR buffer, DWORD size, va_list *arguments);

// Last error.
DWORD WINAPI GetLastError(void);
void WINAPI SetLastError(DWORD error);

// Heaps.
#define HEAP_ZERO_MEMORY 0x00000008u
#define LMEM_FIXED 0x0000u
#define LMEM_ZEROINIT 0x0040u
#define LPTR (LMEM_FIXED | LMEM_ZEROINIT)

HANDLE WINAPI GetProcessHeap(void);
LPVOID WINAPI HeapAlloc(HANDLE heap, DWORD flags, SIZE_T bytes);
BOOL WINAPI HeapFree(HANDLE heap, DWORD flags, LPVOID block);
HLOCAL WINAPI LocalAlloc(UINT flags, SIZE_T bytes);
HLOCAL WINAPI LocalFree(HLOCAL block);

// Strings.
#define CP_ACP 0u
#define CP_UTF8 65001u

int WINAPI lstrcmpA(LPCSTR first, LPCSTR second);
int WINAPI lstrcmpiA(LPCSTR first, LPCSTR second);
int WINAPI lstrlenA(LPCSTR text);
LPSTR WINAPI CharUpperA(LPSTR text);
int WINAPI WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR wide, int wideCount,
                               LPSTR narrow, int narrowSize, LPCSTR defaultChar,
                               LPBOOL usedDefaultChar);
int WINAPI MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR narrow, int narrowCount,
                               LPWSTR wide, int wideCount);
int __attribute__((format(printf, 2, 3))) wsprintfA(LPSTR buffer, LPCSTR format, ...);
