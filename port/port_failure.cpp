#include "port_failure.h"

#include <cstring>

namespace {

PortFailure lastFailure;

void CopyStep(const char *text) {
  size_t length = strnlen(text, kFailureStepSize - 1);
  std::memmove(lastFailure.step, text, length);
  lastFailure.step[length] = 0;
}

void Announce(void) {
  char line[kFailureStepSize + 48];
  wsprintfA(line, "FirmwareUpdater: failed at %s (error %lu)\n", lastFailure.step,
            static_cast<unsigned long>(lastFailure.error));
  OutputDebugStringA(line);
}

}  // namespace

void PortNoteFailure(const char *step, DWORD error) {
  CopyStep(step != nullptr ? step : "");
  lastFailure.error = error;
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
}
