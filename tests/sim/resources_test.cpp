// The program's compiled resources as the model serves them: the language the
// machine is set to decides the entry, and strings arrive in its code page.
#include <cstring>
#include <string>

#include "res/resource.h"
#include "res/resource_types.h"
#include "sim_test.h"

namespace {

class ResourcesTest : public SimTest {
 protected:
  std::string String(UINT id, int bufferSize = 1024) {
    std::string buffer(size_t(bufferSize), '#');
    int length = LoadStringA(GetModuleHandleA(nullptr), id, &buffer[0], bufferSize);
    EXPECT_EQ(size_t(length), std::strlen(buffer.c_str()));
    return buffer.substr(0, size_t(length));
  }

  // The bytes of a custom resource of the program, through the calls the program makes.
  std::string Custom(UINT id, const char *type) {
    HMODULE module = GetModuleHandleA(nullptr);
    HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(id), type);
    if (found == nullptr) return "<absent>";
    const char *data = static_cast<const char *>(LockResource(LoadResource(module, found)));
    return std::string(data, SizeofResource(module, found));
  }
};

TEST_F(ResourcesTest, EnglishMachineGetsEnglishTextsAsStored) {
  EXPECT_EQ(String(IDS_HARDWARE_ID), "USB\\VID_7C5E&PID_4A86");
  EXPECT_EQ(String(IDS_ACCESS_METHOD), "PrintClass");
  EXPECT_EQ(String(IDS_COMPLETE), "Firmware transfer complete. ");
  EXPECT_EQ(String(IDS_FAILED),
            "Could not transfer the firmware.\nTo transfer the firmware again, click [Retry].");
  EXPECT_NE(String(IDS_NOT_FOUND).find("printer,and"), std::string::npos);
  EXPECT_EQ(String(IDS_TRANSFER), "Transfer");
  EXPECT_EQ(String(IDS_OK), "OK");
}

TEST_F(ResourcesTest, JapaneseMachineGetsShiftJisTexts) {
  world::SetLanguage(1041);
  EXPECT_EQ(String(IDS_TRANSFER), "\x8E\xC0\x8D\x73");
  EXPECT_EQ(String(IDS_EXIT), "\x8F\x49\x97\xB9");
  EXPECT_EQ(String(IDS_RETRY), "\x8D\xC4\x8E\xC0\x8D\x73");
  EXPECT_EQ(String(IDS_TRANSFERRING),
            "\x83\x74\x83\x40\x81\x5b\x83\x80\x83\x45\x83\x46\x83\x41\x8d\x58\x90\x56\x92\x86\x81"
            "\x63");
  EXPECT_EQ(String(IDS_HARDWARE_ID), "USB\\VID_7C5E&PID_4A86") << "configuration is shared";
  EXPECT_EQ(String(IDS_MODEL_NAME), "TORVAEL prismatone 3350N");
}

TEST_F(ResourcesTest, EveryUsedStringExistsInBothLanguages) {
  const UINT ids[] = {16,  17,  18,  19,  219, 220, 221, 222, 223,
                      224, 225, 226, 227, 228, 229, 230, 231, 232};
  for (WORD language : {WORD(1033), WORD(1041)}) {
    world::SetLanguage(language);
    for (UINT id : ids) EXPECT_FALSE(String(id).empty()) << "string " << id << " in " << language;
    EXPECT_TRUE(String(20).empty());
    EXPECT_TRUE(String(218).empty());
    EXPECT_TRUE(String(233).empty());
  }
}

TEST_F(ResourcesTest, LongTextIsCutToTheBufferWithItsTerminator) {
  std::string whole = String(IDS_LICENSE_PROMPT);
  ASSERT_GT(whole.size(), 10u);
  EXPECT_EQ(String(IDS_LICENSE_PROMPT, 11), whole.substr(0, 10));
}

TEST_F(ResourcesTest, MissingStringLeavesAnEmptyBuffer) {
  char buffer[8] = "garbage";
  EXPECT_EQ(LoadStringA(GetModuleHandleA(nullptr), 1000, buffer, sizeof buffer), 0);
  EXPECT_EQ(buffer[0], '\0');
}

TEST_F(ResourcesTest, LicenceFollowsTheLanguageAndImageIsTheSameInBoth) {
  std::string english = Custom(IDR_EULA, kEulaResourceType);
  std::string firmware = Custom(IDR_FIRMWARE, kFirmwareResourceType);
  EXPECT_EQ(english.size(), 4657u);
  EXPECT_EQ(english.substr(english.size() - 2), "\r\n");
  EXPECT_EQ(firmware.size(), 1018816u);

  world::SetLanguage(1041);
  std::string japanese = Custom(IDR_EULA, "eula");
  EXPECT_EQ(japanese.size(), 4182u) << "type names match in any case";
  EXPECT_EQ(Custom(IDR_FIRMWARE, kFirmwareResourceType), firmware);
}

TEST_F(ResourcesTest, LookupFailuresSayWhatWasMissing) {
  HMODULE module = GetModuleHandleA(nullptr);
  SetLastError(0);
  EXPECT_EQ(FindResourceA(module, MAKEINTRESOURCEA(999), kEulaResourceType), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_RESOURCE_NAME_NOT_FOUND);
  EXPECT_EQ(FindResourceA(module, MAKEINTRESOURCEA(IDR_EULA), "NOSUCHTYPE"), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_RESOURCE_TYPE_NOT_FOUND);
  EXPECT_EQ(GetModuleHandleA("other.dll"), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_MOD_NOT_FOUND);
}

TEST_F(ResourcesTest, ReplacementsAndRemovalsLastUntilRestored) {
  world::ReplaceResource(kFirmwareResourceType, MAKEINTRESOURCEA(IDR_FIRMWARE), 1033, {1, 2, 3});
  world::ReplaceString(IDS_ACCESS_METHOD, 1033, u"printclass");
  EXPECT_EQ(Custom(IDR_FIRMWARE, kFirmwareResourceType), std::string("\1\2\3"));
  EXPECT_EQ(String(IDS_ACCESS_METHOD), "printclass");
  EXPECT_EQ(String(IDS_HARDWARE_ID), "USB\\VID_7C5E&PID_4A86") << "the rest of the block stays";

  world::RemoveResource(kEulaResourceType, MAKEINTRESOURCEA(IDR_EULA), 1033);
  world::RemoveResource(kEulaResourceType, MAKEINTRESOURCEA(IDR_EULA), 1041);
  EXPECT_EQ(Custom(IDR_EULA, kEulaResourceType), "<absent>");

  world::RestoreResources();
  EXPECT_EQ(Custom(IDR_FIRMWARE, kFirmwareResourceType).size(), 1018816u);
  EXPECT_EQ(String(IDS_ACCESS_METHOD), "PrintClass");
  EXPECT_EQ(Custom(IDR_EULA, kEulaResourceType).size(), 4657u);
}

TEST_F(ResourcesTest, RemovedLanguageFallsBackToEnglish) {
  world::SetLanguage(1041);
  world::RemoveResource(kEulaResourceType, MAKEINTRESOURCEA(IDR_EULA), 1041);
  EXPECT_EQ(Custom(IDR_EULA, kEulaResourceType).size(), 4657u);
}

}  // namespace
