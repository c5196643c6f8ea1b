#include "internal/locale.h"

#include <atomic>

namespace sim {
namespace {
// Windows keeps the two apart: a Western system with a Japanese language pack
// shows Japanese resources but converts narrow text through code page 1252.
std::atomic<WORD> uiLanguage{1033};
std::atomic<UINT> ansiCodePage{1252};
}  // namespace

WORD UiLanguage() { return uiLanguage; }

UINT AnsiCodePage() { return ansiCodePage; }

bool SetUiLanguage(WORD language) {
  if (language != 1033 && language != 1041) return false;
  uiLanguage = language;
  return true;
}

bool SetAnsiCodePage(UINT codePage) {
  if (codePage != 1252 && codePage != 932) return false;
  ansiCodePage = codePage;
  return true;
}

bool IsLeadByte(unsigned char byte) {
  if (AnsiCodePage() != 932) return false;
  return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

}  // namespace sim
