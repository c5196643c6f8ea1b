// The unattended run: its command line read as Windows splits it, and each
// outcome with its exit code and log, with no page at all.
#include <atomic>
#include <memory>
#include <regex>
#include <string>

#include "app/command_line.h"
#include "app/one_copy.h"
#include "program_fixture.h"
#include "res/resource_types.h"

namespace {

TEST(CommandLineTest, OptionsAsWindowsSplitsAndUnquotesTheLine) {
  struct Case {
    std::u16string line;
    int quiet, acceptLicence, unknownCount;
    const char *firstUnknown;
  };
  const Case cases[] = {
      {u"FirmwareUpdater.exe", 0, 0, 0, ""},
      {u"FirmwareUpdater.exe /quiet /accept-licence", 1, 1, 0, ""},
      {u"\"C:\\Program Files\\Updater\\FirmwareUpdater.exe\" -QUIET -Accept-License", 1, 1, 0, ""},
      {u"\"C:\\a b\\Updater.exe\"/quiet", 1, 0, 0, ""},
      {u"\"C:\\a \\\" b.exe\" /quiet", 0, 0, 1, "b.exe /quiet"},
      {u"x.exe \t/quiet\t\t\"/accept-licence\"  ", 1, 1, 0, ""},
      {u"x.exe /accept-licence", 0, 1, 0, ""},
      {u"x.exe /quiet /quietly /quiet= -accept-licences", 1, 0, 3, "/quietly"},
      {u"x.exe quiet //quiet --quiet /licence", 0, 0, 4, "quiet"},
      {u"x.exe /quiet \"/accept licence\"", 1, 0, 1, "/accept licence"},
      {u"x.exe /quiet \"\"", 1, 0, 1, ""},
      {u"x.exe /quiet \\\"/force\\\"", 1, 0, 1, "\"/force\""},
      {u"x.exe /quiet a\\\\\"b c\" d\\e", 1, 0, 2, "a\\b c"},
      {u"x.exe /quiet \"unclosed /accept-licence", 1, 0, 1, "unclosed /accept-licence"},
      {u"x.exe /qu\u0130et /\u00e9t\u00e9", 0, 0, 2, "/qu?et"},
      {u"x.exe /quiet /" + std::u16string(100, u'q'), 1, 0, 1,
       "/qqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqq"},
  };
  for (const Case &c : cases) {
    CommandLine command;
    ReadCommandLine(c.line.c_str(), &command);
    std::string line(c.line.begin(), c.line.end());  // for the message; ASCII is enough
    EXPECT_EQ(command.quiet, c.quiet) << line;
    EXPECT_EQ(command.acceptLicence, c.acceptLicence) << line;
    EXPECT_EQ(command.unknownCount, c.unknownCount) << line;
    EXPECT_STREQ(command.firstUnknown, c.firstUnknown) << line;
  }
}

using QuietRunTest = ProgramTest;

TEST_F(QuietRunTest, EachOutcomeHasItsExitCodeAndLogLineAndNoPage) {
  enum Printer { kNone, kHealthy, kVanishing, kAnotherCopyRuns };
  // Whether or not a printer is there: this copy can never succeed.
  const char *kDamagedLine =
      "This copy of the updater is damaged: nothing was sent; replace the file\\. Exit code 7\\.";
  struct Case {
    std::u16string arguments;
    Printer printer;
    bool output;  // a standard output given
    long exitCode;
    const char *lastLine;
    bool damaged = false;  // the digest stored in the program is not its image's
  };
  const Case cases[] = {
      {u" /quiet /accept-licence", kHealthy, true, 0,
       "Firmware transfer complete\\. Exit code 0\\."},
      {u" /Quiet -accept-licence", kHealthy, false, 0, ""},
      {u" /quiet", kHealthy, true, 1,
       "Licence not accepted: nothing was sent\\. .* Exit code 1\\."},
      {u" /quiet /accept-licence", kNone, true, 2,
       "Printer not found \\(failed at device search, error 0\\)\\. Exit code 2\\."},
      {u" /quiet /accept-licence", kVanishing, true, 3,
       "Transfer failed at write block 7: .+ \\(error [0-9]+\\)\\. Exit code 3\\."},
      {u" /quiet /accept-licence", kAnotherCopyRuns, true, 4, "Another copy .* Exit code 4\\."},
      {u" /accept-licence /quiet /?", kHealthy, true, 5,
       "Cannot read the command line: unknown argument \"/\\?\" .* Exit code 5\\."},
      {u" /quiet /accept-licence", kHealthy, true, 7, kDamagedLine, true},
      {u" /quiet /accept-licence", kNone, true, 7, kDamagedLine, true},
  };
  for (const Case &c : cases) {
    std::string what(c.arguments.begin(), c.arguments.end());
    world::Reset();
    world::SetCommandLine(u"FirmwareUpdater.exe" + c.arguments);
    if (c.output) world::GiveStandardOutput();
    for (WORD language : {WORD(1033), WORD(1041)})
      if (c.damaged)
        world::ReplaceResource(kFirmwareDigestResourceType, MAKEINTRESOURCEA(IDR_FIRMWARE_DIGEST),
                               language, std::vector<BYTE>(32));
    vprinter::PrinterConfig config;
    if (c.printer == kVanishing) config.disconnectAfterBytes = 400000;
    world::DeviceId device = c.printer == kNone ? 0 : AttachPrinter(config);
    OneCopyGuard other = {};
    if (c.printer == kAnotherCopyRuns) ASSERT_TRUE(TakeOneCopyGuard(&other));
    Start();
    EXPECT_EQ(program->Result(), c.exitCode) << what;
    program.reset();
    ReleaseOneCopyGuard(&other);

    EXPECT_TRUE(world::PageHistory().empty()) << what << ": a quiet run shows no page";
    EXPECT_FALSE(world::SystemKeptAwake()) << what;
    std::string log = world::StandardOutput();
    std::string last = log.substr(log.rfind('\n', log.size() - 2) + 1);
    EXPECT_TRUE(
        std::regex_match(last, std::regex(std::string(c.lastLine) + (c.output ? "\r\n" : ""))))
        << what << ": " << log;
    if (c.printer == kNone) continue;
    if (c.exitCode == 0) EXPECT_TRUE(printer->record().imageComplete) << what;
    if (c.exitCode == 1 || c.exitCode >= 4) EXPECT_EQ(printer->record().bytesReceived, 0u) << what;
    if (c.exitCode == 0 && c.output) {
      EXPECT_NE(log.find("\r\nPrinter found: " + world::InterfacePathOf(device) + "\r\n"),
                std::string::npos);
      EXPECT_NE(log.find("\r\nBlock 1 sent: 6 %\r\n"), std::string::npos);
      EXPECT_NE(log.find("\r\nBlock 16 sent: 100 %\r\n"), std::string::npos);
    }
    world::DetachAllDevices();
  }
}

}  // namespace

namespace {

// Events raised in the console the program was started from while each block
// goes to the printer; how many of them would have ended the program.
class PrinterRaisingConsoleEvents : public vprinter::SimPrinter {
 public:
  world::IoOutcome Write(int pipe, const BYTE *data, DWORD size) override {
    for (DWORD event : {CTRL_C_EVENT, CTRL_BREAK_EVENT, CTRL_CLOSE_EVENT})
      if (world::RaiseConsoleEvent(event)) ++reached;
    return SimPrinter::Write(pipe, data, size);
  }
  std::atomic<int> reached{0};
};

// Ctrl+C, Ctrl+Break and closing the console window would each end a run that
// logs to its starter's console with the image half-sent: none reaches it
// while it writes to the printer, and the whole log still reaches the console.
TEST_F(QuietRunTest, NoConsoleEventReachesARunWhileItWritesToThePrinter) {
  auto raising = std::make_shared<PrinterRaisingConsoleEvents>();
  world::PrintClassDevice device;
  device.hardwareIds = {"USB\\VID_7C5E&PID_4A86"};
  device.endpoint = raising;
  world::AttachPrintClassDevice(device);
  world::SetCommandLine(u"FirmwareUpdater.exe /quiet /accept-licence");
  world::GiveConsole();
  Start();
  EXPECT_EQ(program->Result(), 0);
  EXPECT_EQ(raising->reached, 0);
  EXPECT_TRUE(raising->record().imageComplete);
  std::string log = world::ConsoleOutput();
  EXPECT_NE(log.find("\r\nBlock 16 sent: 100 %\r\nFirmware transfer complete. Exit code 0.\r\n"),
            std::string::npos)
      << log;
}

}  // namespace
