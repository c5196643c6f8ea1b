// What a quiet run tells the person or tool that started it: one line per
// step on standard output, when the program has one. A windowed program
// started from a console has none of its own; it takes the console of the
// program that started it. A file is written only when /log names one
// (log_file.h).
#pragma once

#include "platform/win32.h"

struct QuietLog {
  HANDLE out;   // the standard output given; null when there is none
  int console;  // with none: 1 when the lines go to the starter's console
  HANDLE file;  // the /log file, null when none; closed here
};

// The standard output handle the program was given (a redirection, a pipe,
// Wine's shell), when it is one; otherwise the output of the console of the
// process that started it, if that has one. Attached to a console, a program
// gets its events, and Ctrl+C, Ctrl+Break or a closed console window would end
// it: a transfer stopped half-way may brick the printer. So the program is
// attached only while it writes a line, and ignores Ctrl+C and Ctrl+Break then.
void OpenQuietLog(QuietLog *log);
// Writes `text` (UTF-8) and a line end (CR LF), and into the /log file when
// there is one; to a console in UTF-16, as consoles seldom show UTF-8. Nothing
// when there is nowhere to write; a failed write is not retried, and never
// stops the run.
void WriteLogLine(QuietLog *log, const char *text);
void CloseQuietLog(QuietLog *log);
