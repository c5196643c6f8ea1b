// The unattended run: its command line read as Windows splits it, and each
// outcome with its exit code and log, with no page at all.
#include <algorithm>
#include <atomic>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/one_copy.h"
#include "program_fixture.h"
#include "res/resource_types.h"
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
  // Whether or not a printer is there: this copy can never succeed.
  const char *kDamagedLine =
      "This copy of the updater is damaged: nothing was sent; replace the file\\. Exit code 7\\.";
  struct Case {
    std::u16string arguments;
    Printer printer;
    bool output;  // a standard output given
    long exitCode;
    const char *lastLine;
    bool damaged = false;     // the digest stored in the program is not its image's
    bool onlyChecks = false;  // /check: the printer is opened and closed, nothing more
  };
  const Case cases[] = {
      {u" /quiet /accept-licence", kHealthy, true, 0,
       "Firmware transfer complete\\. Exit code 0\\."},
      {u" /Quiet -accept-licence", kHealthy, false, 0, ""},
      {u" /quiet", kHealthy, true, 1,
       "Licence not accepted: nothing was sent\\. .* Exit code 1\\."},
      {u" /quiet /accept-licence", kNone, true, 2,
       "Printer not found \\(failed at device search: no printer-class device present\\)\\. "
       "Exit code 2\\."},
      {u" /quiet /accept-licence", kVanishing, true, 3,
       "Transfer failed at write block 7: write \\(error 1167: The device is not "
       "connected\\.\\)\\. "
       "Exit code 3\\."},
      {u" /quiet /accept-licence", kAnotherCopyRuns, true, 4, "Another copy .* Exit code 4\\."},
      {u" /accept-licence /quiet /?", kHealthy, true, 5,
       "Cannot read the command line: unknown argument \"/\\?\" .* Exit code 5\\."},
      {u" /quiet /accept-licence", kHealthy, true, 7, kDamagedLine, true},
      {u" /quiet /accept-licence", kNone, true, 7, kDamagedLine, true},
      {u" /check", kHealthy, true, 0, "Printer check complete: nothing was sent\\. Exit code 0\\.",
       false, true},
      {u" -Check /accept-licence", kNone, true, 2,
       "Printer not found \\(failed at device search: no printer-class device present\\)\\. "
       "Exit code 2\\.",
       false, true},
      {u" /check", kAnotherCopyRuns, true, 4, "Another copy .* Exit code 4\\.", false, true},
      {u" /check /quiet /accept-licence", kHealthy, true, 5,
       "Cannot read the command line: /check and /quiet do not go together\\. Exit code 5\\."},
      {u" /quiet /accept-licence /log C:\\missing\\update.log", kHealthy, true, 5,
       "Cannot open the log file \"C:\\\\missing\\\\update\\.log\" \\(error 3: The system cannot "
       "find the path specified\\.\\): nothing was sent\\. Exit code 5\\."},
      {u" /quiet /accept-licence /log", kHealthy, true, 5,
       "Cannot read the command line: /log needs the path of a file after it .* Exit code 5\\."},
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
    if (c.exitCode == 0 && !c.onlyChecks) EXPECT_TRUE(printer->record().imageComplete) << what;
    if (c.exitCode == 1 || c.exitCode >= 4) EXPECT_EQ(printer->record().bytesReceived, 0u) << what;
    // Not even the printer's id is asked for.
    for (world::DeviceCall call : {world::DeviceCall::WriteFile, world::DeviceCall::ReadFile,
                                   world::DeviceCall::DeviceIoControl})
      if (c.onlyChecks) EXPECT_EQ(world::DeviceCallsMade(call), 0u) << what;
    if (c.exitCode == 0 && c.output) {
      EXPECT_NE(log.find("\r\nPrinter found: " + world::InterfacePathOf(device) + "\r\n"),
                std::string::npos);
      EXPECT_EQ(log.find("\r\nBlock 1 sent: 6 %\r\n") != std::string::npos, !c.onlyChecks);
      EXPECT_EQ(log.find("\r\nBlock 16 sent: 100 %\r\n") != std::string::npos, !c.onlyChecks);
    }
    world::DetachAllDevices();
  }
}

// The runs below: one quiet run each on a machine the case builds.
class QuietReasonsTest : public ProgramTest {
 protected:
  // The still-image build finds its printer by USB ids among the Usbscan devices.
  static void UseStillImageBuild() {
    for (WORD language : {WORD(1033), WORD(1041)}) {
      world::ReplaceString(IDS_HARDWARE_ID, language, u"USB\\VID_7C5E&PID_4A90");
      world::ReplaceString(IDS_ACCESS_METHOD, language, u"Usbscan");
    }
  }

  static void AttachOther(const std::string &hardwareId) {
    world::PrintClassDevice device;
    if (!hardwareId.empty()) device.hardwareIds = {hardwareId};
    device.endpoint = std::make_shared<vprinter::SimPrinter>();
    world::AttachPrintClassDevice(device);
  }

  // FirmwareUpdater.exe /quiet /accept-licence to its end: its exit code, its
  // log (on standard output, or as the starter's console shows it), and the
  // model time it took.
  enum Output { kStandardOutput, kConsole };
  long RunQuietly(std::string *log, DWORD *tookMs = nullptr, Output output = kStandardOutput) {
    world::SetCommandLine(u"FirmwareUpdater.exe /quiet /accept-licence");
    if (output == kConsole) {
      world::GiveConsole();
    } else {
      world::GiveStandardOutput();
    }
    DWORD started = GetTickCount();
    Start();
    long code = program->Result();
    if (tookMs != nullptr) *tookMs = GetTickCount() - started;
    program.reset();
    *log = output == kConsole ? world::ConsoleOutput() : world::StandardOutput();
    return code;
  }

  static std::string LastLine(const std::string &log) {
    return log.substr(log.rfind('\n', log.size() - 2) + 1);
  }
};

using world::DeviceCall;
using Action = world::DeviceFault::Action;
const world::DeviceFault kNoFault = {DeviceCall::CreateFileA, Action::fail, 0, 0, 1, 0, 0};

TEST_F(QuietReasonsTest, AFailureSaysWhyInTheSystemsWordsAndANotFoundWhatTheSearchSaw) {
  enum Machine { kNoDevice, kTwoOthers, kTenOthers, kOurs, kOtherStillImage };
  struct Case {
    WORD language;
    Machine machine;
    world::DeviceFault fault;
    long exitCode;
    std::string reason;  // what follows "failed at "
  };
  std::string tenIds = "(no hardware ids)";
  for (int i = 1; i < 8; ++i) tenIds += ", USB\\VID_100" + std::to_string(i) + "&PID_0001";
  const world::DeviceFault denied = {DeviceCall::SetupDiGetClassDevsA, Action::fail,
                                     ERROR_ACCESS_DENIED};
  const world::DeviceFault notReady = {DeviceCall::WriteFile, Action::fail, ERROR_NOT_READY};
  const Case cases[] = {
      {1033, kNoDevice, kNoFault, 2, "device search: no printer-class device present"},
      {1033, kTwoOthers, kNoFault, 2,
       "device search: 2 printer-class devices present, none with the id "
       "USB\\VID_7C5E&PID_4A86: USB\\VID_04B8&PID_0005&REV_0100, USB\\VID_03F0&PID_2B17"},
      {1033, kTenOthers, kNoFault, 2,
       "device search: 10 printer-class devices present, none with the id "
       "USB\\VID_7C5E&PID_4A86: " +
           tenIds + " and 2 more"},
      {1033, kOurs, denied, 2,
       "device search: SetupDiGetClassDevsA failed with error 5: Access is denied."},
      {1041, kOurs, denied, 2,
       "device search: SetupDiGetClassDevsA failed with error 5: "
       "\u30a2\u30af\u30bb\u30b9\u304c\u62d2\u5426\u3055\u308c\u307e\u3057\u305f\u3002"},
      {1033,
       kOurs,
       {DeviceCall::SetupDiGetClassDevsA, Action::fail, 0x20000001},
       2,
       "device search: SetupDiGetClassDevsA failed with error 536870913"},
      {1033,
       kOurs,
       {DeviceCall::CreateFileA, Action::fail, ERROR_ACCESS_DENIED},
       2,
       "open (error 5: Access is denied.)"},
      {1033, kOurs, notReady, 3, "write header: write (error 21: The device is not ready.)"},
      {1041, kOurs, notReady, 3,
       "write header: write (error 21: "
       "\u30c7\u30d0\u30a4\u30b9\u306e\u6e96\u5099\u304c\u3067\u304d\u3066\u3044\u307e"
       "\u305b\u3093\u3002)"},
      {1033, kOurs, {DeviceCall::WriteFile, Action::block}, 3, "write header: time-out"},
      {1033, kOtherStillImage, kNoFault, 2,
       "device search: 1 still-image device present, not with the id USB\\VID_7C5E&PID_4A90: "
       "USB\\VID_04B8&PID_0110"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.reason);
    // A console shows the same characters, whatever its code page.
    for (Output output : {kStandardOutput, kConsole}) {
      SCOPED_TRACE(output == kConsole ? "the starter's console" : "standard output");
      world::Reset();
      world::SetLanguage(c.language);
      if (c.machine == kTwoOthers) {
        AttachOther("USB\\VID_04B8&PID_0005&REV_0100");
        AttachOther("USB\\VID_03F0&PID_2B17");
      }
      if (c.machine == kTenOthers) {
        AttachOther("");
        for (int i = 1; i < 10; ++i) AttachOther("USB\\VID_100" + std::to_string(i) + "&PID_0001");
      }
      if (c.machine == kOurs) AttachPrinter();
      if (c.machine == kOtherStillImage) {
        UseStillImageBuild();
        world::StillImageDevice device;
        device.vendorId = 0x04B8;
        device.productId = 0x0110;
        device.endpoint = std::make_shared<vprinter::SimPrinter>();
        world::AttachStillImageDevice(device);
      }
      world::InjectDeviceFault(c.fault);
      std::string log;
      EXPECT_EQ(RunQuietly(&log, nullptr, output), c.exitCode);
      std::string line = c.exitCode == 2 ? "Printer not found (failed at " + c.reason + ")."
                                         : "Transfer failed at " + c.reason + ".";
      EXPECT_EQ(LastLine(log), line + " Exit code " + std::to_string(c.exitCode) + ".\r\n");
      EXPECT_EQ(log.find("error 0"), std::string::npos) << log;
      std::vector<std::string> told = world::DebugOutput();
      EXPECT_TRUE(std::any_of(told.begin(), told.end(), [&](const std::string &text) {
        return text.rfind("FirmwareUpdater: failed at " + c.reason, 0) == 0;
      })) << "the debugger is told the same";
      world::DetachAllDevices();
    }
  }
}

// A printer that notes how much room each control request gives its reply.
class RoomNotingPrinter : public vprinter::SimPrinter {
 public:
  world::IoOutcome Control(int pipe, DWORD code, const BYTE *in, DWORD inSize, BYTE *out,
                           DWORD outSize) override {
    room = std::max<DWORD>(room, outSize);
    return SimPrinter::Control(pipe, code, in, inSize, out, outSize);
  }
  std::atomic<DWORD> room{0};
};

TEST_F(QuietReasonsTest, ThePrinterSaysWhatItIsAndNothingDecidesOnIt) {
  struct Case {
    const char *what;
    bool stillImage;
    std::string id;  // what the driver answers with; empty: the printer refuses the request
    bool neverAnswers;
    std::string says;
    DWORD roomAsked;  // by a request that reached the printer
  };
  const Case cases[] = {
      {"an id", false, "MFG:TORVAEL;MDL:prismatone 3350N;CMD:PJL,PCL;", false,
       "MFG:TORVAEL;MDL:prismatone 3350N;CMD:PJL,PCL;", 0},
      {"bytes outside printable ASCII", false,
       std::string("MFG:T\xC3\xB6rvael;\\;\x01\r\n\x7F\0\0", 19), false,
       "MFG:T\\xC3\\xB6rvael;\\x5C;\\x01\\x0D\\x0A\\x7F", 0},
      {"longer than a line shows", false, std::string(5000, 'A'), false,
       std::string(997, 'A') + "...", 0},
      {"refused", false, "", false, "nothing (error 50: The request is not supported.)", 4094},
      {"a still-image printer", true, "", false,
       "nothing (a still-image printer's driver cannot ask for it)", 0},
      {"never answers", false, "MFG:TORVAEL;", true, "nothing (no answer within 30 s)", 0},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    world::Reset();
    auto noting = std::make_shared<RoomNotingPrinter>();
    printer = noting;
    world::DeviceId device = 0;
    if (c.stillImage) {
      UseStillImageBuild();
      world::StillImageDevice still;
      still.vendorId = 0x7C5E;
      still.productId = 0x4A90;
      still.endpoint = printer;
      world::AttachStillImageDevice(still);
    } else {
      world::PrintClassDevice ours;
      ours.hardwareIds = {"USB\\VID_7C5E&PID_4A86"};
      ours.ieee1284Id = c.id;
      ours.endpoint = printer;
      device = world::AttachPrintClassDevice(ours);
    }
    if (c.neverAnswers) world::InjectDeviceFault({DeviceCall::DeviceIoControl, Action::block});
    std::string log;
    DWORD took = 0;
    EXPECT_EQ(RunQuietly(&log, &took), 0);
    EXPECT_TRUE(printer->record().imageComplete);
    std::string found = c.stillImage ? "\\\\.\\Usbscan0" : world::InterfacePathOf(device);
    EXPECT_NE(log.find("\r\nPrinter found: " + found + "\r\nPrinter says: " + c.says + "\r\n"),
              std::string::npos)
        << log;
    EXPECT_EQ(noting->room, c.roomAsked);
    // The time-out and a cancellation; without the wait, the transfer's own second.
    DWORD idWait = c.neverAnswers ? 30000 : 0;
    EXPECT_GE(took, idWait);
    EXPECT_LT(took, idWait + 3000);
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

// Two runs into one log file, a check and then an update: each line of each,
// in order, after its time, as standard output has it (UTF-8, the model's
// name too, whatever the ANSI code page).
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
  std::string file, unstamped;
  ASSERT_TRUE(world::ReadDiskFile(u"C:\\Some Folder\\update.log", &file));
  const std::regex stamped("[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2} ([^\r\n]*\r\n)");
  for (std::sregex_iterator line(file.begin(), file.end(), stamped), end; line != end; ++line)
    unstamped += (*line)[1];
  EXPECT_EQ(unstamped, world::StandardOutput());
  EXPECT_EQ(file.size(), unstamped.size() + 20 * std::count(file.begin(), file.end(), '\n'));
  EXPECT_EQ(
      file.find("Firmware update for Imprimante mod\xC3\xA8le 3350N (V1.05), printer check.\r\n"),
      20u);
}

}  // namespace
