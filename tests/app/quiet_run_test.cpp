// The unattended run: its command line read as Windows splits it, and each
// outcome with its exit code and log, with no page at all.
#include <algorithm>
#include <regex>
#include <string>

#include "app/command_line.h"
#include "app/one_copy.h"
#include "program_fixture.h"
#include "world_files.h"

namespace {

TEST(CommandLineTest, OptionsAsWindowsSplitsAndUnquotesTheLine) {
  struct Case {
    std::u16string line;
    int quiet, acceptLicence, unknownCount;
    const char *firstUnknown;
    int check = 0, log = 0;
    std::u16string logPath = u"";
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
      {u"x.exe -CHECK", 0, 0, 0, "", 1},
      {u"x.exe /check /log \"C:\\some folder\\update.log\"", 0, 0, 0, "", 1, 1,
       u"C:\\some folder\\update.log"},
      {u"x.exe /log /quiet /accept-licence", 0, 1, 0, "", 0, 1, u"/quiet"},
      {u"x.exe /quiet /log", 1, 0, 0, "", 0, 1, u""},
      {u"x.exe /quiet /log a.log -LOG", 1, 0, 0, "", 0, 1, u""},
      {u"x.exe /quiet /log \"\" /logs /log=a.log", 1, 0, 2, "/logs", 0, 1, u""},
      {u"x.exe /quiet /log " + std::u16string(kLogPathSize - 1, u'p'), 1, 0, 0, "", 0, 1,
       std::u16string(kLogPathSize - 1, u'p')},
      {u"x.exe /quiet /log " + std::u16string(kLogPathSize, u'p'), 1, 0, 0, "", 0, 1, u""},
  };
  for (const Case &c : cases) {
    CommandLine command;
    ReadCommandLine(c.line.c_str(), &command);
    std::string line(c.line.begin(), c.line.end());  // for the message; ASCII is enough
    EXPECT_EQ(command.quiet, c.quiet) << line;
    EXPECT_EQ(command.acceptLicence, c.acceptLicence) << line;
    EXPECT_EQ(command.unknownCount, c.unknownCount) << line;
    EXPECT_STREQ(command.firstUnknown, c.firstUnknown) << line;
    EXPECT_EQ(command.check, c.check) << line;
    EXPECT_EQ(command.log, c.log) << line;
    EXPECT_TRUE(command.logPath == c.logPath) << line;
  }
}

using QuietRunTest = ProgramTest;

TEST_F(QuietRunTest, EachOutcomeHasItsExitCodeAndLogLineAndNoPage) {
  enum Printer { kNone, kHealthy, kVanishing, kAnotherCopyRuns };
  struct Case {
    std::u16string arguments;
    Printer printer;
    bool output;  // a standard output given
    long exitCode;
    const char *lastLine;
    bool onlyChecks = false;  // /check: the printer is opened and closed, nothing more
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
      {u" /check", kHealthy, true, 0, "Printer check complete: nothing was sent\\. Exit code 0\\.",
       true},
      {u" -Check /accept-licence", kNone, true, 2,
       "Printer not found \\(failed at device search, error 0\\)\\. Exit code 2\\.", true},
      {u" /check", kAnotherCopyRuns, true, 4, "Another copy .* Exit code 4\\.", true},
      {u" /check /quiet /accept-licence", kHealthy, true, 5,
       "Cannot read the command line: /check and /quiet do not go together\\. Exit code 5\\."},
      {u" /quiet /accept-licence /log C:\\missing\\update.log", kHealthy, true, 5,
       "Cannot open the log file \"C:\\\\missing\\\\update\\.log\" \\(error 3: The system cannot "
       "find the path specified\\): nothing was sent\\. Exit code 5\\."},
      {u" /quiet /accept-licence /log", kHealthy, true, 5,
       "Cannot read the command line: /log needs the path of a file after it .* Exit code 5\\."},
  };
  for (const Case &c : cases) {
    std::string what(c.arguments.begin(), c.arguments.end());
    world::Reset();
    world::SetCommandLine(u"FirmwareUpdater.exe" + c.arguments);
    if (c.output) world::GiveStandardOutput();
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
    if (c.exitCode == 0 && !c.onlyChecks) EXPECT_TRUE(printer->record().imageComplete) << what;
    if (c.exitCode == 1 || c.exitCode >= 4) EXPECT_EQ(printer->record().bytesReceived, 0u) << what;
    if (c.onlyChecks) {
      EXPECT_TRUE(printer->record().writes.empty()) << what;
      EXPECT_TRUE(printer->record().reads.empty()) << what;
    }
    if (c.exitCode == 0 && c.output) {
      EXPECT_NE(log.find("\r\nPrinter found: " + world::InterfacePathOf(device) + "\r\n"),
                std::string::npos);
      EXPECT_EQ(log.find("\r\nBlock 1 sent: 6 %\r\n") != std::string::npos, !c.onlyChecks);
      EXPECT_EQ(log.find("\r\nBlock 16 sent: 100 %\r\n") != std::string::npos, !c.onlyChecks);
    }
    world::DetachAllDevices();
  }
}

// Two runs into one log file, a check and then an update: each line of each,
// in order, after its time, the model's name in UTF-8 where standard output
// has it in the ANSI code page (1252).
TEST_F(QuietRunTest, LogFileKeepsEveryLineOfEveryRunWithItsTime) {
  world::ReplaceString(IDS_MODEL_NAME, 1033, u"Imprimante mod\u00e8le 3350N");
  world::MakeFolder(u"C:\\Some Folder");
  AttachPrinter();
  world::GiveStandardOutput();
  for (const char16_t *arguments : {u" /check", u" /quiet /accept-licence"}) {
    world::SetCommandLine(u"FirmwareUpdater.exe" + std::u16string(arguments) +
                          u" /log \"C:\\Some Folder\\update.log\"");
    Start();
    EXPECT_EQ(program->Result(), 0);
    program.reset();
  }
  std::string file;
  ASSERT_TRUE(world::ReadDiskFile(u"C:\\Some Folder\\update.log", &file));
  std::string expected = world::StandardOutput(), unstamped;
  for (size_t at; (at = expected.find('\xE8')) != std::string::npos;)
    expected.replace(at, 1, "\xC3\xA8");
  const std::regex stamped("[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2} ([^\r\n]*\r\n)");
  for (std::sregex_iterator line(file.begin(), file.end(), stamped), end; line != end; ++line)
    unstamped += (*line)[1];
  EXPECT_EQ(unstamped, expected);
  EXPECT_EQ(file.size(), unstamped.size() + 20 * std::count(file.begin(), file.end(), '\n'));
}

}  // namespace
