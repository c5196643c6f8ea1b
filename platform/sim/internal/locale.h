// The machine's user-interface language and its ANSI code page, set apart.
#pragma once

#include "../win32_types.h"

namespace sim {

WORD UiLanguage();
UINT AnsiCodePage();
// 1033 or 1041; anything else is refused.
bool SetUiLanguage(WORD language);
// 1252 or 932; anything else is refused.
bool SetAnsiCodePage(UINT codePage);

// True when `byte` starts a two-byte character in the ANSI code page.
bool IsLeadByte(unsigned char byte);

}  // namespace sim
