// String services of the model: the wsprintfA forms the program uses, the
// comparisons and code-page conversion.
#include <string>

#include "sim_test.h"

namespace {

class StringsTest : public SimTest {};

TEST_F(StringsTest, FormatsTheProgramsForms) {
  char text[1024];
  EXPECT_EQ(wsprintfA(text, "%s (%s)", "TORVAEL prismatone 3350N", "V1.05"), 32);
  EXPECT_STREQ(text, "TORVAEL prismatone 3350N (V1.05)");
  wsprintfA(text, "%d %%", 57);
  EXPECT_STREQ(text, "57 %");
  wsprintfA(text, "USB%03d", 7);
  EXPECT_STREQ(text, "USB007");
  wsprintfA(text, "%s\\%d", "\\\\.\\Usbscan0", -1);
  EXPECT_STREQ(text, "\\\\.\\Usbscan0\\-1");
}

TEST_F(StringsTest, FormattingStopsAt1023Characters) {
  std::string longText(3000, 'x');
  std::string out(2048, '#');
  EXPECT_EQ(wsprintfA(&out[0], "%s", longText.c_str()), 1023);
  EXPECT_EQ(out[1023], '\0');
  EXPECT_EQ(out[1024], '#') << "wrote past 1024 bytes";
}

TEST_F(StringsTest, ComparisonsTellCaseOnlyWhenAsked) {
  EXPECT_EQ(lstrcmpA("PrintClass", "PrintClass"), 0);
  EXPECT_NE(lstrcmpA("printclass", "PrintClass"), 0);
  EXPECT_EQ(lstrcmpiA("printclass", "PrintClass"), 0);
  EXPECT_LT(lstrcmpA("A", "B"), 0);
  EXPECT_GT(lstrcmpA("B", "A"), 0);
  EXPECT_NE(lstrcmpA(nullptr, "A"), 0);
  EXPECT_EQ(lstrcmpA(nullptr, nullptr), 0);
}

TEST_F(StringsTest, UpperCasingLeavesDoubleByteCharactersAlone) {
  char ascii[] = "usb007 ok";
  EXPECT_EQ(CharUpperA(ascii), ascii);
  EXPECT_STREQ(ascii, "USB007 OK");
  // The second byte of a Shift-JIS character may be a lower-case ASCII letter.
  world::SetLanguage(1041);
  char shiftJis[] = "\x83\x61z";
  CharUpperA(shiftJis);
  EXPECT_STREQ(shiftJis, "\x83\x61Z");
  EXPECT_EQ(reinterpret_cast<uintptr_t>(CharUpperA(reinterpret_cast<LPSTR>(uintptr_t('q')))),
            uintptr_t('Q'));
}

TEST_F(StringsTest, WideTextConvertsToTheAnsiCodePageOfTheLanguage) {
  const char16_t run[] = u"実行";
  char narrow[16] = {};
  EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, run, -1, nullptr, 0, nullptr, nullptr), 3)
      << "code page 1252 has neither character: one '?' each, plus the terminator";
  world::SetLanguage(1041);
  EXPECT_EQ(world::AnsiCodePage(), 932u);
  ASSERT_EQ(WideCharToMultiByte(CP_ACP, 0, run, -1, narrow, sizeof narrow, nullptr, nullptr), 5);
  EXPECT_STREQ(narrow, "\x8E\xC0\x8D\x73");
}

TEST_F(StringsTest, ConversionReportsShortBuffersAndUnmappableCharacters) {
  const char16_t text[] = u"caf\u00e9 \u65e5";
  char narrow[4];
  SetLastError(0);
  EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, text, -1, narrow, sizeof narrow, nullptr, nullptr), 0);
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  char wide[16] = {};
  BOOL usedDefault = FALSE;
  ASSERT_EQ(WideCharToMultiByte(CP_ACP, 0, text, -1, wide, sizeof wide, nullptr, &usedDefault), 7);
  EXPECT_STREQ(wide, "caf\xe9 ?");
  EXPECT_TRUE(usedDefault);
}

}  // namespace
