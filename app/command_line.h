// The command line of an unattended run, as deployment tools give it:
//
//   FirmwareUpdater.exe /quiet /accept-licence [/log PATH]
//   FirmwareUpdater.exe /check [/log PATH]
//
// An option begins with "/" or "-" and is read whatever its letter case.
// Anything else is an argument the program does not know: without /quiet it
// changes nothing (the pages run as ever); with /quiet the run stops before
// anything is done.
#pragma once

#include "platform/win32.h"

constexpr int kShownArgumentSize = 48;
constexpr int kLogPathSize = 1024;

struct CommandLine {
  int quiet;          // /quiet: no window at all; the outcome is the exit code
  int acceptLicence;  // /accept-licence (or /accept-license): accepted for the organisation
  int check;          // /check: only whether the printer is there; nothing is sent
  int log;            // /log PATH: the log's lines go to that file too
  // PATH; empty when /log came last or PATH does not fit.
  WCHAR logPath[kLogPathSize];
  int unknownCount;  // the arguments that are neither
  // The first of those as a log can show it: ASCII, "?" for any other
  // character, cut short.
  char firstUnknown[kShownArgumentSize];
};

// Reads `line` as GetCommandLineW gives it: the program's name, then the
// arguments, split and unquoted as CommandLineToArgvW does (blanks apart,
// double quotes around blanks, backslashes doubled before a quote).
void ReadCommandLine(LPCWSTR line, CommandLine *command);
