#include "error_text.h"

#include <cstring>

namespace {

constexpr DWORD kWideSize = 512;
// What UTF-8 may take for kWideSize UTF-16 units, and its terminator.
constexpr int kNarrowSize = 3 * static_cast<int>(kWideSize) + 1;

bool IsLineBreak(char c) { return c == '\r' || c == '\n'; }

// The system ends its texts with a line break and writes some over several
// lines: a log line must stay one line, so every break becomes a space, and
// the trailing ones go.
void OnOneLine(char *text) {
  size_t length = std::strlen(text);
  while (length > 0 && (IsLineBreak(text[length - 1]) || text[length - 1] == ' '))
    text[--length] = 0;
  for (size_t i = 0; i < length; ++i)
    if (IsLineBreak(text[i])) text[i] = ' ';
}

}  // namespace

void PortAppendText(char *text, int size, const char *piece) {
  if (text == nullptr || size <= 0 || piece == nullptr) return;
  size_t at = strnlen(text, static_cast<size_t>(size) - 1);
  size_t room = static_cast<size_t>(size) - 1 - at;
  size_t length = strnlen(piece, room + 1);
  if (length > room) {
    length = room;
    // Never half a character: continuation bytes are 10xxxxxx.
    while (length > 0 && (static_cast<unsigned char>(piece[length]) & 0xC0) == 0x80) --length;
  }
  std::memcpy(text + at, piece, length);
  text[at + length] = 0;
}

void PortErrorText(DWORD error, char *text, int size) {
  if (text == nullptr || size <= 0) return;
  text[0] = 0;
  char number[24];
  wsprintfA(number, "error %lu", static_cast<unsigned long>(error));
  PortAppendText(text, size, number);

  WCHAR wide[kWideSize];
  DWORD count = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                               error, 0, wide, kWideSize, nullptr);
  if (count == 0 || count >= kWideSize) return;
  char words[kNarrowSize];
  int length = WideCharToMultiByte(CP_UTF8, 0, wide, static_cast<int>(count), words,
                                   kNarrowSize - 1, nullptr, nullptr);
  if (length <= 0) return;
  words[length] = 0;
  OnOneLine(words);
  if (words[0] == 0) return;
  PortAppendText(text, size, ": ");
  PortAppendText(text, size, words);
}
