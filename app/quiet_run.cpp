#include "quiet_run.h"

#include "log_file.h"
#include "one_copy.h"
#include "port/port_failure.h"
#include "printer_says.h"
#include "quiet_log.h"
#include "res/resource.h"
#include "session_hold.h"
#include "transfer/image_check.h"
#include "transfer/target.h"
#include "transfer/transfer_worker.h"

namespace {

constexpr int kTextSize = 1024;

// The worker's launch record and what the quiet run keeps beside it. The
// launch comes first: the worker's reports get its address.
struct QuietTransfer {
  WorkerLaunch launch;
  QuietLog *log;
  int blocks;  // reported so far
  int result;  // the worker's: 0 complete, 1 failed
};

QuietTransfer *Of(WorkerLaunch *launch) { return reinterpret_cast<QuietTransfer *>(launch); }

void LogBlock(WorkerLaunch *launch, int percent) {
  QuietTransfer *transfer = Of(launch);
  char line[64];
  wsprintfA(line, "Block %d sent: %d %%", ++transfer->blocks, percent);
  WriteLogLine(transfer->log, line);
}

void KeepResult(WorkerLaunch *launch, int result) { Of(launch)->result = result; }

const WorkerReport quietReport = {LogBlock, KeepResult};

// The outcome's line, with the code it ends with.
int End(QuietLog *log, int code, const char *outcome) {
  char line[kTextSize];
  wsprintfA(line, "%.900s Exit code %d.", outcome, code);
  WriteLogLine(log, line);
  return code;
}

// String `id` as UTF-8, as the system's texts in the log are: one log line
// is in one encoding, whatever the code page of the system.
void LoadUtf8(UINT id, char *text) {
  WCHAR wide[kTextSize] = {};
  int length = LoadStringW(GetModuleHandleA(nullptr), id, wide, kTextSize);
  int size = length <= 0 ? 0
                         : WideCharToMultiByte(CP_UTF8, 0, wide, length, text, kTextSize - 1,
                                               nullptr, nullptr);
  text[size] = 0;
}

// "<model> (<version>)": who speaks, as every page's caption says it.
void SayWhoRuns(QuietLog *log, const char *mode) {
  char model[kTextSize];
  char version[kTextSize];
  LoadUtf8(IDS_MODEL_NAME, model);
  LoadUtf8(IDS_VERSION_TEXT, version);
  char line[kTextSize];
  wsprintfA(line, "Firmware update for %.200s (%.200s), %s.", model, version, mode);
  WriteLogLine(log, line);
}

// The printer is looked for first, as the main page does, so that "not found"
// has its own code; the worker then opens it again itself. A check stops there.
int FindAndTransfer(QuietLog *log, int checkOnly) {
  char line[kTextSize];
  PortClearFailure();
  char reason[kFailureTextSize];
  if (!ProbeTarget()) {
    PortFailureText(PortLastFailure(), reason, kFailureTextSize);
    wsprintfA(line, "Printer not found (failed at %s).", reason);
    return End(log, QUIET_EXIT_PRINTER_NOT_FOUND, line);
  }
  wsprintfA(line, "Printer found: %.900s",
            reinterpret_cast<const UsbPort *>(currentPort)->deviceName);
  WriteLogLine(log, line);
  // Asking the printer for its id is asking it something: a check does not.
  if (!checkOnly) SayWhatPrinterSays(log, currentPort);
  ReleasePort();
  if (checkOnly) return End(log, QUIET_EXIT_COMPLETE, "Printer check complete: nothing was sent.");

  QuietTransfer transfer = {{nullptr, nullptr, &quietReport}, log, 0, 1};
  HoldOffSleepAndShutdown(nullptr);
  TransferWorker(&transfer.launch);
  AllowSleepAndShutdown(nullptr);
  if (transfer.result == 0) return End(log, QUIET_EXIT_COMPLETE, "Firmware transfer complete.");
  PortFailureText(PortLastFailure(), reason, kFailureTextSize);
  wsprintfA(line, "Transfer failed at %s.", reason);
  return End(log, QUIET_EXIT_TRANSFER_FAILED, line);
}

int Run(const CommandLine *command, QuietLog *log) {
  // The file first, so that it holds every line.
  char outcome[kLogOutcomeSize];
  int logOpen = OpenLogFile(command, log, outcome);
  SayWhoRuns(log, command->check ? "printer check" : "quiet mode");
  if (!logOpen) return End(log, QUIET_EXIT_COMMAND_LINE, outcome);
  if (command->unknownCount > 0) {
    char line[kTextSize];
    wsprintfA(line,
              "Cannot read the command line: unknown argument \"%s\" (known: /quiet, "
              "/accept-licence, /check, /log PATH).",
              command->firstUnknown);
    return End(log, QUIET_EXIT_COMMAND_LINE, line);
  }
  // A tool that asked for both would read 0 as done either way.
  if (command->check && command->quiet)
    return End(log, QUIET_EXIT_COMMAND_LINE,
               "Cannot read the command line: /check and /quiet do not go together.");
  if (!command->check && !command->acceptLicence)
    return End(log, QUIET_EXIT_LICENCE_NOT_ACCEPTED,
               "Licence not accepted: nothing was sent. /accept-licence accepts it on your "
               "organisation's behalf.");
  if (!command->check) WriteLogLine(log, "Licence accepted on the command line.");
  // Checked before the printer is looked for: a damaged copy fails the same
  // way whether or not a printer is there, and its code says not to retry.
  PortClearFailure();
  if (!CheckOwnImage())
    return End(log, QUIET_EXIT_DAMAGED_COPY,
               "This copy of the updater is damaged: nothing was sent; replace the file.");
  OneCopyGuard guard;
  if (!TakeOneCopyGuard(&guard))
    return End(log, QUIET_EXIT_ANOTHER_COPY,
               "Another copy of the updater is running for this printer model: nothing was sent.");
  int code = FindAndTransfer(log, command->check);
  ReleaseOneCopyGuard(&guard);
  return code;
}

}  // namespace

int QuietRun(const CommandLine *command) {
  QuietLog log;
  OpenQuietLog(&log);
  int code = Run(command, &log);
  CloseQuietLog(&log);
  return code;
}
