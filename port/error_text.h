// The system's own words for an error, for the lines a person reads.
#pragma once

#include "platform/win32.h"

// Room for "error 4294967295: " and the system's text.
constexpr int kErrorTextSize = 320;

// "error 21: The device is not ready." in `text` (`size` bytes): the system's
// text in the system's language, as UTF-8 on one line; "error 21" alone when
// the system has no text for the code.
void PortErrorText(DWORD error, char *text, int size);
// Appends `piece` to the text in `text` (`size` bytes), cut at a whole UTF-8
// character to the room left.
void PortAppendText(char *text, int size, const char *piece);
