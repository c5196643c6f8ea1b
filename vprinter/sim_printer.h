// The virtual printer as a device of the Win32 model, for native tests: the
// program's WriteFile, ReadFile and DeviceIoControl on the printer land here.
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>

#include "printer_engine.h"
#include "world_devices.h"

namespace vprinter {

class SimPrinter : public world::DeviceEndpoint {
 public:
  explicit SimPrinter(PrinterConfig config = PrinterConfig());

  world::IoOutcome Write(int pipe, const BYTE *data, DWORD size) override;
  world::IoOutcome Read(int pipe, BYTE *buffer, DWORD size) override;
  world::IoOutcome Control(int pipe, DWORD code, const BYTE *in, DWORD inSize, BYTE *out,
                           DWORD outSize) override;

  // A copy of the record as it stands.
  Record record() const;
  // The printer switched off and on: the same configuration, a new session and
  // record, whatever the last session left half done.
  void SwitchOffAndOn();

  // Waits, at most `realMilliseconds` of real time, until `done` holds for the
  // record, checked after every call of the program. Returns whether it did.
  bool WaitFor(const std::function<bool(const Record &)> &done,
               unsigned realMilliseconds = 10000) const;
  // Waits until the image is complete, a protocol error was recorded or a
  // fault went off.
  bool WaitUntilSettled(unsigned realMilliseconds = 10000) const;

 private:
  // Runs one call of the engine under the lock, then plays the slow link
  // outside it.
  template <class Call>
  world::IoOutcome Serve(Call call);

  mutable std::mutex lock_;
  mutable std::condition_variable changed_;
  const PrinterConfig config_;
  PrinterEngine engine_;
};

}  // namespace vprinter
