// The transfer: one thread that sends the firmware image to the printer and
// reports to whoever launched it (the progress page, the quiet run).
#pragma once

#include "platform/win32.h"

struct WorkerLaunch;

// Where the worker reports, from the thread it runs on.
struct WorkerReport {
  // After each block: the share of the image sent so far, 100 after the last.
  void (*progress)(WorkerLaunch *launch, int percent);
  // Once, after the port is released: 0 after a complete transfer, 1 after any
  // failure. The launch record is not touched after it.
  void (*done)(WorkerLaunch *launch, int result);
};

// How the progress page hands itself to the worker; rewritten for every transfer.
struct WorkerLaunch {
  HWND window;                 // the progress page, which its report updates, then ends
  HANDLE thread;               // the worker, as CreateThread returned it
  const WorkerReport *report;  // where the worker reports
};

extern WorkerLaunch workerLaunch;

// Starts TransferWorker for the page `window`, reporting through `report`;
// returns its thread, or null when it could not be started (the page must then
// be ended by its caller).
HANDLE StartTransferWorker(HWND window, const WorkerReport *report, WorkerLaunch *launch);
// Closes the worker's thread handle once its page has ended. The worker itself
// may still be leaving; nothing waits for it.
void ReleaseTransferWorker(WorkerLaunch *launch);

// Checks the image against its stored digest, probes the printer, runs the
// mode-switch exchange when the interface calls for it, sends the header and
// the image, releases the port and reports the end through the launch's report:
// 0 after a complete transfer, 1 after any failure. Always
// returns 1. Runs as well on a thread that is not its own (the quiet run's).
DWORD WINAPI TransferWorker(LPVOID launch);

// The mode-switch exchange on the current port: 1 when it went through.
int RunModeSwitch(void);
