// Conversion between UTF-16 and the code pages the program meets (1252, 932,
// UTF-8), through iconv. A character the code page cannot hold becomes the
// default character, '?', as on Windows.
#include <iconv.h>

#include <cerrno>
#include <cstring>
#include <mutex>
#include <string>

#include "internal/kernel.h"
#include "internal/locale.h"
#include "win32_kernel.h"

namespace {

const char *IconvName(UINT codePage) {
  if (codePage == CP_ACP) codePage = sim::AnsiCodePage();
  switch (codePage) {
    case 1252:
      return "CP1252";
    case 932:
      return "CP932";
    case CP_UTF8:
      return "UTF-8";
    default:
      return nullptr;
  }
}

// iconv_open and iconv_close load and unload the code page's module. glibc's
// loader keeps them apart with a lock of its own, which ThreadSanitizer does not
// see, so two threads converting at once looked like a race on the loader's
// memory: they also take this one.
std::mutex modulesLock;

struct Converter {
  Converter(const char *to, const char *from) {
    std::lock_guard<std::mutex> guard(modulesLock);
    cd = iconv_open(to, from);
  }
  ~Converter() {
    if (!ok()) return;
    std::lock_guard<std::mutex> guard(modulesLock);
    iconv_close(cd);
  }
  bool ok() const { return cd != reinterpret_cast<iconv_t>(-1); }
  // Converts as much as possible; returns false at a sequence it cannot convert,
  // with `in` left at it.
  bool Run(const char *&in, size_t &inLeft, std::string &out) {
    char chunk[256];
    while (inLeft > 0) {
      char *inPtr = const_cast<char *>(in);
      char *outPtr = chunk;
      size_t outLeft = sizeof chunk;
      size_t result = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
      out.append(chunk, static_cast<size_t>(outPtr - chunk));
      in = inPtr;
      if (result == static_cast<size_t>(-1) && errno != E2BIG) return false;
    }
    return true;
  }
  iconv_t cd;
};

// The five bytes code page 1252 leaves undefined; Windows maps each to the
// control character of the same value, both ways, where iconv refuses them.
bool Undefined1252(const char *codePage, unsigned value) {
  return std::strcmp(codePage, "CP1252") == 0 &&
         (value == 0x81 || value == 0x8D || value == 0x8F || value == 0x90 || value == 0x9D);
}

// Number of UTF-16 units in the character that starts at `text`.
size_t UnitsOfCharacter(const char16_t *text, size_t left) {
  bool pair =
      left >= 2 && text[0] >= 0xD800 && text[0] <= 0xDBFF && text[1] >= 0xDC00 && text[1] <= 0xDFFF;
  return pair ? 2 : 1;
}

bool Narrow(const char *codePage, const char16_t *wide, size_t count, char defaultChar,
            std::string &out, bool &usedDefault) {
  Converter converter(codePage, "UTF-16LE");
  if (!converter.ok()) return false;
  const char *in = reinterpret_cast<const char *>(wide);
  size_t inLeft = count * sizeof(char16_t);
  while (!converter.Run(in, inLeft, out)) {
    const char16_t *at = reinterpret_cast<const char16_t *>(in);
    size_t units = UnitsOfCharacter(at, inLeft / 2);
    if (Undefined1252(codePage, *at)) {
      out.push_back(char(*at));
    } else {
      out.push_back(defaultChar);
      usedDefault = true;
    }
    in += units * 2;
    inLeft -= units * 2;
    iconv(converter.cd, nullptr, nullptr, nullptr, nullptr);
  }
  return true;
}

bool Widen(const char *codePage, const char *narrow, size_t count, std::u16string &out) {
  Converter converter("UTF-16LE", codePage);
  if (!converter.ok()) return false;
  std::string bytes;
  const char *in = narrow;
  size_t inLeft = count;
  while (!converter.Run(in, inLeft, bytes)) {
    // An invalid byte becomes U+FFFD and the conversion goes on after it.
    unsigned char byte = static_cast<unsigned char>(*in);
    if (Undefined1252(codePage, byte))
      bytes.append({char(byte), '\0'});
    else
      bytes.append("\xFD\xFF", 2);
    ++in;
    --inLeft;
    iconv(converter.cd, nullptr, nullptr, nullptr, nullptr);
  }
  out.assign(reinterpret_cast<const char16_t *>(bytes.data()), bytes.size() / 2);
  return true;
}

}  // namespace

int WINAPI WideCharToMultiByte(UINT codePage, DWORD, LPCWSTR wide, int wideCount, LPSTR narrow,
                               int narrowSize, LPCSTR defaultChar, LPBOOL usedDefaultChar) {
  const char *name = IconvName(codePage);
  if (wide == nullptr || name == nullptr || narrowSize < 0 || wideCount == 0 ||
      (narrowSize > 0 && narrow == nullptr)) {
    sim::SetLastErrorValue(ERROR_INVALID_PARAMETER);
    return 0;
  }
  // A count of -1 means "up to and including the terminator".
  size_t count = 0;
  if (wideCount < 0) {
    while (wide[count] != 0) ++count;
    ++count;
  } else {
    count = static_cast<size_t>(wideCount);
  }
  std::string out;
  bool usedDefault = false;
  if (!Narrow(name, wide, count, defaultChar ? *defaultChar : '?', out, usedDefault)) {
    sim::SetLastErrorValue(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (usedDefaultChar != nullptr) *usedDefaultChar = usedDefault ? TRUE : FALSE;
  if (narrowSize == 0) return static_cast<int>(out.size());
  if (out.size() > static_cast<size_t>(narrowSize)) {
    std::memcpy(narrow, out.data(), static_cast<size_t>(narrowSize));
    sim::SetLastErrorValue(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::memcpy(narrow, out.data(), out.size());
  return static_cast<int>(out.size());
}

int WINAPI MultiByteToWideChar(UINT codePage, DWORD, LPCSTR narrow, int narrowCount, LPWSTR wide,
                               int wideCount) {
  const char *name = IconvName(codePage);
  if (narrow == nullptr || name == nullptr || wideCount < 0 || narrowCount == 0 ||
      (wideCount > 0 && wide == nullptr)) {
    sim::SetLastErrorValue(ERROR_INVALID_PARAMETER);
    return 0;
  }
  size_t count = narrowCount < 0 ? std::strlen(narrow) + 1 : static_cast<size_t>(narrowCount);
  std::u16string out;
  if (!Widen(name, narrow, count, out)) {
    sim::SetLastErrorValue(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (wideCount == 0) return static_cast<int>(out.size());
  if (out.size() > static_cast<size_t>(wideCount)) {
    std::memcpy(wide, out.data(), static_cast<size_t>(wideCount) * sizeof(char16_t));
    sim::SetLastErrorValue(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::memcpy(wide, out.data(), out.size() * sizeof(char16_t));
  return static_cast<int>(out.size());
}
