// String helpers of KERNEL32 and USER32.
//
// Windows compares with the user's locale (CompareString); the model compares
// bytes, which agrees with Windows on equality, the only answer the program uses.
// Upper-casing covers ASCII, and for code page 1252 its accented letters; in code
// page 932 both bytes of a double-byte character are left alone.
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "internal/locale.h"
#include "win32_kernel.h"

namespace {

unsigned char UpperByte(unsigned char c) {
  if (c >= 'a' && c <= 'z') return static_cast<unsigned char>(c - 0x20);
  if (sim::AnsiCodePage() == 1252) {
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<unsigned char>(c - 0x20);
    if (c == 0x9A || c == 0x9C || c == 0x9E) return static_cast<unsigned char>(c - 0x10);
    if (c == 0xFF) return 0x9F;
  }
  return c;
}

void UpperInPlace(char *text) {
  for (unsigned char *p = reinterpret_cast<unsigned char *>(text); *p != 0; ++p) {
    if (sim::IsLeadByte(*p)) {
      if (p[1] == 0) break;
      ++p;
      continue;
    }
    *p = UpperByte(*p);
  }
}

int Sign(int value) { return (value > 0) - (value < 0); }

// wsprintfA knows no floating point and no pointers; a format that asks for them
// is a programming error the model reports at once.
void CheckFormat(const char *format) {
  for (const char *p = format; *p; ++p) {
    if (*p != '%') continue;
    ++p;
    while (*p && std::strchr("-+ #0123456789.", *p)) ++p;
    if (*p == 'l' || *p == 'h') ++p;
    if (*p == 0 || !std::strchr("%cdiuxXs", *p)) {
      std::fprintf(stderr, "win32 model: wsprintfA cannot format \"%s\"\n", format);
      std::abort();
    }
  }
}

}  // namespace

int WINAPI lstrcmpA(LPCSTR first, LPCSTR second) {
  if (first == nullptr || second == nullptr) return (first != nullptr) - (second != nullptr);
  return Sign(std::strcmp(first, second));
}

int WINAPI lstrcmpiA(LPCSTR first, LPCSTR second) {
  if (first == nullptr || second == nullptr) return (first != nullptr) - (second != nullptr);
  std::string a(first), b(second);
  UpperInPlace(&a[0]);
  UpperInPlace(&b[0]);
  return Sign(std::strcmp(a.c_str(), b.c_str()));
}

int WINAPI lstrlenA(LPCSTR text) {
  return text == nullptr ? 0 : static_cast<int>(std::strlen(text));
}

LPSTR WINAPI CharUpperA(LPSTR text) {
  // A pointer whose high word is zero carries one character in its low byte.
  // Every bit above the low word counts: a 64-bit heap address can have bits
  // 16 to 31 clear (AddressSanitizer's often do).
  if ((reinterpret_cast<ULONG_PTR>(text) >> 16) == 0) {
    ULONG_PTR c = UpperByte(static_cast<unsigned char>(LOWORD(text)));
    return reinterpret_cast<LPSTR>(c);
  }
  UpperInPlace(text);
  return text;
}

int wsprintfA(LPSTR buffer, LPCSTR format, ...) {
  // wsprintfA writes at most 1024 bytes, the terminator included.
  constexpr size_t limit = 1024;
  CheckFormat(format);
  char formatted[limit];
  va_list arguments;
  va_start(arguments, format);
  int length = std::vsnprintf(formatted, sizeof formatted, format, arguments);
  va_end(arguments);
  if (length < 0) length = 0;
  if (static_cast<size_t>(length) >= limit) length = limit - 1;
  std::memcpy(buffer, formatted, static_cast<size_t>(length));
  buffer[length] = 0;
  return length;
}
