// The mode-switch exchange as the printer plays it, and what it makes of
// frames that are wrong.
#include "printer_host.h"

namespace {

using host::Bytes;
using vprinter::ErrorKind;
using vprinter::PrinterConfig;
using vprinter::PrinterEngine;

const std::vector<Bytes> kQuery = {host::Query(), host::QueryPayload()};
const std::vector<Bytes> kSwitch = {host::Switch(), host::SwitchPayload()};

PrinterConfig AskingForSwitch(bool asks) {
  PrinterConfig config;
  config.asksForSwitch = asks;
  return config;
}

TEST(PrinterExchange, ReplyWithoutSwitchThenImage) {
  PrinterEngine printer(AskingForSwitch(false));
  EXPECT_TRUE(host::Read(printer, 1).empty()) << "no reply before a query";
  host::WriteAll(printer, kQuery);
  EXPECT_EQ(host::Read(printer, 8), (Bytes{0x02, 0x02, 0x00, 0x00, 0x0A, 0x00, 0x00, 0x00}));
  EXPECT_EQ(host::Read(printer, 10), Bytes(10, 0));
  EXPECT_TRUE(host::Read(printer, 1).empty());
  host::WriteAll(printer, {host::ImageHeader(0)});

  const vprinter::Record &record = printer.record();
  EXPECT_EQ(record.queries, 1u);
  EXPECT_EQ(record.switchRequests, 0u);
  EXPECT_EQ(record.reads, (std::vector<size_t>{1, 8, 10, 1}));
  EXPECT_TRUE(record.imageComplete && record.errors.empty());
}

TEST(PrinterExchange, ReplyAskingForSwitchCutByteByByte) {
  PrinterEngine printer(AskingForSwitch(true));
  for (const Bytes &frame : kQuery)
    for (uint8_t byte : frame) host::WriteAll(printer, {{byte}});
  Bytes reply;
  for (int i = 0; i < 18; ++i) reply.push_back(host::Read(printer, 1).at(0));
  EXPECT_EQ(reply[4], 10);
  EXPECT_EQ(reply[16], 0x01);
  for (const Bytes &frame : kSwitch)
    for (uint8_t byte : frame) host::WriteAll(printer, {{byte}});
  EXPECT_TRUE(host::Read(printer, 1).empty()) << "the switch request has no reply";
  host::WriteAll(printer, {host::ImageHeader(0)});
  EXPECT_EQ(printer.record().switchRequests, 1u);
  EXPECT_TRUE(printer.record().errors.empty());
}

// Frame byte 16 is 1, but the header announces 200 payload bytes of which 9 come.
TEST(PrinterExchange, RawReplyIsGivenAsItIsAndAsksForNothingUnlessReadWhole) {
  PrinterConfig config;
  config.rawReply =
      Bytes{0x02, 0x02, 0x00, 0x00, 0xC8, 0x00, 0x00, 0x00, 0, 0, 0, 0, 0, 0, 0, 0, 1};
  PrinterEngine printer(config);
  host::WriteAll(printer, kQuery);
  EXPECT_EQ(host::Read(printer, 8)[4], 0xC8);
  EXPECT_EQ(host::Read(printer, 200).size(), 9u);
  EXPECT_TRUE(host::Read(printer, 1).empty());
  host::WriteAll(printer, {host::ImageHeader(0)});
  EXPECT_TRUE(printer.record().errors.empty()) << "no switch was due";
}

TEST(PrinterExchange, ShortReplyStopsAtItsLimitAndAsksForNothing) {
  PrinterConfig config = AskingForSwitch(true);
  config.replyLimit = 12;
  PrinterEngine printer(config);
  host::WriteAll(printer, kQuery);
  EXPECT_EQ(host::Read(printer, 18).size(), 12u);
  host::WriteAll(printer, kSwitch);
  ASSERT_EQ(printer.record().errors.size(), 1u);
  EXPECT_EQ(printer.record().errors[0].kind, ErrorKind::unaskedSwitch);
}

// Each case: what the host writes, to a printer that asks for the switch, and
// the one error the printer must record.
struct WrongFrames {
  const char *name;
  std::vector<Bytes> writes;
  ErrorKind kind;
  uint64_t offset;
};

Bytes With(Bytes frame, size_t index, uint8_t value) {
  frame[index] = value;
  return frame;
}

// A 4-byte image behind its header, and `extra` bytes too many.
Bytes WholeImage(size_t extra) {
  Bytes stream = host::ImageHeader(4);
  stream.insert(stream.end(), 4 + extra, 7);
  return stream;
}

class PrinterWrongFrame : public ::testing::TestWithParam<WrongFrames> {};

TEST_P(PrinterWrongFrame, IsRecordedWhereItStarts) {
  PrinterEngine printer(AskingForSwitch(true));
  host::WriteAll(printer, GetParam().writes);
  const vprinter::Record &record = printer.record();
  ASSERT_EQ(record.errors.size(), 1u) << vprinter::ToJson(record);
  EXPECT_EQ(record.errors[0].kind, GetParam().kind);
  EXPECT_EQ(record.errors[0].offset, GetParam().offset);
  EXPECT_TRUE(printer.Settled());
}

// clang-format off
const Bytes kQ = host::Query(), kQP = host::QueryPayload(), kS = host::Switch();
INSTANTIATE_TEST_SUITE_P(Frames, PrinterWrongFrame, ::testing::Values(
  WrongFrames{"DataBeforeHeader", {{0x55, 0x02, 0xFF}}, ErrorKind::unknownFrame, 0},
  WrongFrames{"UnknownCode", {kQ, kQP, {0x02, 0x07}}, ErrorKind::unknownFrame, 16},
  WrongFrames{"QueryPayloadByte", {kQ, With(kQP, 2, 0x02)}, ErrorKind::badQuery, 10},
  WrongFrames{"QueryShortPayload", {With(kQ, 4, 7), host::Slice(kQP, 0, 7)}, ErrorKind::badQuery, 4},
  WrongFrames{"OversizedCommand", {With(kQ, 4, 57)}, ErrorKind::oversizedCommand, 0},
  WrongFrames{"SwitchPayloadByte", {kQ, kQP, kS, With(host::SwitchPayload(), 8, 0x57)},
              ErrorKind::badSwitchRequest, 32},
  WrongFrames{"UnaskedSwitch", {kS, host::SwitchPayload()}, ErrorKind::unaskedSwitch, 0},
  WrongFrames{"HeaderBeforeAskedSwitch", {kQ, kQP, host::ImageHeader(0)}, ErrorKind::missingSwitch, 16},
  WrongFrames{"HeaderFormatByte", {With(host::ImageHeader(0), 2, 5)}, ErrorKind::badHeader, 2},
  WrongFrames{"HeaderReservedByte", {With(host::ImageHeader(0), 40, 1)}, ErrorKind::badHeader, 40},
  WrongFrames{"BytesAfterImage", {WholeImage(0), {9}}, ErrorKind::bytesAfterImage, 68},
  WrongFrames{"BytesAfterImageInItsLastWrite", {WholeImage(1)}, ErrorKind::bytesAfterImage, 68}),
  [](const ::testing::TestParamInfo<WrongFrames> &test) { return test.param.name; });
// clang-format on

TEST(PrinterWrongFrames, NextWriteStartsAfresh) {
  PrinterEngine printer{PrinterConfig()};
  host::WriteAll(printer, {{0x55, 0x02, 0xFF, 0x04}, host::ImageHeader(0)});
  EXPECT_EQ(printer.record().errors.size(), 1u);
  EXPECT_TRUE(printer.record().imageComplete);
}

TEST(PrinterWrongFrames, EndlessGarbageKeepsOnlyTheFirstErrors) {
  PrinterEngine printer{PrinterConfig()};
  host::WriteAll(printer, std::vector<Bytes>(250, Bytes{0x00}));
  EXPECT_EQ(printer.record().errors.size(), 100u);
  EXPECT_EQ(printer.record().errorsDropped, 150u);
  EXPECT_EQ(printer.record().errors.back().offset, 99u);
}

}  // namespace
