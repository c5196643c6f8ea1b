#include "internal/locale.h"

#include <atomic>

namespace sim {
namespace {
std::atomic<WORD> uiLanguage{1033};
}

WORD UiLanguage() { return uiLanguage; }

UINT AnsiCodePage() { return uiLanguage == 1041 ? 932u : 1252u; }

bool SetUiLanguage(WORD language) {
  if (language != 1033 && language != 1041) return false;
  uiLanguage = language;
  return true;
}

bool IsLeadByte(unsigned char byte) {
  if (AnsiCodePage() != 932) return false;
  return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

}  // namespace sim
