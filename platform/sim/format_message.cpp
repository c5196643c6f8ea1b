// The system's text for an error code, as FormatMessageW gives it with
// FORMAT_MESSAGE_FROM_SYSTEM and FORMAT_MESSAGE_IGNORE_INSERTS into the
// caller's buffer: Windows' English texts of the codes the model's calls
// report where a person reads them, each ended by CR LF.
#include <string>

#include "internal/kernel.h"
#include "win32_files.h"

namespace {

struct Text {
  DWORD code;
  const char16_t *text;
};

const Text kTexts[] = {
    {ERROR_FILE_NOT_FOUND, u"The system cannot find the file specified."},
    {ERROR_PATH_NOT_FOUND, u"The system cannot find the path specified."},
    {ERROR_ACCESS_DENIED, u"Access is denied."},
    {ERROR_INVALID_PARAMETER, u"The parameter is incorrect."},
};

}  // namespace

DWORD WINAPI FormatMessageW(DWORD flags, LPCVOID, DWORD messageId, DWORD, LPWSTR buffer, DWORD size,
                            va_list *) {
  if (flags != (FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS) || buffer == nullptr) {
    sim::SetLastErrorValue(ERROR_INVALID_PARAMETER);
    return 0;
  }
  for (const Text &entry : kTexts) {
    if (entry.code != messageId) continue;
    std::u16string text = std::u16string(entry.text) + u"\r\n";
    if (text.size() + 1 > size) {
      sim::SetLastErrorValue(ERROR_INSUFFICIENT_BUFFER);
      return 0;
    }
    text.copy(buffer, text.size());
    buffer[text.size()] = 0;
    return static_cast<DWORD>(text.size());
  }
  sim::SetLastErrorValue(ERROR_MR_MID_NOT_FOUND);
  return 0;
}
