// The whole program as its user meets it: the licence, the main page, the
// transfer and its outcome, against the virtual printer.
#include <memory>
#include <string>

#include "app/one_copy.h"
#include "program_fixture.h"
#include "res/resource_types.h"

namespace {

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

TEST_F(DialogFlowTest, CaptionIsCutToItsBuffer) {
  const std::u16string whole(kCaption, kCaption + sizeof kCaption - 1);
  // Nothing, cut in the model's name, in " (", in the version, before ")", whole.
  for (int size : {1, 8, 26, 30, 32, 33}) {
    std::u16string caption(size + 1, u'#');
    LoadDialogCaption(&caption[0], size);
    EXPECT_EQ(caption.substr(0, caption.find(u'\0')), whole.substr(0, size - 1)) << size;
    EXPECT_EQ(caption[size], u'#') << size << ": written past the buffer";
  }
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

  // The printer is there now but its first open fails: only a probe run by
  // the next Retry takes that failure, so the one after it transfers.
  world::DeviceId device = AttachPrinter();
  world::InjectDeviceFault({world::DeviceCall::CreateFileA, world::DeviceFault::Action::fail,
                            ERROR_GEN_FAILURE, 0, 1, 1});
  EXPECT_TRUE(world::Press(main, IDOK));
  EXPECT_EQ(world::ControlText(main, IDC_MESSAGE), Text(IDS_NOT_FOUND));
  EXPECT_EQ(world::LastPage(IDD_PROGRESS), nullptr);
  EXPECT_EQ(world::OpensOf(device), 0u);
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
  // A printer that takes nothing: the progress page stays up for 30 model
  // seconds, and model time stands still while the test looks at both pages.
  world::InjectDeviceFault({world::DeviceCall::WriteFile, world::DeviceFault::Action::block,
                            ERROR_GEN_FAILURE, 0, 1, 1});
  AttachPrinter();
  HWND main = Accept();
  // The user moves the page away from the centre: coming back centred is wrong.
  RECT centred = world::WindowRect(main);
  ASSERT_TRUE(
      MoveWindow(main, 17, 23, centred.right - centred.left, centred.bottom - centred.top, TRUE));
  RECT before = world::WindowRect(main);
  ASSERT_EQ(before.left, 17);
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
  EXPECT_EQ(after.right, before.right);
  EXPECT_EQ(after.bottom, before.bottom);
  EXPECT_EQ(world::ControlText(main, IDC_MESSAGE), Text(IDS_FAILED));
  EXPECT_EQ(world::ControlText(main, IDOK), "Retry");

  // Retry probes afresh and, the printer now taking data, completes.
  TransferFrom(main);
  EXPECT_EQ(world::ControlText(main, IDC_MESSAGE), "Firmware transfer complete. ");
}

TEST_F(DialogFlowTest, PagesAreCentredOnTheWholeScreen) {
  // Without a display context the screen's size still comes from USER32.
  struct Case {
    int screenWidth, screenHeight;
    bool displayContextFails;
    int width, height, x, y;
  };
  for (const Case &c :
       {Case{1024, 768, false, 460, 270, 282, 249}, Case{1024, 768, false, 461, 271, 281, 248},
        Case{1024, 768, false, 1034, 270, -5, 249}, Case{800, 600, true, 460, 270, 170, 165}}) {
    world::SetScreenSize(c.screenWidth, c.screenHeight);
    if (c.displayContextFails) world::FailDisplayContext(1);
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

TEST_F(DialogFlowTest, EscapeAndCloseBoxOnTheMainPageEndTheProgram) {
  for (bool closeBox : {false, true}) {
    HWND main = Accept();
    ASSERT_NE(main, nullptr);
    EXPECT_TRUE(closeBox ? world::PressCloseBox(main) : world::PressEscape(main));
    EXPECT_EQ(program->Result(), 0);
    EXPECT_TRUE(world::WaitForPageClosed(main));
    const std::vector<world::PageEvent> history = world::PageHistory();
    ASSERT_FALSE(history.empty());
    EXPECT_EQ(history.back().kind, world::PageEvent::Kind::closed);
    EXPECT_EQ(history.back().page, main);
    EXPECT_EQ(history.back().result, 0);
    program.reset();
  }
}

TEST_F(DialogFlowTest, PagesThatCannotBeCreated) {
  // No licence page: the program ends without the main page.
  world::RemoveResource(RT_DIALOG, MAKEINTRESOURCEA(IDD_LICENSE), 1033);
  world::RemoveResource(RT_DIALOG, MAKEINTRESOURCEA(IDD_LICENSE), 1041);
  Start();
  EXPECT_EQ(program->Result(), 0);
  EXPECT_TRUE(world::PageHistory().empty());
  program.reset();
  world::RestoreResources();

  // No progress page: the transfer failed, and Retry is offered again.
  world::RemoveResource(RT_DIALOG, MAKEINTRESOURCEA(IDD_PROGRESS), 1033);
  world::RemoveResource(RT_DIALOG, MAKEINTRESOURCEA(IDD_PROGRESS), 1041);
  world::DeviceId device = AttachPrinter();
  HWND main = Accept();
  ASSERT_NE(main, nullptr);
  EXPECT_TRUE(world::Press(main, IDOK));
  ASSERT_TRUE(world::WaitUntil([&] { return world::IsVisible(main) && world::IsEnabled(main); }));
  EXPECT_EQ(world::ControlText(main, IDC_MESSAGE), Text(IDS_FAILED));
  EXPECT_EQ(world::ControlText(main, IDOK), Text(IDS_RETRY));
  EXPECT_TRUE(world::IsVisible(main, IDOK));
  EXPECT_EQ(world::LastPage(IDD_PROGRESS), nullptr);
  EXPECT_EQ(world::OpenHandlesOf(device), 0u) << "the probe's port is released";
  EXPECT_TRUE(world::Press(main, IDCANCEL));
  EXPECT_EQ(program->Result(), 0);
}

TEST_F(DialogFlowTest, RetryAfterAFailureWithThePrinterGoneShowsNotFound) {
  vprinter::PrinterConfig config;
  config.failAfterBytes = 64 + 65472;
  world::DeviceId failing = AttachPrinter(config);
  HWND main = Accept();
  ASSERT_NE(main, nullptr);
  TransferFrom(main);
  EXPECT_EQ(world::ControlText(main, IDC_MESSAGE), Text(IDS_FAILED));
  world::DetachDevice(failing);
  size_t progressPages = Closed(IDD_PROGRESS);
  EXPECT_TRUE(world::Press(main, IDOK));
  EXPECT_EQ(world::ControlText(main, IDC_MESSAGE), Text(IDS_NOT_FOUND));
  EXPECT_EQ(world::ControlText(main, IDOK), Text(IDS_RETRY));
  EXPECT_TRUE(world::IsVisible(main, IDOK));
  EXPECT_EQ(Closed(IDD_PROGRESS), progressPages) << "no transfer without a printer";
  EXPECT_TRUE(world::Press(main, IDCANCEL));
  EXPECT_EQ(program->Result(), 0);
}

// A second start (on the test's thread; a page would fail at once), the printer untouched:
// for the same model it brings the running copy's page to the front, or says that copy runs
// where it shows none here (another user's session, a quiet run); another model's goes on.
TEST_F(DialogFlowTest, SecondCopyForTheSameModelShowsTheFirstAndLeavesThePrinterAlone) {
  struct Case {
    const char *what;
    bool firstShowsAPage;        // else it runs where this session cannot see it
    const char16_t *hardwareId;  // the second copy's
    bool goesOn;                 // to its own licence page
  };
  const Case cases[] = {
      {"same model", true, u"USB\\VID_7C5E&PID_4A86", false},
      {"another model", true, u"USB\\VID_7C5E&PID_4A90", true},
      {"same model, no page to show", false, u"USB\\VID_7C5E&PID_4A86", false},
  };
  for (const Case &c : cases) {
    world::Reset();
    world::DeviceId device = AttachPrinter();
    OneCopyGuard elsewhere = {};
    HWND main = nullptr;
    if (c.firstShowsAPage) main = Accept();
    if (!c.firstShowsAPage) ASSERT_TRUE(TakeOneCopyGuard(&elsewhere));
    unsigned opens = world::OpensOf(device), dialogs = world::CallsMade().dialogs;
    world::ReplaceString(IDS_HARDWARE_ID, 1033, c.hardwareId);
    world::FailDialog(1);
    EXPECT_EQ(WinMain(GetModuleHandleA(nullptr), nullptr, nullptr, 0), 0) << c.what;
    EXPECT_EQ(world::CallsMade().dialogs, dialogs + (c.goesOn ? 1 : 0)) << c.what;
    EXPECT_EQ(world::OpensOf(device), opens) << c.what;
    EXPECT_EQ(world::ForegroundWindow(), c.goesOn ? nullptr : main) << c.what;
    // Its text in each language: page_texts_test.cpp.
    EXPECT_EQ(world::MessageBoxes().size(), c.firstShowsAPage ? 0u : 1u) << c.what;
    ReleaseOneCopyGuard(&elsewhere);
    if (main != nullptr) EXPECT_TRUE(world::Press(main, IDCANCEL));
    if (main != nullptr) EXPECT_EQ(program->Result(), 0);
    program.reset();
    world::DetachAllDevices();
  }
}

}  // namespace
