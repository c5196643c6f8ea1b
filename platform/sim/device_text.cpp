// Texts that name devices: GUIDs as OLE writes them, paths as the registry
// keys them, and the case-blind comparison the object manager and the
// registry make of both.
#include <algorithm>
#include <cctype>
#include <cstdio>

#include "internal/devices.h"

namespace sim {

const GUID usbPrintInterface = {
    0x28D78FAD, 0x5A12, 0x11D1, {0xAE, 0x5B, 0x00, 0x00, 0xF8, 0x03, 0xA8, 0xC2}};

std::string GuidText(const GUID &guid, bool upper) {
  char text[40];
  std::snprintf(text, sizeof text,
                upper ? "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}"
                      : "{%08x-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x}",
                unsigned(guid.Data1), unsigned(guid.Data2), unsigned(guid.Data3), guid.Data4[0],
                guid.Data4[1], guid.Data4[2], guid.Data4[3], guid.Data4[4], guid.Data4[5],
                guid.Data4[6], guid.Data4[7]);
  return text;
}

bool SameGuid(const GUID &a, const GUID &b) {
  return a.Data1 == b.Data1 && a.Data2 == b.Data2 && a.Data3 == b.Data3 &&
         std::equal(a.Data4, a.Data4 + 8, b.Data4);
}

bool SameTextIgnoringCase(const std::string &a, const std::string &b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

std::string KeyForm(std::string path) {
  for (char &c : path)
    if (c == '\\') c = '#';
  return path;
}

}  // namespace sim

int WINAPI StringFromGUID2(REFGUID guid, LPOLESTR text, int textMax) {
  std::string narrow = sim::GuidText(guid, true);
  int needed = int(narrow.size()) + 1;
  if (text == nullptr || textMax < needed) return 0;
  for (int i = 0; i < needed; ++i) text[i] = char16_t(narrow.c_str()[i]);
  return needed;
}
