// The machine's user-interface language and the ANSI code page that goes with it.
#pragma once

#include "../win32_types.h"

namespace sim {

WORD UiLanguage();
UINT AnsiCodePage();
// 1033 (code page 1252) or 1041 (code page 932); anything else is refused.
bool SetUiLanguage(WORD language);

// True when `byte` starts a two-byte character in the ANSI code page.
bool IsLeadByte(unsigned char byte);

}  // namespace sim
