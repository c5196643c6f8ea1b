// The program's pages and the small window helpers they share.
#pragma once

#include "platform/win32.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show);

INT_PTR CALLBACK LicenseDialog(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK MainDialog(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK ProgressDialog(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Loads string `stringId` and makes it the text of control `controlId`, or the
// window's caption when `controlId` is 0, as wide text whatever the system's
// code page. A missing string shows as empty.
void SetControlString(HWND window, int controlId, HINSTANCE instance, UINT stringId);
// "<model name> (<version>)", every page's caption, into `caption` of `size` units.
void LoadDialogCaption(WCHAR *caption, int size);
// That text as the window's caption.
void SetDialogCaption(HWND window);
// The first of `ids` whose button is checked, or -1.
int FirstCheckedButton(HWND window, const int *ids, int count);
// Shows the licence text in control `controlId`, read in its own code page
// (932 for the Japanese text, 1252 for the English one). A missing or
// unreadable licence shows as empty.
void ShowLicenseText(HWND window, int controlId);
// Centres the window over its parent, or over the whole screen without one.
// Pages run as Unicode windows (DialogBoxParamW), so that a caption or an edit
// control keeps texts the code page for non-Unicode programs cannot hold.
void CenterWindow(HWND window);
