// The progress page: the worker drives it and ends it; the user cannot, and
// neither can the end of the session.
#include "pages.h"
#include "res/resource.h"
#include "session_hold.h"
#include "transfer/transfer_worker.h"

namespace {

// The worker's report: the bar and the percentage under it ("100 %" after the
// last block), then the page's end. Both come from the worker's thread.
void ShowProgress(WorkerLaunch *launch, int percent) {
  char text[16];
  SendDlgItemMessageA(launch->window, IDC_PROGRESS, PBM_SETPOS, static_cast<WPARAM>(percent), 0);
  wsprintfA(text, "%d %%", percent);
  SetDlgItemTextA(launch->window, IDC_PERCENT, text);
}

void EndPage(WorkerLaunch *launch, int result) { EndDialog(launch->window, result); }

const WorkerReport progressPageReport = {ShowProgress, EndPage};

void Initialise(HWND window) {
  CenterWindow(window);
  SetDialogCaption(window);
  SetControlString(window, IDC_HEADING, GetModuleHandleA(nullptr), IDS_TRANSFERRING);
  // Given back at WM_DESTROY, on this same thread, however the page ends.
  HoldOffSleepAndShutdown(window);
  // Without a worker nothing would ever end the page: end it as failed.
  if (StartTransferWorker(window, &progressPageReport, &workerLaunch) == nullptr) EndDialog(window, 1);
}

}  // namespace

INT_PTR CALLBACK ProgressDialog(HWND window, UINT message, WPARAM, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      Initialise(window);
      return 0;
    case WM_QUERYENDSESSION:
      // The answer goes back through the dialog's message result.
      SetWindowLongPtrW(window, DWLP_MSGRESULT, FALSE);
      return TRUE;
    case WM_DESTROY:
      AllowSleepAndShutdown(window);
      return 0;
    default:
      return 0;
  }
}
