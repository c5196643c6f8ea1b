// What a whole transfer costs natively: the worker sending the program's own
// image to a virtual printer, from the worker's start (the image check, then
// the probe) to the printer's last byte (the pause after it is the design's,
// not a cost), against one raw write of the same bytes to the same kind of
// device. And the probe's cost as printer-class devices multiply.
#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "res/resource.h"
#include "res/resource_types.h"
#include "sim_printer.h"
#include "transfer/target.h"
#include "transfer/transfer_worker.h"
#include "world.h"
#include "world_devices.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr char kOurId[] = "USB\\VID_7C5E&PID_4A86";
constexpr char kOtherId[] = "USB\\VID_04B8&PID_0005";

std::vector<uint8_t> ProgramImage() {
  HMODULE module = GetModuleHandleA(nullptr);
  HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(IDR_FIRMWARE), kFirmwareResourceType);
  const auto *bytes = static_cast<const uint8_t *>(LockResource(LoadResource(module, found)));
  return std::vector<uint8_t>(bytes, bytes + SizeofResource(module, found));
}

// The virtual printer, with the real time of the end of each write and, on
// request, every byte it took.
class TimedPrinter : public world::DeviceEndpoint {
 public:
  TimedPrinter(const std::vector<uint8_t> &image, bool keepBytes) : keepBytes_(keepBytes) {
    vprinter::PrinterConfig config;
    config.expectedImage = image;
    printer_ = std::make_shared<vprinter::SimPrinter>(config);
  }
  world::IoOutcome Write(int pipe, const BYTE *data, DWORD size) override {
    world::IoOutcome outcome = printer_->Write(pipe, data, size);
    std::lock_guard<std::mutex> guard(lock_);
    if (keepBytes_) taken_.insert(taken_.end(), data, data + size);
    lastByte_ = Clock::now();
    return outcome;
  }
  world::IoOutcome Read(int pipe, BYTE *buffer, DWORD size) override {
    return printer_->Read(pipe, buffer, size);
  }
  world::IoOutcome Control(int pipe, DWORD code, const BYTE *in, DWORD inSize, BYTE *out,
                           DWORD outSize) override {
    return printer_->Control(pipe, code, in, inSize, out, outSize);
  }
  Clock::time_point LastByte() {
    std::lock_guard<std::mutex> guard(lock_);
    return lastByte_;
  }
  std::vector<uint8_t> Taken() {
    std::lock_guard<std::mutex> guard(lock_);
    return taken_;
  }
  bool ImageMatches() const { return printer_->record().imageMatches; }

 private:
  std::shared_ptr<vprinter::SimPrinter> printer_;
  bool keepBytes_;
  std::mutex lock_;
  Clock::time_point lastByte_;
  std::vector<uint8_t> taken_;
};

world::DeviceId AttachOurs(std::shared_ptr<world::DeviceEndpoint> endpoint) {
  world::PrintClassDevice device;
  device.hardwareIds = {kOurId};
  device.endpoint = std::move(endpoint);
  return world::AttachPrintClassDevice(device);
}

// The worker reports to no page here.
void Unreported(WorkerLaunch *, int) {}
const WorkerReport kNoReport = {Unreported, Unreported};

// The bytes a transfer puts on the wire: header frame and image.
std::vector<uint8_t> TransferBytes(const std::vector<uint8_t> &image) {
  world::Reset();
  auto printer = std::make_shared<TimedPrinter>(image, true);
  AttachOurs(printer);
  WorkerLaunch launch = {nullptr, nullptr, &kNoReport};
  TransferWorker(&launch);
  world::DetachAllDevices();
  return printer->Taken();
}

void WholeTransfer(benchmark::State &state) {
  std::vector<uint8_t> image = ProgramImage();
  for (auto _ : state) {
    world::Reset();
    auto printer = std::make_shared<TimedPrinter>(image, false);
    AttachOurs(printer);
    WorkerLaunch launch = {nullptr, nullptr, &kNoReport};
    Clock::time_point start = Clock::now();
    TransferWorker(&launch);
    state.SetIterationTime(std::chrono::duration<double>(printer->LastByte() - start).count());
    if (!printer->ImageMatches()) state.SkipWithError("the printer's image does not match");
    world::DetachAllDevices();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(image.size()));
}
// Each run carries the design's one-second pause after the last byte.
BENCHMARK(WholeTransfer)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);

void RawWriteOfTheSameBytes(benchmark::State &state) {
  std::vector<uint8_t> image = ProgramImage();
  std::vector<uint8_t> bytes = TransferBytes(image);
  for (auto _ : state) {
    world::Reset();
    auto printer = std::make_shared<TimedPrinter>(image, false);
    world::DeviceId device = AttachOurs(printer);
    HANDLE handle = CreateFileA(world::InterfacePathOf(device).c_str(), GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    DWORD written = 0;
    Clock::time_point start = Clock::now();
    WriteFile(handle, bytes.data(), DWORD(bytes.size()), &written, nullptr);
    state.SetIterationTime(std::chrono::duration<double>(printer->LastByte() - start).count());
    CloseHandle(handle);
    if (written != bytes.size() || !printer->ImageMatches())
      state.SkipWithError("the raw write did not deliver the image");
    world::DetachAllDevices();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(image.size()));
}
BENCHMARK(RawWriteOfTheSameBytes)->UseManualTime()->Unit(benchmark::kMillisecond);

// Ours is listed last, behind every other model's printer.
void ProbeAmongDevices(benchmark::State &state) {
  world::Reset();
  for (int64_t i = 1; i < state.range(0); ++i) {
    world::PrintClassDevice other;
    other.hardwareIds = {kOtherId};
    world::AttachPrintClassDevice(other);
  }
  AttachOurs(std::make_shared<TimedPrinter>(std::vector<uint8_t>(), false));
  for (auto _ : state) {
    if (!ProbeTarget()) state.SkipWithError("the printer was not found");
    ReleasePort();
  }
  world::DetachAllDevices();
}
BENCHMARK(ProbeAmongDevices)->Arg(1)->Arg(16)->Arg(256)->Unit(benchmark::kMicrosecond);

}  // namespace
