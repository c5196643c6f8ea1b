// The unattended run (FirmwareUpdater.exe /quiet /accept-licence) for the
// tools that update a fleet of PCs: no window at all, so no display is needed
// (a service, a start-up script, Wine with no X display); one line per step on
// standard output (and in the /log file); the outcome as the exit code. With
// /check instead of /quiet it only looks for the printer, as the main page
// does, and sends nothing: 0 found, 2 not.
#pragma once

#include "command_line.h"

// The exit codes. The pages' run always ends with 0.
enum QuietExit {
  QUIET_EXIT_COMPLETE = 0,
  QUIET_EXIT_LICENCE_NOT_ACCEPTED = 1,
  QUIET_EXIT_PRINTER_NOT_FOUND = 2,
  QUIET_EXIT_TRANSFER_FAILED = 3,
  QUIET_EXIT_ANOTHER_COPY = 4,
  QUIET_EXIT_COMMAND_LINE = 5,
  // 6 is scripts/update-from-linux's own: a host that cannot run the updater.
  QUIET_EXIT_DAMAGED_COPY = 7,
};

// Runs the transfer as the progress page's worker does, without the pages:
// nothing is sent unless the licence is accepted and the command line read
// whole (the /log file open, when one is named). Returns one of the exit codes.
int QuietRun(const CommandLine *command);
