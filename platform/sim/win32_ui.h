// USER32, GDI32 and COMCTL32: modal dialogs built from the program's templates,
// their controls, window placement and the screen size.
#pragma once

#include "win32_types.h"

struct HDC__;
typedef HDC__ *HDC;

typedef INT_PTR(CALLBACK *DLGPROC)(HWND, UINT, WPARAM, LPARAM);

typedef struct tagRECT {
  LONG left;
  LONG top;
  LONG right;
  LONG bottom;
} RECT, *LPRECT;

#define WM_DESTROY 0x0002
#define WM_SETTEXT 0x000C
#define WM_GETTEXT 0x000D
#define WM_CLOSE 0x0010
#define WM_QUERYENDSESSION 0x0011
#define WM_ENDSESSION 0x0016
#define WM_INITDIALOG 0x0110
#define WM_COMMAND 0x0111
#define WM_USER 0x0400

#define BM_GETCHECK 0x00F0
#define BM_SETCHECK 0x00F1
#define BST_UNCHECKED 0
#define BST_CHECKED 1
#define BN_CLICKED 0

#define PBM_SETRANGE (WM_USER + 1)
#define PBM_SETPOS (WM_USER + 2)
#define PBM_GETPOS (WM_USER + 8)
#define PBS_SMOOTH 0x01

#define IDOK 1
#define IDCANCEL 2

#define SW_HIDE 0
#define SW_SHOW 5

#define HORZRES 8
#define VERTRES 10

#define SM_CXSCREEN 0
#define SM_CYSCREEN 1

#define WS_POPUP 0x80000000L
#define WS_CHILD 0x40000000L
#define WS_VISIBLE 0x10000000L
#define WS_DISABLED 0x08000000L
#define WS_CAPTION 0x00C00000L
#define WS_BORDER 0x00800000L
#define WS_VSCROLL 0x00200000L
#define WS_SYSMENU 0x00080000L
#define WS_GROUP 0x00020000L
#define WS_TABSTOP 0x00010000L
#define DS_SETFONT 0x40L
#define DS_MODALFRAME 0x80L
#define BS_PUSHBUTTON 0x0L
#define BS_DEFPUSHBUTTON 0x1L
#define BS_AUTORADIOBUTTON 0x9L
#define BS_TYPEMASK 0xFL

// A dialog procedure's answer to a message that wants one, kept with SetWindowLongPtr.
#define DWLP_MSGRESULT 0

#define MAKEWPARAM(l, h) ((WPARAM)(DWORD)((WORD)(l) | ((DWORD)(WORD)(h)) << 16))

INT_PTR WINAPI DialogBoxParamA(HINSTANCE instance, LPCSTR templateName, HWND owner,
                               DLGPROC dialogProc, LPARAM initParam);
INT_PTR WINAPI DialogBoxParamW(HINSTANCE instance, LPCWSTR templateName, HWND owner,
                               DLGPROC dialogProc, LPARAM initParam);
BOOL WINAPI EndDialog(HWND dialog, INT_PTR result);
HWND WINAPI GetDlgItem(HWND dialog, int id);
BOOL WINAPI SetDlgItemTextA(HWND dialog, int id, LPCSTR text);
BOOL WINAPI SetDlgItemTextW(HWND dialog, int id, LPCWSTR text);
BOOL WINAPI SetWindowTextA(HWND window, LPCSTR text);
BOOL WINAPI SetWindowTextW(HWND window, LPCWSTR text);
LRESULT WINAPI SendDlgItemMessageA(HWND dialog, int id, UINT message, WPARAM wParam, LPARAM lParam);
BOOL WINAPI EnableWindow(HWND window, BOOL enable);
BOOL WINAPI ShowWindow(HWND window, int command);
HWND WINAPI GetParent(HWND window);
BOOL WINAPI GetWindowRect(HWND window, LPRECT rect);
BOOL WINAPI MoveWindow(HWND window, int x, int y, int width, int height, BOOL repaint);

LONG_PTR WINAPI SetWindowLongPtrW(HWND window, int index, LONG_PTR value);
// Top-level windows (the pages), by class name and caption.
HWND WINAPI FindWindowExW(HWND parent, HWND after, LPCWSTR className, LPCWSTR caption);
BOOL WINAPI IsWindowVisible(HWND window);
BOOL WINAPI SetForegroundWindow(HWND window);

// A message box with an OK button, which the model's user presses at once.
#define MB_OK 0x00000000L
#define MB_ICONINFORMATION 0x00000040L
int WINAPI MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type);

// Why the window holds up the end of the session; shown by the system.
BOOL WINAPI ShutdownBlockReasonCreate(HWND window, LPCWSTR reason);
BOOL WINAPI ShutdownBlockReasonDestroy(HWND window);

HDC WINAPI CreateICA(LPCSTR driver, LPCSTR device, LPCSTR output, const void *mode);
int WINAPI GetDeviceCaps(HDC dc, int index);
BOOL WINAPI DeleteDC(HDC dc);
int WINAPI GetSystemMetrics(int index);

// COMCTL32's ordinal 17: registers the common control classes (the progress bar).
void WINAPI InitCommonControls(void);
