// The system's message texts, as FormatMessageW gives them: only the codes the
// tests use, in English and Japanese, each ending in CR LF as Windows' do.
#include <cstring>
#include <string>

#include "internal/kernel.h"
#include "internal/locale.h"
#include "win32_sim.h"

namespace sim {
namespace {

struct SystemMessage {
  DWORD code;
  const char16_t *english;
  const char16_t *japanese;
};

// Windows 10's texts in those two languages, as far as we know them: the
// Japanese ones are not checked against a Japanese Windows here.
const SystemMessage kSystemMessages[] = {
    {ERROR_FILE_NOT_FOUND, u"The system cannot find the file specified.",
     u"指定されたファイルが見つかりません。"},
    {ERROR_PATH_NOT_FOUND, u"The system cannot find the path specified.",
     u"指定されたパスが見つかりません。"},
    {ERROR_ACCESS_DENIED, u"Access is denied.", u"アクセスが拒否されました。"},
    {ERROR_NOT_READY, u"The device is not ready.", u"デバイスの準備ができていません。"},
    {ERROR_GEN_FAILURE, u"A device attached to the system is not functioning.",
     u"システムに接続されたデバイスが機能していません。"},
    {ERROR_NOT_SUPPORTED, u"The request is not supported.", u"要求はサポートされていません。"},
    {ERROR_OPERATION_ABORTED,
     u"The I/O operation has been aborted because of either a thread exit or an application "
     u"request.",
     u"スレッドの終了またはアプリケーションの要求によって、I/O 処理は中止されました。"},
    {ERROR_DEVICE_NOT_CONNECTED, u"The device is not connected.",
     u"デバイスが接続されていません。"},
};

// Windows' own codes end below this; past it, the system has no text.
constexpr DWORD kFirstCodeWithoutText = 16000;

DWORD NoMessage(DWORD error) {
  SetLastErrorValue(error);
  return 0;
}

}  // namespace
}  // namespace sim

DWORD WINAPI FormatMessageW(DWORD flags, LPCVOID, DWORD messageId, DWORD languageId, LPWSTR buffer,
                            DWORD size, va_list *) {
  if (!(flags & FORMAT_MESSAGE_FROM_SYSTEM) || buffer == nullptr)
    return sim::NoMessage(ERROR_INVALID_PARAMETER);
  WORD language = languageId == 0 ? sim::UiLanguage() : WORD(languageId);
  if (language != 1033 && language != 1041) return sim::NoMessage(ERROR_RESOURCE_LANG_NOT_FOUND);
  std::u16string text;
  for (const sim::SystemMessage &message : sim::kSystemMessages)
    if (message.code == messageId) text = language == 1041 ? message.japanese : message.english;
  if (text.empty() && messageId >= sim::kFirstCodeWithoutText)
    return sim::NoMessage(ERROR_MR_MID_NOT_FOUND);
  // A guess: Windows has a text for nearly every code below 16000, the model
  // only for those above. This stands in for the rest, and says what it is.
  if (text.empty()) {
    std::string number = std::to_string(messageId);
    text = u"Error " + std::u16string(number.begin(), number.end()) +
           u" (the model has no text for it).";
  }
  text += u"\r\n";
  if (size < text.size() + 1) return sim::NoMessage(ERROR_INSUFFICIENT_BUFFER);
  std::memcpy(buffer, text.c_str(), (text.size() + 1) * sizeof(WCHAR));
  return DWORD(text.size());
}
