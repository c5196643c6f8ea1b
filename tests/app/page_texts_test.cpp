// Every text the pages show, as the user reads it, on a Japanese or English
// system and on a Japanese display language over code page 1252 (a Western
// system with a Japanese language pack): compared with the string tables'
// sources and the licence files themselves.
#include <iconv.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "app/one_copy.h"
#include "program_fixture.h"

namespace {

std::string ReadFile(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

// The licence as its reader sees it: the file's bytes from their code page.
std::string Utf8FromFile(const std::string &path, const char *codePage) {
  std::string bytes = ReadFile(path);
  iconv_t cd = iconv_open("UTF-8", codePage);
  std::string out(bytes.size() * 3, '\0');
  char *in = &bytes[0];
  char *to = &out[0];
  size_t inLeft = bytes.size(), outLeft = out.size();
  size_t result = iconv(cd, &in, &inLeft, &to, &outLeft);
  iconv_close(cd);
  EXPECT_NE(result, size_t(-1)) << path;
  out.resize(out.size() - outLeft);
  return out;
}

// The texts of a string-table source: `  IDS_NAME, "text"` lines, with \n.
std::map<std::string, std::string> StringTable(const std::string &path) {
  std::map<std::string, std::string> table;
  std::istringstream lines(ReadFile(path));
  std::string line;
  while (std::getline(lines, line)) {
    size_t comma = line.find(", \"");
    if (line.compare(0, 6, "  IDS_") != 0 || comma == std::string::npos) continue;
    std::string text = line.substr(comma + 3, line.rfind('"') - comma - 3);
    for (size_t at = text.find("\\n"); at != std::string::npos; at = text.find("\\n", at))
      text.replace(at, 2, "\n");
    table[line.substr(2, comma - 2)] = text;
  }
  return table;
}

struct Machine {
  WORD language;
  UINT codePage;
  const char *strings;  // the string table's source
  const char *licence;
  const char *licenceCodePage;
};

void PrintTo(const Machine &machine, std::ostream *out) {
  *out << machine.language << " on code page " << machine.codePage;
}

class PageTextsTest : public ProgramTest, public ::testing::WithParamInterface<Machine> {};

#define EXPECT_TEXT(page, control, name) \
  EXPECT_EQ(world::ControlText(page, control), strings[#name]) << #name

TEST_P(PageTextsTest, EveryPageShowsItsLanguagesTexts) {
  const Machine &machine = GetParam();
  world::SetLanguage(machine.language);
  world::SetAnsiCodePage(machine.codePage);
  std::map<std::string, std::string> strings =
      StringTable(std::string(RES_DIR "/") + machine.strings);
  ASSERT_EQ(strings.size(), 14u);

  vprinter::PrinterConfig failing;
  failing.failAfterBytes = 64 + 65472 * 2;
  world::DeviceId device = AttachPrinter(failing);
  Start();
  HWND licence = world::WaitForPage(IDD_LICENSE);
  ASSERT_NE(licence, nullptr);
  EXPECT_EQ(world::Caption(licence), kCaption);
  EXPECT_TEXT(licence, IDC_LICENSE_PROMPT, IDS_LICENSE_PROMPT);
  EXPECT_TEXT(licence, IDC_REFUSE, IDS_REFUSE);
  EXPECT_TEXT(licence, IDC_ACCEPT, IDS_ACCEPT);
  std::string shown = world::ControlText(licence, IDC_LICENSE_TEXT);
  std::string agreement = Utf8FromFile(machine.licence, machine.licenceCodePage);
  EXPECT_TRUE(shown == agreement)
      << "the licence differs from byte "
      << std::mismatch(shown.begin(), shown.end(), agreement.begin(), agreement.end()).first -
             shown.begin()
      << " on; it starts " << shown.substr(0, 60);
  EXPECT_TRUE(world::Press(licence, IDC_ACCEPT));
  EXPECT_TRUE(world::Press(licence, IDOK));

  HWND main = world::WaitForPage(IDD_MAIN);
  ASSERT_NE(main, nullptr);
  EXPECT_EQ(world::Caption(main), kCaption);
  EXPECT_TEXT(main, IDC_MESSAGE, IDS_READY);
  EXPECT_TEXT(main, IDOK, IDS_TRANSFER);
  EXPECT_TEXT(main, IDCANCEL, IDS_EXIT);
  TransferFrom(main);
  HWND progress = world::LastPage(IDD_PROGRESS);
  EXPECT_EQ(world::TextHistory(progress, 0).back(), kCaption);
  EXPECT_EQ(world::TextHistory(progress, IDC_HEADING).back(), strings["IDS_TRANSFERRING"]);
  EXPECT_TEXT(main, IDC_MESSAGE, IDS_FAILED);
  EXPECT_TEXT(main, IDOK, IDS_RETRY);

  world::DetachDevice(device);
  EXPECT_TRUE(world::Press(main, IDOK));
  EXPECT_TEXT(main, IDC_MESSAGE, IDS_NOT_FOUND);
  AttachPrinter();
  TransferFrom(main);
  EXPECT_TEXT(main, IDC_MESSAGE, IDS_COMPLETE);
  EXPECT_TEXT(main, IDCANCEL, IDS_EXIT);
  EXPECT_TRUE(world::Press(main, IDCANCEL));
  EXPECT_EQ(program->Result(), 0);

  // A second copy while the first runs with no page here (a quiet run).
  OneCopyGuard running = {};
  ASSERT_TRUE(TakeOneCopyGuard(&running));
  EXPECT_EQ(WinMain(GetModuleHandleA(nullptr), nullptr, nullptr, 0), 0);
  ReleaseOneCopyGuard(&running);
  std::vector<world::MessageBoxInfo> told = world::MessageBoxes();
  ASSERT_EQ(told.size(), 1u);
  EXPECT_EQ(told[0].text, strings["IDS_ALREADY_RUNNING"]);
  EXPECT_EQ(told[0].caption, kCaption);
}

INSTANTIATE_TEST_SUITE_P(
    Machines, PageTextsTest,
    ::testing::Values(Machine{1041, 932, "strings-ja.rc", LICENCE_JA, "CP932"},
                      Machine{1041, 1252, "strings-ja.rc", LICENCE_JA, "CP932"},
                      Machine{1033, 1252, "strings-en.rc", LICENCE_EN, "CP1252"},
                      Machine{1033, 932, "strings-en.rc", LICENCE_EN, "CP1252"}),
    [](const ::testing::TestParamInfo<Machine> &info) {
      return std::string(info.param.language == 1041 ? "Japanese" : "English") + "On" +
             std::to_string(info.param.codePage);
    });

}  // namespace
