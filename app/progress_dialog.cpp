// The progress page: the worker drives it and ends it; the user cannot.
#include "pages.h"
#include "res/resource.h"
#include "transfer/transfer_worker.h"

INT_PTR CALLBACK ProgressDialog(HWND window, UINT message, WPARAM, LPARAM) {
  if (message != WM_INITDIALOG) return 0;
  CenterWindow(window);
  SetDialogCaption(window);
  SetControlString(window, IDC_HEADING, GetModuleHandleA(nullptr), IDS_TRANSFERRING);
  // Without a worker nothing would ever end the page: end it as failed.
  if (StartTransferWorker(window, &workerLaunch) == nullptr) EndDialog(window, 1);
  return 0;
}
