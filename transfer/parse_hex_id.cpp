#include <cstring>

#include "target.h"

int ParseHexId(const char *text) {
  if (text == nullptr) return 0;
  static const char digits[] = "0123456789ABCDEF";
  // Unsigned arithmetic wraps, so a long text gives a defined (if useless)
  // value; for the four digits of a USB id it is exact.
  uint32_t sum = 0;
  uint32_t weight = 1;
  for (size_t position = std::strlen(text); position > 0; --position, weight *= 16) {
    char c = text[position - 1];
    const char *digit = c != 0 ? std::strchr(digits, c) : nullptr;
    if (digit != nullptr) sum += static_cast<uint32_t>(digit - digits) * weight;
  }
  return static_cast<int>(sum);
}
