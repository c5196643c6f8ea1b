// Each call runs the engine under the lock and plays the slow link after
// letting go of it, so that a test reading the record never waits out a delay.
#include "sim_printer.h"

#include <chrono>
#include <utility>

#include "win32_devices.h"

namespace vprinter {
namespace {

// IOCTL_USBPRINT_VENDOR_GET_COMMAND: device type 0x22, function 15, buffered.
constexpr DWORD kVendorGetCommand = 0x22003C;

world::IoOutcome OutcomeOf(const Transfer &transfer) {
  switch (transfer.status) {
    case Status::ok:
      return world::IoOutcome::Done(static_cast<DWORD>(transfer.bytes));
    case Status::stall:
    case Status::nothingToSend:
      return world::IoOutcome::Block();
    case Status::fail:
      return world::IoOutcome::Fail(ERROR_GEN_FAILURE);
    case Status::disconnected:
      return world::IoOutcome::Fail(ERROR_DEVICE_NOT_CONNECTED);
  }
  return world::IoOutcome::Fail(ERROR_GEN_FAILURE);
}

}  // namespace

SimPrinter::SimPrinter(PrinterConfig config) : config_(std::move(config)), engine_(config_) {}

template <class Call>
world::IoOutcome SimPrinter::Serve(Call call) {
  Transfer transfer;
  {
    std::lock_guard<std::mutex> guard(lock_);
    transfer = call(engine_);
  }
  changed_.notify_all();
  if (transfer.delayMs > 0) Sleep(transfer.delayMs);
  return OutcomeOf(transfer);
}

world::IoOutcome SimPrinter::Write(int, const BYTE *data, DWORD size) {
  return Serve([&](PrinterEngine &engine) { return engine.Receive(data, size); });
}

world::IoOutcome SimPrinter::Read(int, BYTE *buffer, DWORD size) {
  return Serve([&](PrinterEngine &engine) { return engine.Send(buffer, size); });
}

world::IoOutcome SimPrinter::Control(int, DWORD code, const BYTE *, DWORD, BYTE *out,
                                     DWORD outSize) {
  Transfer transfer;
  {
    std::lock_guard<std::mutex> guard(lock_);
    if (code == kVendorGetCommand) {
      transfer = engine_.AnswerVendorRequest(out, outSize);
    } else if (engine_.Present()) {
      return world::IoOutcome::Fail(ERROR_NOT_SUPPORTED);
    } else {
      transfer.status = Status::disconnected;
    }
  }
  changed_.notify_all();
  return OutcomeOf(transfer);
}

Record SimPrinter::record() const {
  std::lock_guard<std::mutex> guard(lock_);
  return engine_.record();
}

void SimPrinter::SwitchOffAndOn() {
  {
    std::lock_guard<std::mutex> guard(lock_);
    engine_ = PrinterEngine(config_);
  }
  changed_.notify_all();
}

bool SimPrinter::WaitFor(const std::function<bool(const Record &)> &done,
                         unsigned realMilliseconds) const {
  std::unique_lock<std::mutex> guard(lock_);
  return changed_.wait_for(guard, std::chrono::milliseconds(realMilliseconds),
                           [&] { return done(engine_.record()); });
}

bool SimPrinter::WaitUntilSettled(unsigned realMilliseconds) const {
  std::unique_lock<std::mutex> guard(lock_);
  return changed_.wait_for(guard, std::chrono::milliseconds(realMilliseconds),
                           [&] { return engine_.Settled(); });
}

}  // namespace vprinter
