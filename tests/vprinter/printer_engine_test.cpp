// The printer takes an announced image through any cut of the byte stream and
// tells exactly where the image it got parts from the one it expected.
#include <algorithm>

#include "printer_host.h"

namespace {

using host::Bytes;
using host::kBlock;

TEST(PrinterImage, ShippedImageInUpdaterBlocksArrivesWhole) {
  const size_t length = 1018816;
  Bytes image = host::FirmwareImage(length);
  vprinter::PrinterEngine printer(host::Expecting(image));
  host::WriteAll(printer, {host::ImageHeader(length)});
  host::WriteAll(printer, host::Blocks(image));

  const vprinter::Record &record = printer.record();
  std::vector<size_t> blocks(15, kBlock);
  blocks.push_back(36736);
  EXPECT_EQ(record.blockSizes, blocks);
  blocks.insert(blocks.begin(), 64);
  EXPECT_EQ(record.writes, blocks);
  EXPECT_EQ(record.announcedLength, length);
  EXPECT_EQ(record.bytesReceived, 64 + length);
  EXPECT_TRUE(record.imageComplete && record.imageChecked && record.imageMatches);
  EXPECT_FALSE(record.firstMismatch);
  EXPECT_TRUE(record.errors.empty());
}

TEST(PrinterImage, StreamCutAnywhereArrivesWhole) {
  const size_t length = 3 * kBlock + 12345;
  Bytes image = host::FirmwareImage(length);
  Bytes stream = host::ImageHeader(length);
  stream.insert(stream.end(), image.begin(), image.end());
  // Cuts inside the header, one across its end, tiny and beyond-a-block writes.
  const size_t cuts[] = {1, 1, 5, 50, 100, 3, 65473, 7, 131071, 2, 999};
  vprinter::PrinterEngine printer(host::Expecting(image));
  std::vector<size_t> writes, imageInWrites;
  for (size_t at = 0, i = 0; at < stream.size(); at += writes.back(), ++i) {
    writes.push_back(std::min(cuts[i % 11], stream.size() - at));
    host::WriteAll(printer, {host::Slice(stream, at, writes.back())});
    size_t end = at + writes.back();
    if (end > 64) imageInWrites.push_back(end - std::max<size_t>(at, 64));
  }
  EXPECT_EQ(printer.record().writes, writes);
  EXPECT_EQ(printer.record().blockSizes, imageInWrites);
  EXPECT_EQ(printer.record().blockSizes[0], 93u);
  EXPECT_TRUE(printer.record().imageMatches);
  EXPECT_TRUE(printer.record().errors.empty());
}

// Four full blocks and a tail, sent with one thing wrong.
struct Tampering {
  const char *name;
  void (*tamper)(const Bytes &image, std::vector<Bytes> &blocks, size_t &announced);
  uint64_t mismatch;
  bool complete;
};

class PrinterMismatch : public ::testing::TestWithParam<Tampering> {};

TEST_P(PrinterMismatch, ShowsAtTheFirstWrongByte) {
  Bytes image = host::FirmwareImage(4 * kBlock + 1000);
  std::vector<Bytes> blocks = host::Blocks(image);
  size_t announced = image.size();
  GetParam().tamper(image, blocks, announced);
  vprinter::PrinterEngine printer(host::Expecting(image));
  host::WriteAll(printer, {host::ImageHeader(announced)});
  host::WriteAll(printer, blocks);
  EXPECT_EQ(printer.record().imageComplete, GetParam().complete);
  EXPECT_FALSE(printer.record().imageMatches);
  EXPECT_EQ(printer.record().firstMismatch, GetParam().mismatch);
}

INSTANTIATE_TEST_SUITE_P(
    Blocks, PrinterMismatch,
    ::testing::Values(Tampering{"ShiftedByOne",
                                [](const Bytes &image, std::vector<Bytes> &blocks, size_t &) {
                                  blocks[2] = host::Slice(image, 2 * kBlock + 1, kBlock);
                                },
                                2 * kBlock, true},
                      Tampering{"Repeated",
                                [](const Bytes &, std::vector<Bytes> &blocks, size_t &) {
                                  blocks[2] = blocks[1];
                                },
                                2 * kBlock, true},
                      Tampering{"Missing",
                                [](const Bytes &, std::vector<Bytes> &blocks, size_t &) {
                                  blocks.erase(blocks.begin() + 1);
                                },
                                kBlock, false},
                      Tampering{"ShorterThanExpected",
                                [](const Bytes &, std::vector<Bytes> &blocks, size_t &announced) {
                                  blocks.back().pop_back();
                                  --announced;
                                },
                                4 * kBlock + 999, true},
                      Tampering{"LongerThanExpected",
                                [](const Bytes &, std::vector<Bytes> &blocks, size_t &announced) {
                                  blocks.back().push_back(0);
                                  ++announced;
                                },
                                4 * kBlock + 1000, true}),
    [](const ::testing::TestParamInfo<Tampering> &test) { return test.param.name; });

// The format other programs read back after a Wine run.
TEST(PrinterRecordJson, CarriesEveryFieldAndEscapesText) {
  vprinter::Record record;
  record.writes = {8, 64};
  record.announcedLength = 5;
  record.imageChecked = true;
  record.errors.push_back({70, vprinter::ErrorKind::bytesAfterImage, "say \"hi\"\\\n"});
  record.fault = vprinter::Fault::stall;
  record.faultOffset = 72;
  record.firstByteMicros = 9;
  record.lastByteMicros = 1234;
  EXPECT_EQ(vprinter::ToJson(record),
            "{\"writes\":[8,64],\"reads\":[],\"bytesReceived\":0,\"bytesSent\":0,\"queries\":0,"
            "\"switchRequests\":0,\"vendorRequests\":0,\"announcedLength\":5,\"imageBytes\":0,"
            "\"blockSizes\":[],\"imageComplete\":false,\"imageChecked\":true,"
            "\"imageMatches\":false,\"firstMismatch\":null,\"errors\":[{\"offset\":70,"
            "\"kind\":\"bytesAfterImage\",\"detail\":\"say \\\"hi\\\"\\\\\\u000A\"}],"
            "\"errorsDropped\":0,\"fault\":\"stall\",\"faultOffset\":72,"
            "\"firstByteMicros\":9,\"lastByteMicros\":1234}");
}

}  // namespace
