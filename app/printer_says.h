// The quiet run's line of what the printer says about itself, its IEEE 1284
// id, for the person who reads the log: "Printer says: MFG:...;MDL:...;", or
// "Printer says: nothing (REASON)". Nothing decides on it; the pages never ask.
#pragma once

#include "port/port.h"
#include "quiet_log.h"

// The id shows at most this many characters, escapes included.
constexpr int kPrinterSaysShown = 1000;

// Asks the printer of the open `port` for its id and writes the line.
void SayWhatPrinterSays(QuietLog *log, Port *port);
