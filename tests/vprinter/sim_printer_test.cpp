// The virtual printer as a device of the Win32 model: what the program's calls
// come back with, time on the model's clock, and waiting for the outcome
// without sleeping.
#include "sim_printer.h"

#include <memory>
#include <string>
#include <thread>

#include "printer_host.h"
#include "sim_test.h"
#include "win32_devices.h"

namespace {

using host::Bytes;
using vprinter::PrinterConfig;
using vprinter::SimPrinter;
using world::IoOutcome;

constexpr DWORD kVendorGetCommand = 0x22003C;

IoOutcome Write(SimPrinter &printer, const Bytes &bytes) {
  return printer.Write(0, bytes.data(), static_cast<DWORD>(bytes.size()));
}

class SimPrinterTest : public SimTest {};

TEST_F(SimPrinterTest, CallsComeBackAsTheModelsOutcomes) {
  PrinterConfig config;
  config.stallAfterBytes = 64 + 10;
  SimPrinter stalling(config);
  BYTE buffer[64] = {};
  EXPECT_EQ(stalling.Read(0, buffer, 8).kind, IoOutcome::Kind::block) << "no reply to read";
  EXPECT_EQ(Write(stalling, host::ImageHeader(100)).bytes, 64u);
  EXPECT_EQ(Write(stalling, Bytes(100)).kind, IoOutcome::Kind::block);

  IoOutcome answer = stalling.Control(0, kVendorGetCommand, buffer, 3, buffer, sizeof buffer);
  EXPECT_EQ(answer.kind, IoOutcome::Kind::done);
  EXPECT_EQ(std::string(reinterpret_cast<char *>(buffer), answer.bytes), "MFG:TORVAEL;");
  EXPECT_EQ(stalling.Control(0, 0x220034, buffer, 3, buffer, 64).error, ERROR_NOT_SUPPORTED);

  PrinterConfig failing;
  failing.failAfterBytes = 0;
  SimPrinter failed(failing);
  EXPECT_EQ(Write(failed, Bytes(8)).error, ERROR_GEN_FAILURE);
}

TEST_F(SimPrinterTest, SlowLinkSpendsModelTime) {
  PrinterConfig config;
  config.bytesPerSecond = 640;
  SimPrinter printer(config);
  DWORD before = GetTickCount();
  Write(printer, host::ImageHeader(0));
  EXPECT_GE(GetTickCount() - before, 100u);
}

TEST_F(SimPrinterTest, WaitingEndsWhenTheImageIsCompleteOrAFaultGoesOff) {
  Bytes image = host::FirmwareImage(3 * host::kBlock);
  PrinterConfig stalling = host::Expecting(image);
  stalling.stallAfterBytes = 64 + host::kBlock;
  for (const PrinterConfig &config : {host::Expecting(image), stalling}) {
    SimPrinter printer(config);
    EXPECT_FALSE(printer.WaitUntilSettled(1)) << "nothing has happened yet";
    std::thread program([&] {
      Write(printer, host::ImageHeader(image.size()));
      for (const Bytes &block : host::Blocks(image))
        if (Write(printer, block).kind != IoOutcome::Kind::done) break;
    });
    EXPECT_TRUE(printer.WaitFor([](const vprinter::Record &r) { return bool(r.announcedLength); }));
    EXPECT_TRUE(printer.WaitUntilSettled());
    program.join();
    vprinter::Record record = printer.record();
    EXPECT_EQ(record.imageMatches, !config.stallAfterBytes);
    EXPECT_EQ(record.fault,
              config.stallAfterBytes ? vprinter::Fault::stall : vprinter::Fault::none);
  }
}

// The same printer behind the model's device file, as the program reaches it.
TEST_F(SimPrinterTest, ServesTheProgramThroughItsDeviceFile) {
  Bytes image = host::FirmwareImage(1000);
  PrinterConfig config = host::Expecting(image);
  config.disconnectAfterBytes = 16 + 64 + image.size();
  auto printer = std::make_shared<SimPrinter>(config);
  world::PrintClassDevice device;
  device.hardwareIds = {"USB\\VID_7C5E&PID_4A86"};
  device.endpoint = printer;
  std::string path = world::InterfacePathOf(world::AttachPrintClassDevice(device));
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                            0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);

  DWORD moved = 0;
  BYTE reply[18] = {};
  Bytes header = host::ImageHeader(1000);
  for (const Bytes &frame : {host::Query(), host::QueryPayload()})
    EXPECT_TRUE(WriteFile(file, frame.data(), DWORD(frame.size()), &moved, nullptr));
  EXPECT_TRUE(ReadFile(file, reply, sizeof reply, &moved, nullptr));
  EXPECT_EQ(moved, 18u);
  EXPECT_TRUE(WriteFile(file, header.data(), 64, &moved, nullptr));
  EXPECT_TRUE(WriteFile(file, image.data(), 1000, &moved, nullptr));
  EXPECT_FALSE(WriteFile(file, image.data(), 1, &moved, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_DEVICE_NOT_CONNECTED);
  EXPECT_TRUE(CloseHandle(file));

  vprinter::Record record = printer->record();
  EXPECT_EQ(record.writes, (std::vector<size_t>{8, 8, 64, 1000, 1}));
  EXPECT_EQ(record.reads, std::vector<size_t>{18});
  EXPECT_TRUE(record.imageMatches);
}

}  // namespace
