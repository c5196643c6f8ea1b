// The process as it was started: its command line and, when the world gives
// it one, its standard output (a pipe whose bytes the world keeps). The
// program never closes that handle, and it is no entry of the handle table.
#include <mutex>
#include <string>

#include "internal/kernel.h"
#include "win32_kernel.h"
#include "world.h"

namespace {

const std::u16string kProgramName = u"FirmwareUpdater.exe";
// Not a value the handle table hands out (those start at 0x1000).
HANDLE const kStandardOutput = reinterpret_cast<HANDLE>(uintptr_t(0x1C));

std::mutex processLock;
std::u16string commandLine = kProgramName;
bool outputGiven = false;
std::string output;

}  // namespace

namespace sim {

bool IsStandardOutput(HANDLE handle) {
  std::lock_guard<std::mutex> guard(processLock);
  return outputGiven && handle == kStandardOutput;
}

BOOL WriteStandardOutput(const void *bytes, DWORD size, LPDWORD written) {
  std::lock_guard<std::mutex> guard(processLock);
  output.append(static_cast<const char *>(bytes), size);
  if (written != nullptr) *written = size;
  return TRUE;
}

void ResetProcess() {
  std::lock_guard<std::mutex> guard(processLock);
  commandLine = kProgramName;
  outputGiven = false;
  output.clear();
}

}  // namespace sim

// The text stays where it is until the world sets another.
LPWSTR WINAPI GetCommandLineW(void) {
  std::lock_guard<std::mutex> guard(processLock);
  return &commandLine[0];
}

HANDLE WINAPI GetStdHandle(DWORD which) {
  std::lock_guard<std::mutex> guard(processLock);
  return which == STD_OUTPUT_HANDLE && outputGiven ? kStandardOutput : nullptr;
}

DWORD WINAPI GetFileType(HANDLE file) {
  if (sim::IsStandardOutput(file)) return FILE_TYPE_PIPE;
  sim::SetLastErrorValue(ERROR_INVALID_HANDLE);
  return FILE_TYPE_UNKNOWN;
}

namespace world {

void SetCommandLine(const std::u16string &line) {
  std::lock_guard<std::mutex> guard(processLock);
  commandLine = line;
}

void GiveStandardOutput() {
  std::lock_guard<std::mutex> guard(processLock);
  outputGiven = true;
}

std::string StandardOutput() {
  std::lock_guard<std::mutex> guard(processLock);
  return output;
}

}  // namespace world
