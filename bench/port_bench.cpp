// What the port layer costs: the still-image scan over every device name with
// no device present, and one timed write of an image block against the floor
// of its design: one thread started and joined, and one copy of the block.
// Prints every figure of bench/ with its ratio, each measured in the same run.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "port/port_driver.h"
#include "port/port_io.h"
#include "port/usb_port.h"
#include "world.h"
#include "world_devices.h"

namespace {

constexpr uint32_t kBlock = 65472;

// Takes every block without looking at it, so the device costs nothing and
// what remains is the timed write's own cost.
class Sink : public world::DeviceEndpoint {
 public:
  world::IoOutcome Write(int, const BYTE *, DWORD size) override {
    return world::IoOutcome::Done(size);
  }
  world::IoOutcome Read(int, BYTE *, DWORD) override { return world::IoOutcome::Block(); }
  world::IoOutcome Control(int, DWORD, const BYTE *, DWORD, BYTE *, DWORD) override {
    return world::IoOutcome::Fail(ERROR_NOT_SUPPORTED);
  }
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

// The scan's floor: one failing open of each name, and nothing else.
void OpensOfEveryName(benchmark::State &state) {
  world::DetachAllDevices();
  char name[32];
  for (auto _ : state) {
    for (int number = 0; number < 65535; ++number) {
      std::snprintf(name, sizeof name, "\\\\.\\Usbscan%d", number);
      HANDLE handle = CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
      if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
    }
  }
}
BENCHMARK(OpensOfEveryName)->Unit(benchmark::kMillisecond);

unsigned WINAPI DoNothing(void *) { return 0; }

// The least a timed write can do: copy the block where its thread can own it,
// start that thread and join it.
void ThreadAndCopyFloor(benchmark::State &state) {
  std::vector<BYTE> block(kBlock, 0x5A);
  for (auto _ : state) {
    auto *copy = static_cast<BYTE *>(HeapAlloc(GetProcessHeap(), 0, kBlock));
    std::memcpy(copy, block.data(), kBlock);
    benchmark::DoNotOptimize(copy);
    auto thread = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, DoNothing, copy, 0, nullptr));
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    HeapFree(GetProcessHeap(), 0, copy);
  }
}
BENCHMARK(ThreadAndCopyFloor)->Unit(benchmark::kMicrosecond);

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

void PrintRatio(const char *what, double figure, double baseline, const char *against, double unit,
                const char *unitName) {
  if (figure <= 0 || baseline <= 0) return;
  std::printf("%-44s %10.2f %s  against %-34s %10.2f %s  ratio %6.2f\n", what, figure / unit,
              unitName, against, baseline / unit, unitName, figure / baseline);
}

}  // namespace

int main(int argc, char **argv) {
  benchmark::Initialize(&argc, argv);
  Recorder recorder;
  benchmark::RunSpecifiedBenchmarks(&recorder);
  std::map<std::string, double> &ns = recorder.nanoseconds;
  std::printf("\n");
  PrintRatio("PortWrite of 65,472 bytes", ns["TimedPortWrite"], ns["ThreadAndCopyFloor"],
             "one thread and one copy", 1e3, "us");
  PrintRatio("whole transfer, image check to last byte",
             ns["WholeTransfer/iterations:5/manual_time"], ns["RawWriteOfTheSameBytes/manual_time"],
             "one raw write of the same bytes", 1e6, "ms");
  PrintRatio("probe, 16 printer-class devices", ns["ProbeAmongDevices/16"],
             ns["ProbeAmongDevices/1"], "the probe with 1", 1e3, "us");
  PrintRatio("probe, 256 printer-class devices", ns["ProbeAmongDevices/256"],
             ns["ProbeAmongDevices/1"], "the probe with 1", 1e3, "us");
  PrintRatio("still-image scan of 65,535 names, no device", ns["UsbscanScanWithoutDevice"],
             ns["OpensOfEveryName"], "a failing open of each name", 1e6, "ms");
  PrintRatio("PortWrite over loopback TCP", ns["NetworkPortWrite"], ns["PlainSend"],
             "plain send of the same size", 1e3, "us");
  benchmark::Shutdown();
  return 0;
}
