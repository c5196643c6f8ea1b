// The model's pages as the program uses them: built from the real templates,
// run modally on the program's thread (nested, too), updated from a worker
// thread, and driven by a user on the test's thread.
#include <cstring>
#include <future>
#include <mutex>
#include <string>
#include <vector>

#include "sim_test.h"
#include "world_ui.h"

namespace {

constexpr WORD kLicence = 144, kMain = 102, kProgress = 103;
constexpr int kPercent = 111, kBar = 114, kMessage = 110, kRefuse = 147, kAccept = 148,
              kLicenceText = 146;
constexpr UINT kRetryString = 226;

// What the pages and the worker did, shared by the program's threads and the test.
struct Bench {
  std::mutex lock;
  std::vector<std::string> journal;
  // The worker of the progress page: positions it sets, then EndDialog(result).
  std::vector<int> positions = {10, 57, 150};
  INT_PTR workerResult = 7;
  // The progress page's WM_INITDIALOG holds until the test opens the gate,
  // then ends the page itself if asked.
  bool startWorker = true;
  bool holdInit = false;
  bool endAtInit = false;
  std::promise<void> gate;
  std::promise<void> held;   // set once WM_INITDIALOG holds, the worker started
  bool handleClose = false;  // the plain page handles WM_CLOSE itself
  DLGPROC nested = nullptr;  // the page the main page opens for IDOK
  HANDLE worker = nullptr;   // only the program's UI thread touches it

  void Note(const std::string &line) {
    std::lock_guard<std::mutex> guard(lock);
    journal.push_back(line);
  }
  std::vector<std::string> Journal() {
    std::lock_guard<std::mutex> guard(lock);
    return journal;
  }
};

Bench *bench = nullptr;

INT_PTR OpenPage(WORD id, DLGPROC proc, LPARAM param = 0) {
  return DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(id), nullptr, proc, param);
}

void EndWorker() {
  if (bench->worker == nullptr) return;
  WaitForSingleObject(bench->worker, INFINITE);
  CloseHandle(bench->worker);
  bench->worker = nullptr;
}

// Logs what it gets; IDOK and IDCANCEL end it with their id.
INT_PTR CALLBACK PlainPage(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      bench->Note("init " + std::to_string(lParam) +
                  (world::IsVisible(page) ? " shown" : " hidden"));
      return 0;
    case WM_CLOSE:
      bench->Note("close");
      return bench->handleClose ? TRUE : FALSE;
    case WM_COMMAND:
      bench->Note("command " + std::to_string(LOWORD(wParam)));
      if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) EndDialog(page, LOWORD(wParam));
      return TRUE;
  }
  return 0;
}

// As the program's licence page: OK only once "accept" is chosen.
INT_PTR CALLBACK LicencePage(HWND page, UINT message, WPARAM wParam, LPARAM) {
  if (message == WM_INITDIALOG) {
    SendDlgItemMessageA(page, kRefuse, BM_SETCHECK, BST_CHECKED, 0);
    EnableWindow(GetDlgItem(page, IDOK), FALSE);
    return 0;
  }
  if (message != WM_COMMAND) return 0;
  bench->Note("command " + std::to_string(LOWORD(wParam)));
  switch (LOWORD(wParam)) {
    case kRefuse:
    case kAccept:
      EnableWindow(GetDlgItem(page, IDOK), LOWORD(wParam) == kAccept);
      break;
    case IDOK:
      EndDialog(page, 1);
      break;
  }
  return TRUE;
}

// As the program's main page: IDOK runs a nested page with this one disabled and hidden.
INT_PTR CALLBACK MainPage(HWND page, UINT message, WPARAM wParam, LPARAM) {
  if (message != WM_COMMAND) return 0;
  if (LOWORD(wParam) == IDCANCEL) EndDialog(page, 0);
  if (LOWORD(wParam) != IDOK) return TRUE;
  EnableWindow(page, FALSE);
  ShowWindow(page, SW_HIDE);
  INT_PTR result = OpenPage(kProgress, bench->nested);
  EndWorker();
  bench->Note("progress returned " + std::to_string(result));
  ShowWindow(page, SW_SHOW);
  EnableWindow(page, TRUE);
  SetDlgItemTextA(page, kMessage, "back");
  return TRUE;
}

DWORD WINAPI TransferWorker(LPVOID parameter) {
  HWND page = static_cast<HWND>(parameter);
  for (int position : bench->positions) {
    LRESULT previous = SendDlgItemMessageA(page, kBar, PBM_SETPOS, WPARAM(position), 0);
    BOOL set = SetDlgItemTextA(page, kPercent, (std::to_string(position) + " %").c_str());
    bench->Note("worker " + std::to_string(previous) + " " + std::to_string(set));
  }
  EndDialog(page, bench->workerResult);
  return 0;
}

// As the program's progress page: a worker thread does the updates and ends it.
INT_PTR CALLBACK ProgressPage(HWND page, UINT message, WPARAM wParam, LPARAM) {
  if (message == WM_COMMAND) EndDialog(page, LOWORD(wParam));
  if (message != WM_INITDIALOG) return 0;
  if (bench->startWorker)
    bench->worker = CreateThread(nullptr, 0, TransferWorker, page, 0, nullptr);
  if (bench->holdInit) {
    bench->Note("holding");
    bench->held.set_value();
    bench->gate.get_future().wait();
  }
  if (bench->endAtInit) EndDialog(page, 5);
  return 0;
}

// The program's side runs on a model thread, so the test's thread can be the user.
class Program {
 public:
  explicit Program(std::function<INT_PTR()> body) : body_(std::move(body)) {
    thread_ = CreateThread(nullptr, 0, Run, this, 0, nullptr);
  }
  ~Program() { Finish(); }
  INT_PTR Finish() {
    if (thread_ != nullptr) {
      EXPECT_EQ(WaitForSingleObject(thread_, INFINITE), WAIT_OBJECT_0);
      CloseHandle(thread_);
      thread_ = nullptr;
    }
    return result_;
  }

 private:
  static DWORD WINAPI Run(LPVOID self) {
    auto *program = static_cast<Program *>(self);
    program->result_ = program->body_();
    return 0;
  }
  std::function<INT_PTR()> body_;
  HANDLE thread_ = nullptr;
  INT_PTR result_ = -100;
};

std::string Box(const RECT &rect) {
  return std::to_string(rect.left) + "," + std::to_string(rect.top) + " " +
         std::to_string(rect.right - rect.left) + "x" + std::to_string(rect.bottom - rect.top);
}

std::string Summary(const std::vector<world::ControlInfo> &controls) {
  std::string text;
  for (const auto &control : controls)
    text += std::to_string(control.id) + " " + control.className + " '" + control.text + "'; ";
  return text;
}

std::string History() {
  std::string text;
  for (const auto &event : world::PageHistory())
    text += (event.kind == world::PageEvent::Kind::opened ? "+" : "-") +
            std::to_string(event.templateId) +
            (event.kind == world::PageEvent::Kind::closed ? "=" + std::to_string(event.result)
                                                          : std::string()) +
            " ";
  return text;
}

// A DLGTEMPLATE as the resource compiler writes one, for pages the program lacks.
class TemplateBytes {
 public:
  TemplateBytes(DWORD style, const std::u16string &caption) {
    Dword(style);
    Dword(0);
    Word(0);  // item count, filled in as items come
    for (int i = 0; i < 4; ++i) Word(i < 2 ? 0 : 100);
    Word(0);  // no menu
    Word(0);  // the dialog class
    Text(caption);
    Word(8);
    Text(u"Tahoma");
  }
  // `ordinal` 0: the class is given by name.
  TemplateBytes &Item(WORD ordinal, const std::u16string &name, DWORD style, WORD id,
                      const std::u16string &title) {
    while (bytes_.size() % 4) bytes_.push_back(0);
    Dword(style | WS_CHILD | WS_VISIBLE);
    Dword(0);
    for (int i = 0; i < 4; ++i) Word(10);
    Word(id);
    if (ordinal != 0) {
      Word(0xFFFF);
      Word(ordinal);
    } else {
      Text(name);
    }
    Text(title);
    Word(0);
    ++bytes_[8];
    return *this;
  }
  std::vector<BYTE> bytes() const { return bytes_; }

 private:
  void Word(WORD value) {
    bytes_.push_back(BYTE(value));
    bytes_.push_back(BYTE(value >> 8));
  }
  void Dword(DWORD value) {
    Word(WORD(value));
    Word(WORD(value >> 16));
  }
  void Text(const std::u16string &text) {
    for (char16_t unit : text) Word(WORD(unit));
    Word(0);
  }
  std::vector<BYTE> bytes_;
};

constexpr DWORD kPageStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT;

class UiTest : public SimTest {
 protected:
  // The first open page once exactly one message sent to it waits to be
  // handled; null if that never happens.
  static HWND PageWithOneWaitingSender() {
    HWND page = nullptr;
    bool waiting = world::WaitUntil([&] {
      std::vector<world::PageInfo> pages = world::Pages();
      page = pages.empty() ? nullptr : pages[0].page;
      return page != nullptr && world::PendingMessages(page) == 1;
    });
    return waiting ? page : nullptr;
  }

  void SetUp() override {
    SimTest::SetUp();
    bench = &bench_;
  }
  Bench bench_;
};

// --- Pages from the program's templates -------------------------------------

TEST_F(UiTest, LicencePageHasTheControlsStylesAndSizeOfItsTemplate) {
  Program program([] { return OpenPage(kLicence, PlainPage); });
  HWND page = world::WaitForPage(kLicence);
  ASSERT_NE(page, nullptr);
  std::vector<world::ControlInfo> controls = world::Controls(page);
  EXPECT_EQ(Summary(controls),
            "1 Button 'OK'; 146 Edit ''; 147 Button 'No'; 148 Button 'Yes'; 145 Static 'Static'; ");
  ASSERT_EQ(controls.size(), 5u);
  EXPECT_EQ(controls[0].style & BS_TYPEMASK, DWORD(BS_DEFPUSHBUTTON));
  EXPECT_EQ(controls[2].style & BS_TYPEMASK, DWORD(BS_AUTORADIOBUTTON));
  EXPECT_EQ(controls[3].style & (BS_TYPEMASK | WS_TABSTOP), DWORD(BS_AUTORADIOBUTTON));
  EXPECT_TRUE(controls[1].style & WS_VSCROLL);
  for (const auto &control : controls) EXPECT_TRUE(control.visible && control.enabled);
  EXPECT_TRUE(world::IsVisible(page)) << "shown though its template lacks WS_VISIBLE";
  EXPECT_EQ(world::Caption(page), "");
  // 307 x 169 dialog units, a 3-pixel frame and a 22-pixel caption bar.
  EXPECT_EQ(Box(world::WindowRect(page)), "0,0 467x303");
  EXPECT_EQ(Box(world::WindowRect(page, IDOK)), "195,266 75x23");
  EXPECT_TRUE(world::PressEscape(page));
  EXPECT_EQ(program.Finish(), IDCANCEL);
}

TEST_F(UiTest, MainAndProgressPagesHaveTheirControlsAndSizes) {
  Program program([] { return OpenPage(kMain, PlainPage) * 10 + OpenPage(kProgress, PlainPage); });
  HWND main = world::WaitForPage(kMain);
  ASSERT_NE(main, nullptr);
  EXPECT_EQ(Summary(world::Controls(main)), "1 Button ''; 2 Button ''; 110 Static ''; ");
  EXPECT_EQ(Box(world::WindowRect(main)), "0,0 453x200");
  EXPECT_TRUE(world::Press(main, IDOK));

  HWND progress = world::WaitForPage(kProgress);
  ASSERT_NE(progress, nullptr);
  EXPECT_EQ(Summary(world::Controls(progress)),
            "111 Static ''; 114 msctls_progress32 'Progress1'; 112 Static ''; ");
  EXPECT_EQ(Box(world::WindowRect(progress)), "0,0 363x160");
  EXPECT_EQ(world::ProgressPosition(progress, kBar), 0);
  EXPECT_TRUE(world::PressEscape(progress));
  EXPECT_EQ(program.Finish(), IDOK * 10 + IDCANCEL);
}

TEST_F(UiTest, MissingOrUnbuildableTemplateGivesMinusOneAndCallsNoProcedure) {
  size_t handles = world::LiveHandles();
  EXPECT_EQ(OpenPage(999, PlainPage), -1);
  EXPECT_EQ(GetLastError(), ERROR_RESOURCE_NAME_NOT_FOUND);

  TemplateBytes unknownClass(kPageStyle, u"");
  unknownClass.Item(0x80, u"", BS_PUSHBUTTON, IDOK, u"OK").Item(0, u"SysListView32", 0, 7, u"");
  world::ReplaceResource(RT_DIALOG, MAKEINTRESOURCEA(500), 1033, unknownClass.bytes());
  EXPECT_EQ(OpenPage(500, PlainPage), -1);

  TemplateBytes whole(kPageStyle, u"Cut");
  whole.Item(0x80, u"", BS_PUSHBUTTON, IDOK, u"OK");
  std::vector<BYTE> cut = whole.bytes();
  cut.resize(cut.size() - 6);  // in the middle of the button's title
  world::ReplaceResource(RT_DIALOG, MAKEINTRESOURCEA(501), 1033, cut);
  EXPECT_EQ(OpenPage(501, PlainPage), -1);

  HWND noWindow = reinterpret_cast<HWND>(uintptr_t(0x7FF0));
  EXPECT_EQ(
      DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(kMain), noWindow, PlainPage, 0),
      0)
      << "an owner that is no window";
  EXPECT_TRUE(bench->Journal().empty());
  EXPECT_EQ(world::LiveHandles(), handles);
  EXPECT_TRUE(world::PageHistory().empty());
}

TEST_F(UiTest, TemplateTextArrivesThroughTheAnsiCodePageAndClassNamesIgnoreCase) {
  // The template's texts reach an ANSI page's windows through the code page:
  // intact under 932, lost under 1252 unless the page is a Unicode one.
  struct Case {
    UINT codePage;
    bool unicode;
    const char *caption, *button;
  };
  for (const Case &c : {Case{932, false, "更新", "実行"}, Case{1252, false, "??", "??"},
                        Case{1252, true, "更新", "実行"}}) {
    world::SetLanguage(1041);
    world::SetAnsiCodePage(c.codePage);
    TemplateBytes japanese(kPageStyle, u"\u66F4\u65B0");  // "update"
    japanese
        .Item(0, u"BUTTON", BS_PUSHBUTTON, IDOK, u"\u5B9F\u884C")  // "run"
        .Item(0, u"Msctls_Progress32", 0, kBar, u"");
    world::ReplaceResource(RT_DIALOG, MAKEINTRESOURCEA(500), 1033, japanese.bytes());
    Program program([&c] {
      return c.unicode ? DialogBoxParamW(nullptr, MAKEINTRESOURCEW(500), nullptr, PlainPage, 0)
                       : OpenPage(500, PlainPage);
    });
    HWND page = world::WaitForPage(500);
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(world::Caption(page), c.caption) << c.codePage << c.unicode;
    EXPECT_EQ(world::ControlText(page, IDOK), c.button) << c.codePage << c.unicode;
    EXPECT_EQ(Summary(world::Controls(page)).substr(0, 9), "1 Button ");
    EXPECT_NE(Summary(world::Controls(page)).find("114 msctls_progress32"), std::string::npos);
    EXPECT_TRUE(world::Press(page, IDOK));
    EXPECT_EQ(program.Finish(), IDOK);
  }
}

TEST_F(UiTest, WideAndNarrowTextsKeepWhatTheirWindowCanHold) {
  // Japanese display language on a 1252 system unless the case says 932.
  // Statics and buttons hold UTF-16 whichever call set them; an ANSI page's
  // caption and edit controls hold what the code page can.
  const char16_t *wide = u"\u5B9F\u884C";     // "run"
  const char *shiftJis = "\x8E\xC0\x8D\x73";  // the same in code page 932
  struct Case {
    UINT codePage;
    bool unicodePage;
    int control;  // 0: the caption
    bool setWide;
    const char *shown;   // what the user sees
    const char *narrow;  // what WM_GETTEXT in the A form gives back
  };
  const Case cases[] = {
      {1252, false, IDOK, true, "実行", "??"},
      {1252, false, kLicenceText, true, "??", "??"},
      {1252, false, 0, true, "??", "??"},
      {1252, true, kLicenceText, true, "実行", "??"},
      {1252, true, 0, true, "実行", "??"},
      {1252, true, IDOK, false,
       "\u017D\u00C0\u008D"
       "s",
       "\x8E\xC0\x8D"
       "s"},
      {932, false, kLicenceText, true, "実行", shiftJis},
      {932, false, IDOK, false, "実行", shiftJis},
      {932, true, 0, false, "実行", shiftJis},
  };
  for (const Case &c : cases) {
    world::SetLanguage(1041);
    world::SetAnsiCodePage(c.codePage);
    Program program([&c] {
      return c.unicodePage
                 ? DialogBoxParamW(nullptr, MAKEINTRESOURCEW(kLicence), nullptr, PlainPage, 0)
                 : OpenPage(kLicence, PlainPage);
    });
    HWND page = world::WaitForPage(kLicence);
    ASSERT_NE(page, nullptr);
    std::string where = std::to_string(c.codePage) + (c.unicodePage ? " W page, " : " A page, ") +
                        std::to_string(c.control) + (c.setWide ? " set W" : " set A");
    BOOL set;
    if (c.control == 0)
      set = c.setWide ? SetWindowTextW(page, wide) : SetWindowTextA(page, shiftJis);
    else
      set = c.setWide ? SetDlgItemTextW(page, c.control, wide)
                      : SetDlgItemTextA(page, c.control, shiftJis);
    EXPECT_TRUE(set) << where;
    EXPECT_EQ(c.control == 0 ? world::Caption(page) : world::ControlText(page, c.control), c.shown)
        << where;
    EXPECT_EQ(world::TextHistory(page, c.control).back(), c.shown) << where;
    char narrow[16] = {};
    if (c.control != 0) {
      SendDlgItemMessageA(page, c.control, WM_GETTEXT, sizeof narrow, LPARAM(narrow));
      EXPECT_STREQ(narrow, c.narrow) << where;
    }
    EXPECT_TRUE(world::PressEscape(page));
    EXPECT_EQ(program.Finish(), IDCANCEL);
  }
}

TEST_F(UiTest, StringsComeInTheDisplayLanguageAndNarrowOnesInTheCodePage) {
  struct Case {
    WORD language;
    UINT codePage;
    const char *narrow;
    const char16_t *wide;
  };
  for (const Case &c : {Case{1033, 1252, "Retry", u"Retry"},
                        Case{1041, 932, "\x8D\xC4\x8E\xC0\x8D\x73", u"\u518D\u5B9F\u884C"},
                        Case{1041, 1252, "???", u"\u518D\u5B9F\u884C"}}) {
    world::SetLanguage(c.language);
    world::SetAnsiCodePage(c.codePage);
    EXPECT_EQ(world::Language(), c.language);
    EXPECT_EQ(world::AnsiCodePage(), c.codePage);
    char narrow[64] = {};
    EXPECT_EQ(LoadStringA(nullptr, kRetryString, narrow, sizeof narrow),
              int(std::strlen(c.narrow)));
    EXPECT_STREQ(narrow, c.narrow) << c.language << " " << c.codePage;
    WCHAR wide[3] = {u'x', u'x', u'x'};
    EXPECT_EQ(LoadStringW(nullptr, kRetryString, wide, 3), 2) << "cut to the buffer";
    EXPECT_EQ(std::u16string(wide), std::u16string(c.wide).substr(0, 2));
  }
  EXPECT_FALSE(world::SetAnsiCodePage(437));
  WCHAR none[4] = {u'x'};
  EXPECT_EQ(LoadStringW(nullptr, 999, none, 4), 0);
  EXPECT_EQ(none[0], 0);
}

// --- A page's life -----------------------------------------------------------

TEST_F(UiTest, InitDialogRunsOnTheCallingThreadBeforeThePageShows) {
  for (WORD id : {kLicence, kMain}) {
    Program program([id] { return OpenPage(id, PlainPage, 77); });
    HWND page = world::WaitForPage(id);
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(bench->Journal(), std::vector<std::string>{"init 77 hidden"}) << id;
    EXPECT_TRUE(world::IsVisible(page));
    EXPECT_TRUE(world::PressEscape(page));
    EXPECT_EQ(program.Finish(), IDCANCEL);
    bench->journal.clear();
  }
}

TEST_F(UiTest, PageIsNotWaitedForUntilItsInitDialogHasReturned) {
  bench->holdInit = true;
  bench->startWorker = false;
  Program program([] { return OpenPage(kProgress, ProgressPage); });
  ASSERT_TRUE(world::WaitUntil([] { return !world::Pages().empty(); }));
  std::vector<world::PageInfo> pages = world::Pages();
  ASSERT_EQ(pages.size(), 1u);
  EXPECT_EQ(pages[0].templateId, kProgress);
  EXPECT_FALSE(world::IsVisible(pages[0].page));
  EXPECT_EQ(world::WaitForPage(kProgress, 0), nullptr);
  bench->gate.set_value();
  EXPECT_EQ(world::WaitForPage(kProgress), pages[0].page);
  EXPECT_TRUE(world::IsVisible(pages[0].page));
  EXPECT_TRUE(world::PressEscape(pages[0].page));
  EXPECT_EQ(program.Finish(), IDCANCEL);
}

TEST_F(UiTest, PageEndedDuringInitDialogIsNeverShown) {
  bench->endAtInit = true;
  bench->startWorker = false;
  INT_PTR result = OpenPage(kProgress, ProgressPage);
  EndWorker();
  EXPECT_EQ(result, 5);
  EXPECT_EQ(History(), "+103 -103=5 ");
}

TEST_F(UiTest, PageWindowsAreCountedWhileOpenAndTheirHandlesNeverComeBack) {
  size_t handles = world::LiveHandles();
  Program program([] { return OpenPage(kLicence, PlainPage) + OpenPage(kLicence, PlainPage); });
  HWND first = world::WaitForPage(kLicence);
  ASSERT_NE(first, nullptr);
  HWND ok = GetDlgItem(first, IDOK);
  EXPECT_EQ(world::LiveHandles(), handles + 7)
      << "the program's thread, the page, its five controls";
  EXPECT_EQ(GetParent(ok), first);
  EXPECT_TRUE(world::Press(first, kAccept));
  EXPECT_TRUE(world::PressEscape(first));
  ASSERT_TRUE(world::WaitForPageClosed(first));

  HWND second = world::WaitForPage(kLicence);
  ASSERT_NE(second, nullptr);
  EXPECT_NE(second, first);
  EXPECT_NE(GetDlgItem(second, IDOK), ok);
  EXPECT_EQ(GetDlgItem(first, IDOK), nullptr);
  EXPECT_EQ(GetLastError(), 1400u) << "ERROR_INVALID_WINDOW_HANDLE";
  EXPECT_FALSE(SetWindowTextA(first, "stale"));
  EXPECT_FALSE(EnableWindow(ok, TRUE));
  EXPECT_FALSE(EndDialog(first, 3));
  EXPECT_FALSE(world::Press(first, IDOK));
  EXPECT_FALSE(world::IsVisible(first));
  EXPECT_TRUE(world::PressEscape(second));
  EXPECT_EQ(program.Finish(), 2 * IDCANCEL);
  EXPECT_EQ(world::LiveHandles(), handles);
  EXPECT_EQ(History(), "+144 -144=2 +144 -144=2 ");
}

// --- The user's input --------------------------------------------------------

TEST_F(UiTest, ChoosingARadioButtonClearsTheOtherOfItsGroup) {
  Program program([] { return OpenPage(kLicence, LicencePage); });
  HWND page = world::WaitForPage(kLicence);
  ASSERT_NE(page, nullptr);
  EXPECT_TRUE(world::IsChecked(page, kRefuse));
  EXPECT_FALSE(world::IsEnabled(page, IDOK));
  EXPECT_FALSE(world::Press(page, IDOK));

  EXPECT_TRUE(world::Press(page, kAccept));
  EXPECT_TRUE(world::IsChecked(page, kAccept));
  EXPECT_FALSE(world::IsChecked(page, kRefuse));
  EXPECT_EQ(SendDlgItemMessageA(page, kAccept, BM_GETCHECK, 0, 0), BST_CHECKED);
  EXPECT_TRUE(world::IsEnabled(page, IDOK)) << "the page saw the click";

  EXPECT_TRUE(world::Press(page, kRefuse));
  EXPECT_TRUE(world::IsChecked(page, kRefuse));
  EXPECT_FALSE(world::IsChecked(page, kAccept));
  EXPECT_FALSE(world::IsEnabled(page, IDOK));

  EXPECT_TRUE(world::Press(page, kAccept));
  EXPECT_TRUE(world::Press(page, IDOK));
  EXPECT_EQ(program.Finish(), 1);
  EXPECT_EQ(bench->Journal(),
            (std::vector<std::string>{"command 148", "command 147", "command 148", "command 1"}));
}

TEST_F(UiTest, RadioGroupEndsBeforeTheNextControlWithGroupStyle) {
  TemplateBytes groups(kPageStyle, u"Groups");
  groups.Item(0x80, u"", BS_AUTORADIOBUTTON | WS_GROUP, 11, u"a1")
      .Item(0x80, u"", BS_AUTORADIOBUTTON, 12, u"a2")
      .Item(0x80, u"", BS_PUSHBUTTON, IDOK, u"OK")
      .Item(0x80, u"", BS_AUTORADIOBUTTON | WS_GROUP, 21, u"b1")
      .Item(0x80, u"", BS_AUTORADIOBUTTON, 22, u"b2");
  world::ReplaceResource(RT_DIALOG, MAKEINTRESOURCEA(500), 1033, groups.bytes());
  Program program([] { return OpenPage(500, PlainPage); });
  HWND page = world::WaitForPage(500);
  ASSERT_NE(page, nullptr);
  EXPECT_TRUE(world::Press(page, 12));
  EXPECT_TRUE(world::Press(page, 21));
  EXPECT_TRUE(world::IsChecked(page, 12)) << "another group's choice leaves it";
  EXPECT_TRUE(world::Press(page, 22));
  EXPECT_TRUE(world::IsChecked(page, 12));
  EXPECT_FALSE(world::IsChecked(page, 21));
  EXPECT_TRUE(world::Press(page, 11));
  EXPECT_FALSE(world::IsChecked(page, 12));
  EXPECT_TRUE(world::IsChecked(page, 22));
  EXPECT_TRUE(world::Press(page, IDOK));
  EXPECT_EQ(program.Finish(), IDOK);
}

TEST_F(UiTest, HiddenOrDisabledControlsAndPagesTakeNoClicks) {
  Program program([] { return OpenPage(kMain, PlainPage); });
  HWND page = world::WaitForPage(kMain);
  ASSERT_NE(page, nullptr);
  HWND ok = GetDlgItem(page, IDOK);
  EXPECT_TRUE(ShowWindow(ok, SW_HIDE));
  EXPECT_FALSE(world::Press(page, IDOK));
  EXPECT_FALSE(ShowWindow(ok, SW_SHOW));
  EXPECT_FALSE(EnableWindow(ok, FALSE));
  EXPECT_FALSE(world::Press(page, IDOK));
  EXPECT_TRUE(EnableWindow(ok, TRUE)) << "it was disabled";
  EXPECT_FALSE(world::Press(page, kMessage)) << "a static text is no button";
  EXPECT_FALSE(world::Press(page, 999));

  EnableWindow(page, FALSE);
  EXPECT_FALSE(world::Press(page, IDCANCEL));
  EXPECT_FALSE(world::PressEscape(page));
  EnableWindow(page, TRUE);
  ShowWindow(page, SW_HIDE);
  EXPECT_FALSE(world::Press(page, IDCANCEL));
  EXPECT_FALSE(world::PressCloseBox(page));
  ShowWindow(page, SW_SHOW);
  EXPECT_EQ(bench->Journal(), std::vector<std::string>{"init 0 hidden"}) << "no command came";

  EXPECT_TRUE(world::Press(page, IDOK));
  EXPECT_EQ(program.Finish(), IDOK);
  EXPECT_EQ(bench->Journal(), (std::vector<std::string>{"init 0 hidden", "command 1"}));
}

TEST_F(UiTest, EscCancelsAnyPageButCloseBoxAndAltF4NeedTheSystemMenu) {
  Program noMenu([] { return OpenPage(kProgress, PlainPage); });
  HWND progress = world::WaitForPage(kProgress);
  ASSERT_NE(progress, nullptr);
  EXPECT_FALSE(world::PressCloseBox(progress));
  EXPECT_FALSE(world::PressAltF4(progress));
  EXPECT_TRUE(world::PressEscape(progress));
  EXPECT_EQ(noMenu.Finish(), IDCANCEL);
  EXPECT_EQ(bench->Journal(), (std::vector<std::string>{"init 0 hidden", "command 2"}));

  for (bool altF4 : {false, true}) {
    bench->journal.clear();
    Program withMenu([] { return OpenPage(kMain, PlainPage); });
    HWND main = world::WaitForPage(kMain);
    ASSERT_NE(main, nullptr);
    EXPECT_TRUE(altF4 ? world::PressAltF4(main) : world::PressCloseBox(main));
    EXPECT_EQ(withMenu.Finish(), IDCANCEL);
    EXPECT_EQ(bench->Journal(), (std::vector<std::string>{"init 0 hidden", "close", "command 2"}));
  }
}

TEST_F(UiTest, CloseBoxGivesNoCancelWhenThePageHandlesWmClose) {
  bench->handleClose = true;
  Program program([] { return OpenPage(kMain, PlainPage); });
  HWND page = world::WaitForPage(kMain);
  ASSERT_NE(page, nullptr);
  EXPECT_TRUE(world::PressCloseBox(page));
  EXPECT_TRUE(world::IsVisible(page));
  EXPECT_EQ(bench->Journal(), (std::vector<std::string>{"init 0 hidden", "close"}));
  EXPECT_TRUE(world::PressEscape(page));
  EXPECT_EQ(program.Finish(), IDCANCEL);
  EXPECT_EQ(bench->Journal(), (std::vector<std::string>{"init 0 hidden", "close", "command 2"}));
}

// --- Nested pages and other threads -------------------------------------------

TEST_F(UiTest, NestedPageRunsInsideTheCommandWithTheOuterPageDisabledAndHidden) {
  bench->nested = PlainPage;
  Program program([] { return OpenPage(kMain, MainPage); });
  HWND main = world::WaitForPage(kMain);
  ASSERT_NE(main, nullptr);
  EXPECT_TRUE(world::Press(main, IDOK)) << "returns once the nested page takes input";
  HWND progress = world::WaitForPage(kProgress);
  ASSERT_NE(progress, nullptr);
  EXPECT_FALSE(world::IsVisible(main));
  EXPECT_FALSE(world::IsEnabled(main));
  EXPECT_FALSE(world::Press(main, IDCANCEL));
  std::vector<world::PageInfo> pages = world::Pages();
  ASSERT_EQ(pages.size(), 2u);
  EXPECT_EQ(pages[0].page, main);
  EXPECT_EQ(pages[1].page, progress);

  EXPECT_TRUE(world::PressEscape(progress));
  EXPECT_TRUE(world::WaitForPageClosed(progress));
  ASSERT_TRUE(world::WaitUntil([&] { return world::ControlText(main, kMessage) == "back"; }));
  EXPECT_TRUE(world::IsVisible(main));
  EXPECT_TRUE(world::Press(main, IDCANCEL));
  EXPECT_EQ(program.Finish(), 0);
  EXPECT_EQ(History(), "+102 +103 -103=2 -102=0 ");
  EXPECT_EQ(bench->Journal(),
            (std::vector<std::string>{"init 0 hidden", "command 2", "progress returned 2"}));
}

TEST_F(UiTest, WorkerUpdatesArriveInOrderAndItsEndDialogIsTheResult) {
  Program program([] {
    INT_PTR result = OpenPage(kProgress, ProgressPage);
    EndWorker();
    return result;
  });
  EXPECT_EQ(program.Finish(), 7);
  HWND page = world::LastPage(kProgress);
  EXPECT_EQ(world::ProgressHistory(page, kBar), (std::vector<int>{10, 57, 100}))
      << "150 is past the end of the range";
  EXPECT_EQ(world::TextHistory(page, kPercent),
            (std::vector<std::string>{"10 %", "57 %", "150 %"}));
  EXPECT_EQ(bench->Journal(),
            (std::vector<std::string>{"worker 0 1", "worker 10 1", "worker 57 1"}))
      << "each send returns once handled: the previous position, and TRUE";
  EXPECT_EQ(History(), "+103 -103=7 ");
}

TEST_F(UiTest, SendFromAnotherThreadWaitsUntilThePagesThreadHandlesIt) {
  bench->holdInit = true;
  Program program([] {
    INT_PTR result = OpenPage(kProgress, ProgressPage);
    EndWorker();
    return result;
  });
  bench->held.get_future().wait();
  HWND page = PageWithOneWaitingSender();
  ASSERT_NE(page, nullptr);
  EXPECT_EQ(world::ProgressPosition(page, kBar), 0) << "not handled while the thread is busy";
  EXPECT_EQ(bench->Journal(), std::vector<std::string>{"holding"});
  bench->gate.set_value();
  EXPECT_EQ(program.Finish(), 7);
  EXPECT_EQ(world::ProgressHistory(page, kBar), (std::vector<int>{10, 57, 100}));
}

TEST_F(UiTest, SenderIsLetGoWithNothingDoneWhenThePageGoesAway) {
  bench->holdInit = true;
  bench->endAtInit = true;
  Program program([] {
    INT_PTR result = OpenPage(kProgress, ProgressPage);
    EndWorker();
    return result;
  });
  ASSERT_NE(PageWithOneWaitingSender(), nullptr);
  bench->gate.set_value();
  EXPECT_EQ(program.Finish(), 5);
  EXPECT_EQ(bench->Journal(),
            (std::vector<std::string>{"holding", "worker 0 0", "worker 0 0", "worker 0 0"}));
  EXPECT_TRUE(world::ProgressHistory(world::LastPage(kProgress), kBar).empty());
}

TEST_F(UiTest, SenderStoppedWhileItWaitsLeavesAndItsMessageIsNeverHandled) {
  bench->holdInit = true;
  Program program([] {
    INT_PTR result = OpenPage(kProgress, ProgressPage);
    EndWorker();
    return result;
  });
  bench->held.get_future().wait();
  HWND page = PageWithOneWaitingSender();
  ASSERT_NE(page, nullptr);
  EXPECT_TRUE(TerminateThread(bench->worker, 3));
  EXPECT_EQ(WaitForSingleObject(bench->worker, 10000), WAIT_OBJECT_0);
  EXPECT_EQ(world::PendingMessages(page), 0u);
  bench->gate.set_value();
  ASSERT_EQ(world::WaitForPage(kProgress), page);
  EXPECT_TRUE(world::PressEscape(page));
  EXPECT_EQ(program.Finish(), IDCANCEL);
  EXPECT_TRUE(world::ProgressHistory(page, kBar).empty());
  EXPECT_EQ(bench->Journal(), std::vector<std::string>{"holding"});
}

TEST_F(UiTest, TextMessagesFromAnotherThreadSetAndReadTexts) {
  Program program([] { return OpenPage(kMain, PlainPage); });
  HWND page = world::WaitForPage(kMain);
  ASSERT_NE(page, nullptr);
  EXPECT_TRUE(SetDlgItemTextA(page, kMessage, "Ready"));
  EXPECT_TRUE(SetWindowTextA(page, "Updater"));
  EXPECT_EQ(SendDlgItemMessageA(page, IDOK, WM_SETTEXT, 0, LPARAM("Transfer")), TRUE);
  char buffer[4] = "xyz";
  EXPECT_EQ(SendDlgItemMessageA(page, kMessage, WM_GETTEXT, sizeof buffer, LPARAM(buffer)), 3);
  EXPECT_STREQ(buffer, "Rea");
  EXPECT_EQ(world::ControlText(page, kMessage), "Ready");
  EXPECT_EQ(world::ControlText(page, IDOK), "Transfer");
  EXPECT_EQ(world::Caption(page), "Updater");
  EXPECT_EQ(world::TextHistory(page), std::vector<std::string>{"Updater"});
  EXPECT_EQ(GetDlgItem(page, 999), nullptr);
  EXPECT_EQ(GetLastError(), 1421u) << "ERROR_CONTROL_ID_NOT_FOUND";
  EXPECT_TRUE(world::PressEscape(page));
  EXPECT_EQ(program.Finish(), IDCANCEL);
}

TEST_F(UiTest, WholeRunThroughTheThreePagesAsTheProgramMakesIt) {
  bench->nested = ProgressPage;
  Program program([] {
    if (OpenPage(kLicence, LicencePage) != 1) return INT_PTR(-5);
    return OpenPage(kMain, MainPage);
  });
  HWND licence = world::WaitForPage(kLicence);
  ASSERT_NE(licence, nullptr);
  EXPECT_TRUE(world::Press(licence, kAccept));
  EXPECT_TRUE(world::Press(licence, IDOK));
  HWND main = world::WaitForPage(kMain);
  ASSERT_NE(main, nullptr);
  EXPECT_TRUE(world::Press(main, IDOK));
  ASSERT_TRUE(world::WaitUntil([&] { return world::ControlText(main, kMessage) == "back"; }));
  EXPECT_TRUE(world::Press(main, IDCANCEL));
  EXPECT_EQ(program.Finish(), 0);
  EXPECT_EQ(History(), "+144 -144=1 +102 +103 -103=7 -102=0 ");
  EXPECT_EQ(world::TextHistory(world::LastPage(kProgress), kPercent).back(), "150 %");
}

// --- Placement -----------------------------------------------------------------

INT_PTR CALLBACK CentringPage(HWND page, UINT message, WPARAM wParam, LPARAM) {
  if (message == WM_COMMAND) EndDialog(page, LOWORD(wParam));
  if (message != WM_INITDIALOG) return 0;
  HDC screen = CreateICA("DISPLAY", nullptr, nullptr, nullptr);
  int width = GetDeviceCaps(screen, HORZRES), height = GetDeviceCaps(screen, VERTRES);
  DeleteDC(screen);
  RECT rect{};
  GetWindowRect(page, &rect);
  int pageWidth = rect.right - rect.left, pageHeight = rect.bottom - rect.top;
  bench->Note("screen " + std::to_string(width) + "x" + std::to_string(height) + " page " +
              Box(rect) + (GetParent(page) == nullptr ? " no parent" : " parent"));
  MoveWindow(page, (width - pageWidth) / 2, (height - pageHeight) / 2, pageWidth, pageHeight, TRUE);
  return 0;
}

TEST_F(UiTest, PageCentresFromTheScreenSizeAndItsOwnRectangle) {
  world::SetScreenSize(800, 600);
  world::SetPageSize(kMain, 400, 300);
  Program program([] { return OpenPage(kMain, CentringPage); });
  HWND page = world::WaitForPage(kMain);
  ASSERT_NE(page, nullptr);
  EXPECT_EQ(bench->Journal(),
            std::vector<std::string>{"screen 800x600 page 0,0 400x300 no parent"});
  EXPECT_EQ(Box(world::WindowRect(page)), "200,150 400x300");
  // The button at 132, 79 (89 x 14 dialog units) moves with its page.
  EXPECT_EQ(Box(world::WindowRect(page, IDOK)), "401,303 134x23");
  RECT rect{};
  EXPECT_TRUE(GetWindowRect(GetDlgItem(page, IDOK), &rect));
  EXPECT_EQ(Box(rect), "401,303 134x23");
  EXPECT_TRUE(world::PressEscape(page));
  EXPECT_EQ(program.Finish(), IDCANCEL);
}

TEST_F(UiTest, DisplayContextIsAHandleUntilDeleted) {
  size_t handles = world::LiveHandles();
  HDC screen = CreateICA("display", nullptr, nullptr, nullptr);
  ASSERT_NE(screen, nullptr);
  EXPECT_EQ(world::LiveHandles(), handles + 1);
  EXPECT_EQ(GetDeviceCaps(screen, HORZRES), 1024);
  EXPECT_EQ(GetDeviceCaps(screen, VERTRES), 768);
  EXPECT_TRUE(DeleteDC(screen));
  EXPECT_EQ(world::LiveHandles(), handles);
  EXPECT_FALSE(DeleteDC(screen));
  EXPECT_EQ(GetDeviceCaps(screen, HORZRES), 0);
  EXPECT_EQ(CreateICA("WINSPOOL", nullptr, nullptr, nullptr), nullptr);
}

TEST_F(UiTest, ResetRestoresTheScreenAndPageSizesAndForgetsTheHistory) {
  world::SetScreenSize(640, 480);
  world::SetPageSize(kLicence, 100, 100);
  bench->endAtInit = true;
  bench->startWorker = false;
  OpenPage(kProgress, ProgressPage);
  EndWorker();
  ASSERT_FALSE(world::PageHistory().empty());
  world::Reset();
  EXPECT_TRUE(world::PageHistory().empty());
  EXPECT_EQ(world::LastPage(kProgress), nullptr);
  Program program([] { return OpenPage(kLicence, CentringPage); });
  HWND page = world::WaitForPage(kLicence);
  ASSERT_NE(page, nullptr);
  EXPECT_EQ(Box(world::WindowRect(page)), "278,232 467x303");
  EXPECT_TRUE(world::PressEscape(page));
  EXPECT_EQ(program.Finish(), IDCANCEL);
}

}  // namespace
