// The log file an administrator names with /log PATH, beside a quiet run's or
// a check's standard output: the same lines (UTF-8), each after the local
// date and time ("2026-12-09 14:03:27 "), appended to PATH. The file is made
// when missing, its folder never; nothing in it is overwritten; each line goes
// to the file in a write of its own as it is said, so a run cut short keeps
// every line before the cut.
#pragma once

#include "command_line.h"
#include "quiet_log.h"

constexpr int kLogOutcomeSize = 1024;

// With /log, opens its file as `log->file`. 1 when there is no /log or the
// file is open; 0 when not, with `outcome` (kLogOutcomeSize characters) saying
// why: the path and the system's reason, or a /log without a path.
int OpenLogFile(const CommandLine *command, QuietLog *log, char *outcome);
// Writes `text` (a log line) after its time, and CR LF. Nothing when `file`
// is null; a failed write is not retried.
void WriteLogFileLine(HANDLE file, const char *text);
