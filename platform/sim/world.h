// The test bench's side of the Win32 model: build the machine the program runs
// on, break it on purpose, and count what the program left alive.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "win32_sim.h"

namespace world {

// The user-interface language, 1033 (English) or 1041 (Japanese), which picks
// the resources, and the ANSI code page that goes with it on that language's
// Windows (1252 or 932). Returns false for any other language.
bool SetLanguage(WORD language);
WORD Language();
// Only the code page narrow text goes through (1252 or 932), as on a system
// whose display language is not its language for non-Unicode programs.
// Returns false for any other.
bool SetAnsiCodePage(UINT codePage);
UINT AnsiCodePage();

// Model time is virtual by default: it stands still while any thread of the
// program runs (the test's own thread too, once it has started a thread or
// waited in the model) and jumps to the next deadline when all of them wait
// in model calls. Real time is for a test that must see real durations.
void UseRealTime(bool real);

// Resources of the program, by type and name (ids through MAKEINTRESOURCEA, or
// texts such as "FIRMWARE") in one language. Replacements last until Restore.
void ReplaceResource(LPCSTR type, LPCSTR name, WORD language, std::vector<BYTE> bytes);
void RemoveResource(LPCSTR type, LPCSTR name, WORD language);
// Sets one string-table entry (empty text: the entry is absent).
void ReplaceString(UINT id, WORD language, const std::u16string &text);
void RestoreResources();

// Faults: the nth call from now (1 = the next) of the kind fails.
void FailAllocation(unsigned nth);
void FailThreadCreation(unsigned nth);
// CreateICA for the display.
void FailDisplayContext(unsigned nth);
// CloseHandle: the handle is closed all the same, but the call says it failed.
void FailClose(unsigned nth);
// DialogBoxParamA or W: no page, -1.
void FailDialog(unsigned nth);
// WaitForSingleObject on a thread: waits until the thread has ended, however
// long, and then says WAIT_TIMEOUT, as when the thread ends in the very moment
// the wait runs out.
void TimeOutAsThreadEnds(unsigned nth);
// Disarms every armed fault, device faults too, and starts the call counts afresh.
void DisarmFaults();
// Calls of each of those kinds since the last Reset, faulted or not.
struct CallCounts {
  unsigned allocations, threadCreations, displayContexts, closes, dialogs;
};
CallCounts CallsMade();

// What is alive: open handles, threads the program started that have not
// ended, and heap blocks (process and local heaps) not yet freed.
size_t LiveHandles();
size_t LiveThreads();
size_t LiveHeapBlocks();
// CloseHandle calls that failed: a handle closed twice, or one never opened.
size_t FailedCloses();

// Every text the program passed to OutputDebugStringA since the last Reset, in order.
std::vector<std::string> DebugOutput();
void ClearDebugOutput();

// The command line GetCommandLineW gives: the program's name alone until set.
void SetCommandLine(const std::u16string &line);
// Gives the program a standard output (it has none at first, as a windowed
// program started from the desktop), a pipe; and what was written to it.
void GiveStandardOutput();
std::string StandardOutput();
// Gives the program's starter a console the program can attach to, and what
// the program wrote to it.
void GiveConsole();
std::string ConsoleOutput();
// The console sends the event (CTRL_C_EVENT, CTRL_BREAK_EVENT, CTRL_CLOSE_EVENT)
// to the program if it is attached: whether that ends the program. The model
// ends nothing; the test judges.
bool RaiseConsoleEvent(DWORD event);

// Waits, at most `realMilliseconds` of real time, until every thread the
// program started has ended. Returns whether it got quiet.
bool WaitUntilQuiet(unsigned realMilliseconds = 10000);

// Back to the machine as built: language 1033 with code page 1252, virtual time, the compiled
// resources, no devices, no armed faults, no failed closes counted, the default
// screen, no page history, no debug output, no command line arguments or
// standard output or console, and a network with Winsock ready,
// echoes answered and the IPv6 conversion present. Live counts are not reset:
// nothing alive is
// forgotten.
void Reset();

}  // namespace world
