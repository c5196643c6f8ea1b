// Text as USER32 converts it between its UTF-16 windows and the program's
// narrow calls, and as the world reads it.
#include <string>

#include "internal/ui.h"
#include "win32_kernel.h"

namespace sim {
namespace {

std::u16string Widen(UINT codePage, const std::string &narrow) {
  if (narrow.empty()) return std::u16string();
  int size = MultiByteToWideChar(codePage, 0, narrow.data(), int(narrow.size()), nullptr, 0);
  std::u16string wide(size_t(size > 0 ? size : 0), u'\0');
  if (size > 0) MultiByteToWideChar(codePage, 0, narrow.data(), int(narrow.size()), &wide[0], size);
  return wide;
}

std::string Narrow(UINT codePage, const std::u16string &wide) {
  if (wide.empty()) return std::string();
  int size =
      WideCharToMultiByte(codePage, 0, wide.data(), int(wide.size()), nullptr, 0, nullptr, nullptr);
  std::string narrow(size_t(size > 0 ? size : 0), '\0');
  if (size > 0)
    WideCharToMultiByte(codePage, 0, wide.data(), int(wide.size()), &narrow[0], size, nullptr,
                        nullptr);
  return narrow;
}

}  // namespace

std::u16string WideFromAnsi(const std::string &narrow) { return Widen(CP_ACP, narrow); }
std::string AnsiFromWide(const std::u16string &wide) { return Narrow(CP_ACP, wide); }
std::u16string ThroughAnsi(const std::u16string &wide) { return WideFromAnsi(AnsiFromWide(wide)); }
std::string Utf8FromWide(const std::u16string &wide) { return Narrow(CP_UTF8, wide); }

}  // namespace sim
