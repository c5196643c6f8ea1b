#include "port_failure.h"

#include <cstring>

#include "device_search.h"
#include "error_text.h"

namespace {

PortFailure lastFailure;

void CopyStep(const char *text) {
  size_t length = strnlen(text, kFailureStepSize - 1);
  std::memmove(lastFailure.step, text, length);
  lastFailure.step[length] = 0;
}

// A step with no error code says so, so that the line never reads as if the
// system had given one.
void Announce(void) {
  char line[kFailureTextSize + 64] = "FirmwareUpdater: failed at ";
  char text[kFailureTextSize];
  PortFailureText(&lastFailure, text, kFailureTextSize);
  PortAppendText(line, sizeof line, text);
  if (lastFailure.error == 0 && !lastFailure.searchSeen)
    PortAppendText(line, sizeof line, " (no error code)");
  PortAppendText(line, sizeof line, "\n");
  OutputDebugStringA(line);
}

}  // namespace

void PortNoteFailure(const char *step, DWORD error) {
  CopyStep(step != nullptr ? step : "");
  lastFailure.error = error;
  lastFailure.searchSeen = 0;
  Announce();
}

void PortNoteSearchFailure(DWORD error) {
  CopyStep("device search");
  lastFailure.error = error;
  lastFailure.searchSeen = 1;
  Announce();
}

int PortNoteFailureContext(const char *context) {
  if (context == nullptr) return 0;
  char combined[kFailureStepSize];
  if (lastFailure.step[0] == 0)
    CopyStep(context);
  else {
    wsprintfA(combined, "%.40s: %.50s", context, lastFailure.step);
    CopyStep(combined);
  }
  Announce();
  return 0;
}

const PortFailure *PortLastFailure(void) { return &lastFailure; }

void PortClearFailure(void) {
  lastFailure.step[0] = 0;
  lastFailure.error = 0;
  lastFailure.searchSeen = 0;
}

void PortFailureText(const PortFailure *failure, char *text, int size) {
  if (text == nullptr || size <= 0) return;
  text[0] = 0;
  if (failure == nullptr) return;
  PortAppendText(text, size, failure->step);
  if (failure->searchSeen) {
    char seen[kFailureTextSize];
    DeviceSearchText(seen, kFailureTextSize);
    PortAppendText(text, size, ": ");
    PortAppendText(text, size, seen);
  } else if (failure->error != 0) {
    char words[kErrorTextSize];
    PortErrorText(failure->error, words, kErrorTextSize);
    PortAppendText(text, size, " (");
    PortAppendText(text, size, words);
    PortAppendText(text, size, ")");
  }
}
