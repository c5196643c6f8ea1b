// The whole program as its user meets it: the licence, the main page, the
// transfer and its outcome, against the virtual printer.
#include <memory>
#include <string>

#include "program_fixture.h"
#include "res/resource_types.h"

namespace {

const char kCaption[] = "TORVAEL prismatone 3350N (V1.05)";

using DialogFlowTest = ProgramTest;

TEST_F(DialogFlowTest, LicencePageOffersTheAgreementWithRefusalSelected) {
  Start();
  HWND licence = world::WaitForPage(IDD_LICENSE);
  ASSERT_NE(licence, nullptr);
  EXPECT_EQ(world::Caption(licence), kCaption);
  EXPECT_EQ(world::ControlText(licence, IDC_LICENSE_PROMPT), Text(IDS_LICENSE_PROMPT));
  EXPECT_EQ(world::ControlText(licence, IDC_REFUSE), Text(IDS_REFUSE));
  EXPECT_EQ(world::ControlText(licence, IDC_ACCEPT), Text(IDS_ACCEPT));
  EXPECT_EQ(world::ControlText(licence, IDOK), "OK");
  std::string agreement = world::ControlText(licence, IDC_LICENSE_TEXT);
  EXPECT_EQ(agreement.size(), 4657u);
  EXPECT_EQ(agreement.substr(agreement.size() - 2), "\r\n");
  EXPECT_TRUE(world::IsChecked(licence, IDC_REFUSE));
  EXPECT_FALSE(world::IsChecked(licence, IDC_ACCEPT));

  EXPECT_TRUE(world::Press(licence, IDOK));
  EXPECT_EQ(program->Result(), 0);
  EXPECT_EQ(world::LastPage(IDD_MAIN), nullptr) << "refusing must not show the main page";
}

TEST_F(DialogFlowTest, EscapeAndCloseBoxEndTheProgramWithoutTheMainPage) {
  for (bool closeBox : {false, true}) {
    Start();
    HWND licence = world::WaitForPage(IDD_LICENSE);
    EXPECT_TRUE(world::Press(licence, IDC_ACCEPT));
    EXPECT_TRUE(closeBox ? world::PressCloseBox(licence) : world::PressEscape(licence));
    EXPECT_EQ(program->Result(), 0);
    program.reset();
  }
  EXPECT_EQ(world::LastPage(IDD_MAIN), nullptr);
}

TEST_F(DialogFlowTest, OkWithNeitherChoiceSelectedDoesNothing) {
  Start();
  HWND licence = world::WaitForPage(IDD_LICENSE);
  SendDlgItemMessageA(licence, IDC_REFUSE, BM_SETCHECK, BST_UNCHECKED, 0);
  EXPECT_TRUE(world::Press(licence, IDOK));
  EXPECT_TRUE(world::IsVisible(licence)) << "the page must stay";
  EXPECT_TRUE(world::Press(licence, IDC_ACCEPT));
  EXPECT_FALSE(world::IsChecked(licence, IDC_REFUSE));
  EXPECT_TRUE(world::Press(licence, IDOK));
  HWND main = world::WaitForPage(IDD_MAIN);
  ASSERT_NE(main, nullptr);
  EXPECT_TRUE(world::Press(main, IDCANCEL));
  EXPECT_EQ(program->Result(), 0);
}

TEST_F(DialogFlowTest, PrinterFoundThenTransferredLeavesOnlyExit) {
  vprinter::PrinterConfig config;
  AttachPrinter(config);
  HWND main = Accept();
  ASSERT_NE(main, nullptr);
  EXPECT_EQ(world::Caption(main), kCaption);
  EXPECT_EQ(world::ControlText(main, IDC_MESSAGE), Text(IDS_READY));
  EXPECT_EQ(world::ControlText(main, IDOK), "Transfer");
  EXPECT_EQ(world::ControlText(main, IDCANCEL), "Exit");

  TransferFrom(main);
  HWND progress = world::LastPage(IDD_PROGRESS);
  EXPECT_EQ(world::TextHistory(progress, 0).back(), kCaption);
  EXPECT_EQ(world::TextHistory(progress, IDC_HEADING).back(), Text(IDS_TRANSFERRING));
  EXPECT_TRUE(printer->record().imageComplete);
  EXPECT_EQ(world::ControlText(main, IDC_MESSAGE), "Firmware transfer complete. ");
  EXPECT_FALSE(world::IsVisible(main, IDOK));
  EXPECT_FALSE(world::IsEnabled(main, IDOK));
  EXPECT_TRUE(world::IsVisible(main, IDCANCEL));
  EXPECT_TRUE(world::IsEnabled(main));
  EXPECT_TRUE(world::Press(main, IDCANCEL));
  EXPECT_EQ(program->Result(), 0);
}

TEST_F(DialogFlowTest, RetryAfterThePrinterAppearsGoesStraightToTheTransfer) {
  HWND main = Accept();
  ASSERT_NE(main, nullptr);
  EXPECT_EQ(world::ControlText(main, IDC_MESSAGE), Text(IDS_NOT_FOUND));
  EXPECT_EQ(world::ControlText(main, IDOK), "Retry");
  EXPECT_EQ(world::ControlText(main, IDCANCEL), "Exit");

  EXPECT_TRUE(world::Press(main, IDOK));
  EXPECT_EQ(world::ControlText(main, IDC_MESSAGE), Text(IDS_NOT_FOUND)) << "still absent";
  EXPECT_EQ(world::LastPage(IDD_PROGRESS), nullptr);

  AttachPrinter();
  TransferFrom(main);
  EXPECT_TRUE(printer->record().imageComplete);
  std::vector<std::string> messages = world::TextHistory(main, IDC_MESSAGE);
  EXPECT_EQ(std::count(messages.begin(), messages.end(), Text(IDS_READY)), 0)
      << "a retry never passes through the found state";
  EXPECT_EQ(world::ControlText(main, IDC_MESSAGE), "Firmware transfer complete. ");
}

TEST_F(DialogFlowTest, FailedProbeOnTheActionButtonShowsNotFound) {
  world::DeviceId device = AttachPrinter();
  HWND main = Accept();
  EXPECT_EQ(world::ControlText(main, IDOK), "Transfer");
  world::DetachDevice(device);
  EXPECT_TRUE(world::Press(main, IDOK));
  EXPECT_EQ(world::ControlText(main, IDC_MESSAGE), Text(IDS_NOT_FOUND));
  EXPECT_EQ(world::ControlText(main, IDOK), "Retry");
}

TEST_F(DialogFlowTest, MainPageHidesDuringTheTransferAndReturnsWhereItWas) {
  // Slow model time, and a printer that takes nothing: the progress page stays
  // up for 30 model seconds, long enough to look at both pages.
  world::SetClockSpeed(10);
  world::InjectDeviceFault({world::DeviceCall::WriteFile, world::DeviceFault::Action::block,
                            ERROR_GEN_FAILURE, 0, 1, 1});
  AttachPrinter();
  HWND main = Accept();
  RECT before = world::WindowRect(main);
  ASSERT_TRUE(world::Press(main, IDOK));
  HWND progress = world::WaitForPage(IDD_PROGRESS);
  ASSERT_NE(progress, nullptr);
  EXPECT_FALSE(world::IsVisible(main));
  EXPECT_FALSE(world::IsEnabled(main));
  EXPECT_FALSE(world::Press(main, IDCANCEL)) << "a hidden, disabled page takes no input";
  EXPECT_EQ(world::Caption(progress), kCaption);
  EXPECT_TRUE(world::PressEscape(progress));
  EXPECT_FALSE(world::PressAltF4(progress));
  EXPECT_FALSE(world::PressCloseBox(progress));
  EXPECT_TRUE(world::IsVisible(progress)) << "only the transfer ends the progress page";

  ASSERT_TRUE(world::WaitForPageClosed(progress));
  ASSERT_TRUE(world::WaitUntil([&] { return world::IsVisible(main); }));
  RECT after = world::WindowRect(main);
  EXPECT_EQ(after.left, before.left);
  EXPECT_EQ(after.top, before.top);
  EXPECT_EQ(world::ControlText(main, IDC_MESSAGE), Text(IDS_FAILED));
  EXPECT_EQ(world::ControlText(main, IDOK), "Retry");

  // Retry probes afresh and, the printer now taking data, completes.
  TransferFrom(main);
  EXPECT_EQ(world::ControlText(main, IDC_MESSAGE), "Firmware transfer complete. ");
}

TEST_F(DialogFlowTest, PagesAreCentredOnTheWholeScreen) {
  struct Case {
    int width, height, x, y;
  };
  for (const Case &c :
       {Case{460, 270, 282, 249}, Case{461, 271, 281, 248}, Case{1034, 270, -5, 249}}) {
    world::SetPageSize(IDD_LICENSE, c.width, c.height);
    Start();
    HWND licence = world::WaitForPage(IDD_LICENSE);
    RECT rect = world::WindowRect(licence);
    EXPECT_EQ(rect.left, c.x) << c.width;
    EXPECT_EQ(rect.top, c.y) << c.width;
    EXPECT_EQ(rect.right - rect.left, c.width);
    world::PressEscape(licence);
    EXPECT_EQ(program->Result(), 0);
    program.reset();
  }
}

TEST_F(DialogFlowTest, JapaneseMachineShowsTheJapanesePages) {
  world::SetLanguage(1041);
  HWND main = Accept();
  ASSERT_NE(main, nullptr);
  EXPECT_EQ(world::ControlText(main, IDC_MESSAGE), Text(IDS_NOT_FOUND));
  EXPECT_EQ(world::ControlText(main, IDOK), "再実行");
  EXPECT_EQ(world::ControlText(main, IDCANCEL), "終了");
  EXPECT_EQ(world::Caption(main), kCaption);
}

TEST_F(DialogFlowTest, MissingLicenceShowsAnEmptyText) {
  world::RemoveResource(kEulaResourceType, MAKEINTRESOURCEA(IDR_EULA), 1033);
  world::RemoveResource(kEulaResourceType, MAKEINTRESOURCEA(IDR_EULA), 1041);
  Start();
  HWND licence = world::WaitForPage(IDD_LICENSE);
  EXPECT_EQ(world::ControlText(licence, IDC_LICENSE_TEXT), "");
  world::PressEscape(licence);
  EXPECT_EQ(program->Result(), 0);
}

TEST_F(DialogFlowTest, TwoHundredTransfersLeaveNothingBehind) {
  // Each run fails once (the printer refuses data part-way), then retries and
  // succeeds: a done page offers only Exit, so every run is a new program.
  for (int run = 0; run < 100; ++run) {
    vprinter::PrinterConfig config;
    config.failAfterBytes = 64 + 65472 * 2;
    world::DeviceId failing = AttachPrinter(config);
    HWND main = Accept();
    ASSERT_NE(main, nullptr);
    TransferFrom(main);
    ASSERT_EQ(world::ControlText(main, IDC_MESSAGE), Text(IDS_FAILED)) << run;
    world::DetachDevice(failing);
    AttachPrinter();
    TransferFrom(main);
    ASSERT_EQ(world::ControlText(main, IDC_MESSAGE), "Firmware transfer complete. ") << run;
    world::Press(main, IDCANCEL);
    ASSERT_EQ(program->Result(), 0);
    program.reset();
    world::DetachAllDevices();
  }
  // The fixture's tear-down proves no handle, thread or heap block is left.
}

}  // namespace
