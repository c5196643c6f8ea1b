// The faults a printer plays: each takes over at its byte and holds for good,
// and the slow link costs what its rate says, however the host cuts its calls.
#include <algorithm>

#include "printer_host.h"

namespace {

using host::Bytes;
using host::kBlock;
using vprinter::Fault;
using vprinter::PrinterConfig;
using vprinter::PrinterEngine;
using vprinter::Status;
using vprinter::Transfer;

struct FaultCase {
  const char *name;
  std::optional<uint64_t> PrinterConfig::*threshold;
  Fault fault;
  Status status;
};

class PrinterFault : public ::testing::TestWithParam<FaultCase> {
 protected:
  Bytes image = host::FirmwareImage(3 * kBlock);
  PrinterEngine Armed(uint64_t afterBytes) {
    PrinterConfig config = host::Expecting(image);
    config.*GetParam().threshold = afterBytes;
    return PrinterEngine(config);
  }
};

TEST_P(PrinterFault, TakesOverInsideABlockAndHolds) {
  PrinterEngine printer = Armed(64 + kBlock + 1000);
  host::WriteAll(printer, {host::ImageHeader(image.size()), host::Slice(image, 0, kBlock)});
  EXPECT_FALSE(printer.Settled());
  Transfer crossing = host::Write(printer, host::Slice(image, kBlock, kBlock));
  EXPECT_EQ(crossing.status, GetParam().status);
  EXPECT_EQ(crossing.bytes, 1000u) << "the bytes before the fault still arrive";
  Transfer after = host::Write(printer, host::Slice(image, kBlock, kBlock));
  EXPECT_EQ(after.status, GetParam().status);
  EXPECT_EQ(after.bytes, 0u);

  const vprinter::Record &record = printer.record();
  EXPECT_EQ(record.fault, GetParam().fault);
  EXPECT_EQ(record.faultOffset, 64 + kBlock + 1000);
  EXPECT_EQ(record.writes.size(), 4u) << "calls after the fault are evidence too";
  EXPECT_EQ(record.blockSizes, (std::vector<size_t>{kBlock, 1000}));
  EXPECT_FALSE(record.imageComplete);
  EXPECT_FALSE(record.firstMismatch) << "what arrived was right";
  EXPECT_TRUE(printer.Settled());
}

TEST_P(PrinterFault, AtAWriteBoundaryTheNextWriteMovesNothing) {
  for (uint64_t boundary : {0, 64}) {
    PrinterEngine printer = Armed(boundary);
    if (boundary == 64) host::WriteAll(printer, {host::ImageHeader(image.size())});
    Transfer next = host::Write(printer, boundary == 0 ? host::ImageHeader(0) : image);
    EXPECT_EQ(next.status, GetParam().status);
    EXPECT_EQ(next.bytes, 0u);
    EXPECT_EQ(printer.record().faultOffset, boundary);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Faults, PrinterFault,
    ::testing::Values(FaultCase{"Stall", &PrinterConfig::stallAfterBytes, Fault::stall,
                                Status::stall},
                      FaultCase{"Fail", &PrinterConfig::failAfterBytes, Fault::fail, Status::fail},
                      FaultCase{"Disconnect", &PrinterConfig::disconnectAfterBytes,
                                Fault::disconnect, Status::disconnected}),
    [](const ::testing::TestParamInfo<FaultCase> &test) { return test.param.name; });

TEST(PrinterFaultReads, DisconnectedPrinterFailsEveryCall) {
  PrinterConfig config;
  config.disconnectAfterBytes = 16;
  config.failAfterBytes = 16;
  PrinterEngine printer(config);
  host::WriteAll(printer, {host::Query(), host::QueryPayload()});
  uint8_t buffer[18];
  EXPECT_EQ(printer.Send(buffer, 18).status, Status::disconnected) << "gone before the reply";
  EXPECT_EQ(printer.AnswerVendorRequest(buffer, 18).status, Status::disconnected);
  EXPECT_EQ(host::Write(printer, host::ImageHeader(0)).status, Status::disconnected)
      << "gone wins over failing";
  EXPECT_FALSE(printer.Present());
  EXPECT_EQ(printer.record().vendorRequests, 0u);
}

TEST(PrinterSlowLink, DelaysAddUpToTheRateHoweverCallsAreCut) {
  PrinterConfig config;
  config.bytesPerSecond = 3000;
  PrinterEngine printer(config);
  Bytes stream = host::ImageHeader(5918);
  stream.resize(64 + 5918);
  uint64_t total = 0;
  for (size_t at = 0; at < stream.size(); at += 7) {
    total += host::Write(printer, host::Slice(stream, at, std::min<size_t>(7, stream.size() - at)))
                 .delayMs;
  }
  EXPECT_TRUE(printer.record().imageComplete);
  EXPECT_EQ(total, 5982u * 1000u / 3000u);
}

}  // namespace
