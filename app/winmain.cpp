// The program: the licence, then (only once accepted) the main page. Each
// page's modal loop is the program's loop while it is shown. Started with
// /quiet or /check, it shows no page at all (quiet_run.h).
#include "command_line.h"
#include "one_copy.h"
#include "pages.h"
#include "quiet_run.h"
#include "res/resource.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  CommandLine command;
  ReadCommandLine(GetCommandLineW(), &command);
  if (command.quiet || command.check) return QuietRun(&command);
  // A second copy for the same printer model shows the user the one that
  // runs, and leaves without a look at the printer.
  OneCopyGuard guard;
  if (!TakeOneCopyGuard(&guard)) {
    ShowRunningCopy();
    return 0;
  }
  // Registers the progress bar's class before any page needs it.
  InitCommonControls();
  INT_PTR accepted =
      DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_LICENSE), nullptr, LicenseDialog, 0);
  if (accepted == 1) DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_MAIN), nullptr, MainDialog, 0);
  ReleaseOneCopyGuard(&guard);
  return 0;
}
