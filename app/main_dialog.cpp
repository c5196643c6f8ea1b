// The main page: is the printer there, the transfer on request, and its outcome.
#include "pages.h"
#include "res/resource.h"
#include "transfer/target.h"
#include "transfer/transfer_worker.h"

namespace {

// A page state is only what its controls show: a message and button 1's label.
void ShowState(HWND window, UINT messageId, UINT actionLabelId) {
  HINSTANCE instance = GetModuleHandleA(nullptr);
  SetControlString(window, IDC_MESSAGE, instance, messageId);
  SetControlString(window, IDOK, instance, actionLabelId);
  SetControlString(window, IDCANCEL, instance, IDS_EXIT);
}

void ShowDone(HWND window) {
  HINSTANCE instance = GetModuleHandleA(nullptr);
  SetControlString(window, IDC_MESSAGE, instance, IDS_COMPLETE);
  SetControlString(window, IDCANCEL, instance, IDS_EXIT);
  HWND action = GetDlgItem(window, IDOK);
  EnableWindow(action, FALSE);
  ShowWindow(action, SW_HIDE);
}

void Initialise(HWND window) {
  CenterWindow(window);
  SetDialogCaption(window);
  if (ProbeTarget()) {
    ReleasePort();
    ShowState(window, IDS_READY, IDS_TRANSFER);
  } else {
    ShowState(window, IDS_NOT_FOUND, IDS_RETRY);
  }
}

void Transfer(HWND window) {
  if (!ProbeTarget()) {
    ShowState(window, IDS_NOT_FOUND, IDS_RETRY);
    return;
  }
  // The worker opens the printer itself.
  ReleasePort();
  EnableWindow(window, FALSE);
  ShowWindow(window, SW_HIDE);
  INT_PTR result = DialogBoxParamW(GetModuleHandleA(nullptr), MAKEINTRESOURCEW(IDD_PROGRESS),
                                   nullptr, ProgressDialog, 0);
  ReleaseTransferWorker(&workerLaunch);
  if (result == 0)
    ShowDone(window);
  else
    ShowState(window, IDS_FAILED, IDS_RETRY);
  // Shown again where it was: the user may have moved it.
  EnableWindow(window, TRUE);
  ShowWindow(window, SW_SHOW);
}

}  // namespace

INT_PTR CALLBACK MainDialog(HWND window, UINT message, WPARAM wParam, LPARAM) {
  if (message == WM_INITDIALOG) {
    Initialise(window);
    return 0;
  }
  if (message != WM_COMMAND) return 0;
  switch (LOWORD(wParam)) {
    case IDOK:
      Transfer(window);
      return 0;
    case IDCANCEL:
      EndDialog(window, 0);
      return 1;
    default:
      return 0;
  }
}
