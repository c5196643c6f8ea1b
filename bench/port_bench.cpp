// What the port layer costs: the still-image scan over every device name with
// no device present, and one timed write of an image block against the bare
// driver write it wraps. Prints the figures and their ratio, measured in one run.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "port/port_driver.h"
#include "port/port_io.h"
#include "port/usb_location.h"
#include "world.h"
#include "world_devices.h"

namespace {

constexpr uint32_t kBlock = 65472;

// Takes every byte into a buffer of its own, as a device takes a block, and
// does nothing else, so the printer itself costs next to nothing.
class Sink : public world::DeviceEndpoint {
 public:
  world::IoOutcome Write(int, const BYTE *data, DWORD size) override {
    taken_.assign(data, data + size);
    return world::IoOutcome::Done(size);
  }
  world::IoOutcome Read(int, BYTE *, DWORD) override { return world::IoOutcome::Block(); }
  world::IoOutcome Control(int, DWORD, const BYTE *, DWORD, BYTE *, DWORD) override {
    return world::IoOutcome::Fail(ERROR_NOT_SUPPORTED);
  }

 private:
  std::vector<BYTE> taken_;
};

Port *OpenPrinter() {
  world::PrintClassDevice device;
  device.hardwareIds = {"USB\\VID_7C5E&PID_4A86"};
  device.endpoint = std::make_shared<Sink>();
  world::AttachPrintClassDevice(device);
  Port *port = nullptr;
  PortCreate(&port, PORT_KIND_USB);
  PortSetUsbscan(port, 0);
  PortSetHardwareId(port, "USB\\VID_7C5E&PID_4A86");
  PortSetTimeout(port, 30);
  PortOpen(port);
  return port;
}

void UsbscanScanWithoutDevice(benchmark::State &state) {
  world::DetachAllDevices();
  Port *port = nullptr;
  PortCreate(&port, PORT_KIND_USB);
  PortSetUsbIds(port, 0x7C5E, 0x4A86);
  for (auto _ : state) {
    benchmark::DoNotOptimize(UsbscanOpen(reinterpret_cast<UsbPort *>(port)));
  }
  PortDestroy(port);
}
BENCHMARK(UsbscanScanWithoutDevice)->Unit(benchmark::kMillisecond);

void DirectDriverWrite(benchmark::State &state) {
  Port *port = OpenPrinter();
  std::vector<BYTE> block(kBlock, 0x5A);
  for (auto _ : state) {
    uint32_t count = kBlock;
    benchmark::DoNotOptimize(portDriver.io[PORT_KIND_USB].write(port, block.data(), &count));
  }
  PortDestroy(port);
  world::DetachAllDevices();
}
BENCHMARK(DirectDriverWrite)->Unit(benchmark::kMicrosecond);

void TimedPortWrite(benchmark::State &state) {
  Port *port = OpenPrinter();
  std::vector<BYTE> block(kBlock, 0x5A);
  for (auto _ : state) {
    uint32_t count = kBlock;
    benchmark::DoNotOptimize(PortWrite(port, block.data(), &count));
  }
  PortDestroy(port);
  world::DetachAllDevices();
}
BENCHMARK(TimedPortWrite)->Unit(benchmark::kMicrosecond);

// Keeps each benchmark's time per iteration, in nanoseconds, for the ratio.
class Recorder : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run> &runs) override {
    for (const Run &run : runs)
      nanoseconds[run.benchmark_name()] = run.GetAdjustedRealTime() *
                                          benchmark::GetTimeUnitMultiplier(benchmark::kNanosecond) /
                                          benchmark::GetTimeUnitMultiplier(run.time_unit);
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> nanoseconds;
};

}  // namespace

int main(int argc, char **argv) {
  benchmark::Initialize(&argc, argv);
  Recorder recorder;
  benchmark::RunSpecifiedBenchmarks(&recorder);
  double direct = recorder.nanoseconds["DirectDriverWrite"];
  double timed = recorder.nanoseconds["TimedPortWrite"];
  double scan = recorder.nanoseconds["UsbscanScanWithoutDevice"];
  std::printf("\nstill-image scan of 65,535 names, no device: %.1f ms\n", scan / 1e6);
  if (direct > 0)
    std::printf("PortWrite of %u bytes: %.1f us, direct driver write: %.1f us, ratio %.2f\n",
                kBlock, timed / 1e3, direct / 1e3, timed / direct);
  double plain = recorder.nanoseconds["PlainSend"];
  double network = recorder.nanoseconds["NetworkPortWrite"];
  if (plain > 0 && network > 0)
    std::printf(
        "over loopback TCP: PortWrite %.1f us (%.0f MB/s), plain send %.1f us "
        "(%.0f MB/s), ratio %.2f\n",
        network / 1e3, kBlock / network * 1e3, plain / 1e3, kBlock / plain * 1e3, network / plain);
  benchmark::Shutdown();
  return 0;
}
