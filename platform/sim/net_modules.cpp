// NTDLL as GetModuleHandleA and GetProcAddress see it: one procedure, the IPv6
// text conversion, which the world can take away.
#include <cctype>
#include <cstring>
#include <string>

#include "internal/kernel.h"
#include "internal/net.h"
#include "win32_net.h"

namespace sim {
namespace {

char ntdllTag;

bool SameName(const char *a, const char *b) {
  for (; *a != '\0' && *b != '\0'; ++a, ++b)
    if (std::tolower(static_cast<unsigned char>(*a)) !=
        std::tolower(static_cast<unsigned char>(*b)))
      return false;
  return *a == *b;
}

constexpr LONG kStatusSuccess = 0;
constexpr LONG kStatusInvalidParameter = LONG(0xC000000Du);

// As Windows' routine: parses up to the first character that cannot belong to
// the address, says where that is, and writes the address only when the text
// before it is one.
LONG WINAPI RtlIpv6StringToAddressA(const char *text, const char **end, in6_addr *address) {
  if (text == nullptr || end == nullptr || address == nullptr) return kStatusInvalidParameter;
  unsigned char bytes[16];
  if (!HostParseIpv6(text, end, bytes)) return kStatusInvalidParameter;
  std::memcpy(address->s6_addr, bytes, sizeof bytes);
  return kStatusSuccess;
}

}  // namespace

HMODULE SystemModule(const char *name) {
  if (SameName(name, "ntdll.dll") || SameName(name, "ntdll"))
    return reinterpret_cast<HMODULE>(&ntdllTag);
  return nullptr;
}

}  // namespace sim

FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR name) {
  if (module != reinterpret_cast<HMODULE>(&sim::ntdllTag)) {
    sim::SetLastErrorValue(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  if (name != nullptr && ((ULONG_PTR)name >> 16) != 0 &&
      std::strcmp(name, "RtlIpv6StringToAddressA") == 0 && sim::Ipv6ConversionAvailable())
    return reinterpret_cast<FARPROC>(
        reinterpret_cast<void (*)(void)>(sim::RtlIpv6StringToAddressA));
  sim::SetLastErrorValue(ERROR_PROC_NOT_FOUND);
  return nullptr;
}
