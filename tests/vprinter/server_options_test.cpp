// The server's command line: every option reaches the printer it describes,
// and a line a script got wrong is refused rather than half taken.
#include "server_options.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

using vprinter::ServerOptions;

ServerOptions Parsed(const std::vector<std::string> &args) {
  ServerOptions options;
  std::string error;
  EXPECT_TRUE(vprinter::ParseServerOptions(args, &options, &error)) << error;
  return options;
}

std::string Refusal(const std::vector<std::string> &args) {
  ServerOptions options;
  std::string error;
  EXPECT_FALSE(vprinter::ParseServerOptions(args, &options, &error));
  return error;
}

TEST(ServerOptions, EachOptionReachesThePrinter) {
  ServerOptions options = Parsed({"--link",
                                  "/p/usb#x",
                                  "--asks-for-switch",
                                  "--raw-reply",
                                  "02020000000000FF",
                                  "--reply-limit",
                                  "8",
                                  "--stall-after",
                                  "18446744073709551615",
                                  "--fail-after",
                                  "0",
                                  "--disconnect-after=64",
                                  "--bytes-per-second",
                                  "4294967295",
                                  "--record",
                                  "r.json",
                                  "--ready-file=ready",
                                  "--exit-when-settled",
                                  "--expect-image",
                                  "image.bin"});
  EXPECT_EQ(options.linkPath, "/p/usb#x");
  EXPECT_TRUE(options.config.asksForSwitch);
  EXPECT_EQ(options.config.rawReply, (std::vector<uint8_t>{2, 2, 0, 0, 0, 0, 0, 0xFF}));
  EXPECT_EQ(options.config.replyLimit, 8u);
  EXPECT_EQ(options.config.stallAfterBytes, UINT64_MAX);
  EXPECT_EQ(options.config.failAfterBytes, 0u);
  EXPECT_EQ(options.config.disconnectAfterBytes, 64u);
  EXPECT_EQ(options.config.bytesPerSecond, UINT32_MAX);
  EXPECT_EQ(options.recordPath, "r.json");
  EXPECT_EQ(options.readyPath, "ready");
  EXPECT_TRUE(options.exitWhenSettled);
  EXPECT_EQ(options.expectImagePath, "image.bin");
}

TEST(ServerOptions, AnEmptyRawReplyIsAPrinterThatAnswersNothing) {
  ServerOptions options = Parsed({"--raw-reply", "", "--link", "l"});
  ASSERT_TRUE(options.config.rawReply);
  EXPECT_TRUE(options.config.rawReply->empty());
  EXPECT_FALSE(Parsed({"--link", "l"}).config.rawReply) << "left out: the healthy reply";
}

TEST(ServerOptions, AWrongLineIsRefusedSayingWhy) {
  struct {
    std::vector<std::string> args;
    const char *said;
  } cases[] = {
      {{}, "--link PATH is required"},
      {{"--link"}, "--link needs a path"},
      {{"--link", ""}, "--link needs a path"},
      {{"--link", "l", "extra"}, "unexpected argument \"extra\""},
      {{"--link", "l", "--stall"}, "unknown option --stall"},
      {{"--link", "l", "--link", "m"}, "--link given twice"},
      {{"--link", "l", "--asks-for-switch=1"}, "--asks-for-switch takes no value"},
      {{"--link", "l", "--stall-after", "-1"}, "--stall-after needs a byte count, not \"-1\""},
      {{"--link", "l", "--fail-after", "1e3"}, "--fail-after needs a byte count"},
      {{"--link", "l", "--stall-after", "18446744073709551616"}, "--stall-after needs"},
      {{"--link", "l", "--bytes-per-second", "4294967296"}, "--bytes-per-second needs"},
      {{"--link", "l", "--reply-limit", " 8"}, "--reply-limit needs"},
      {{"--link", "l", "--raw-reply", "020"}, "--raw-reply needs pairs of hex digits"},
      {{"--link", "l", "--raw-reply", "0x02"}, "--raw-reply needs"},
  };
  for (const auto &bad : cases) {
    std::string error = Refusal(bad.args);
    EXPECT_NE(error.find(bad.said), std::string::npos) << "\"" << error << "\" lacks " << bad.said;
  }
}

TEST(ServerOptions, TheExpectedImageIsReadWholeAndMustHoldBytes) {
  char pattern[] = "/tmp/vprinter-image-XXXXXX";
  int fd = mkstemp(pattern);
  ASSERT_GE(fd, 0);
  close(fd);
  std::string path = pattern;
  std::string error;

  ServerOptions empty = Parsed({"--link", "l", "--expect-image", path});
  EXPECT_FALSE(vprinter::LoadExpectedImage(&empty, &error))
      << "an empty file compares with nothing";
  EXPECT_NE(error.find("empty"), std::string::npos);

  std::vector<uint8_t> image(70000);
  for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<uint8_t>(i * 7);
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char *>(image.data()),
             static_cast<std::streamsize>(image.size()));
  ServerOptions options = Parsed({"--link", "l", "--expect-image", path});
  ASSERT_TRUE(vprinter::LoadExpectedImage(&options, &error)) << error;
  EXPECT_EQ(options.config.expectedImage, image);
  std::remove(path.c_str());

  ServerOptions missing = Parsed({"--link", "l", "--expect-image", path});
  EXPECT_FALSE(vprinter::LoadExpectedImage(&missing, &error));
  EXPECT_NE(error.find(path), std::string::npos);
}

}  // namespace
