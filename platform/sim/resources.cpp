// Resource lookup. The .res file is parsed once: a sequence of records, each a
// header (data size, header size, type, name, DWORD alignment, data version,
// memory flags, language, version, characteristics) followed by the data padded
// to a DWORD. Types and names are 16-bit ids (0xFFFF, id) or UTF-16 texts.
//
// Language choice follows Windows: the user-interface language, then neutral,
// then US English, then whichever language the resource has.
#include "internal/resources.h"

#include <cstring>
#include <deque>
#include <memory>
#include <mutex>

#include "internal/kernel.h"
#include "internal/locale.h"
#include "internal/net.h"
#include "win32_resources.h"

namespace sim {
namespace {

struct Entry {
  ResName type;
  ResName name;
  ResourceData data;
  bool removed;  // a replacement that takes the resource away
};

std::mutex resourcesLock;
std::deque<Entry> compiled;
std::deque<Entry> replacements;  // newest last; kept until RestoreResourceData
std::deque<std::vector<BYTE>> replacementBytes;
bool parsed = false;

uint32_t Read32(const BYTE *p) { return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24; }
uint16_t Read16(const BYTE *p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

char UpperAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 0x20) : c; }

// Reads a type or name field at `p`, no further than `end`; returns the byte after it.
const BYTE *ReadName(const BYTE *p, const BYTE *end, ResName &out) {
  if (end - p >= 4 && Read16(p) == 0xFFFF) {
    out.isId = true;
    out.id = Read16(p + 2);
    return p + 4;
  }
  out.isId = false;
  for (; end - p >= 2; p += 2) {
    uint16_t unit = Read16(p);
    if (unit == 0) return p + 2;
    out.text.push_back(UpperAscii(static_cast<char>(unit < 0x80 ? unit : '?')));
  }
  return end;
}

void Parse() {
  const BYTE *p = simResourceBlob;
  const BYTE *end = simResourceBlobEnd;
  while (end - p >= 32) {
    uint32_t dataSize = Read32(p);
    uint32_t headerSize = Read32(p + 4);
    if (headerSize < 32 || headerSize > uint32_t(end - p) ||
        dataSize > uint32_t(end - p) - headerSize)
      break;
    Entry entry{};
    const BYTE *field = ReadName(p + 8, p + headerSize, entry.type);
    field = ReadName(field, p + headerSize, entry.name);
    field = p + ((field - p + 3) & ~3);
    // Data version (4) and memory flags (2) come before the language.
    if (p + headerSize - field >= 8) entry.data.language = Read16(field + 6);
    entry.data.bytes = p + headerSize;
    entry.data.size = dataSize;
    // The leading empty record of every .res file has type and name 0.
    if (!(entry.type.isId && entry.type.id == 0)) compiled.push_back(entry);
    p += headerSize + ((dataSize + 3) & ~3u);
  }
}

bool Same(const ResName &a, const ResName &b) {
  if (a.isId != b.isId) return false;
  return a.isId ? a.id == b.id : a.text == b.text;
}

// The newest entry for exactly this type, name and language, replacements first.
const Entry *Lookup(const ResName &type, const ResName &name, WORD language) {
  for (auto it = replacements.rbegin(); it != replacements.rend(); ++it)
    if (Same(it->type, type) && Same(it->name, name) && it->data.language == language) return &*it;
  for (const Entry &entry : compiled)
    if (Same(entry.type, type) && Same(entry.name, name) && entry.data.language == language)
      return &entry;
  return nullptr;
}

const Entry *LookupPresent(const ResName &type, const ResName &name, WORD language) {
  const Entry *entry = Lookup(type, name, language);
  return entry && !entry->removed ? entry : nullptr;
}

void EnsureParsed() {
  if (!parsed) {
    Parse();
    parsed = true;
  }
}

}  // namespace

ResName ResNameFrom(LPCSTR nameOrId) {
  ResName name;
  if (IS_INTRESOURCE(nameOrId)) {
    name.id = LOWORD(nameOrId);
    return name;
  }
  // "#123" names the id 123, as FindResource takes it.
  if (nameOrId[0] == '#') {
    name.id = static_cast<WORD>(std::strtoul(nameOrId + 1, nullptr, 10));
    return name;
  }
  name.isId = false;
  for (const char *p = nameOrId; *p; ++p) name.text.push_back(UpperAscii(*p));
  return name;
}

const ResourceData *FindResourceData(const ResName &type, const ResName &name, DWORD &error) {
  std::lock_guard<std::mutex> guard(resourcesLock);
  EnsureParsed();
  for (WORD language : {UiLanguage(), WORD(0), WORD(1033)}) {
    if (const Entry *entry = LookupPresent(type, name, language)) return &entry->data;
  }
  bool typeSeen = false;
  for (const std::deque<Entry> *list : {&replacements, &compiled}) {
    for (const Entry &entry : *list) {
      if (!Same(entry.type, type)) continue;
      typeSeen = true;
      if (Same(entry.name, name) && LookupPresent(type, name, entry.data.language))
        return &LookupPresent(type, name, entry.data.language)->data;
    }
  }
  error = typeSeen ? ERROR_RESOURCE_NAME_NOT_FOUND : ERROR_RESOURCE_TYPE_NOT_FOUND;
  return nullptr;
}

const ResourceData *FindExact(const ResName &type, const ResName &name, WORD language) {
  std::lock_guard<std::mutex> guard(resourcesLock);
  EnsureParsed();
  const Entry *entry = LookupPresent(type, name, language);
  return entry ? &entry->data : nullptr;
}

void ReplaceResourceData(const ResName &type, const ResName &name, WORD language,
                         std::vector<BYTE> bytes) {
  std::lock_guard<std::mutex> guard(resourcesLock);
  replacementBytes.push_back(std::move(bytes));
  const std::vector<BYTE> &kept = replacementBytes.back();
  replacements.push_back(
      Entry{type, name, ResourceData{kept.data(), DWORD(kept.size()), language}, false});
}

void RemoveResourceData(const ResName &type, const ResName &name, WORD language) {
  std::lock_guard<std::mutex> guard(resourcesLock);
  replacements.push_back(Entry{type, name, ResourceData{nullptr, 0, language}, true});
}

void RestoreResourceData() {
  std::lock_guard<std::mutex> guard(resourcesLock);
  replacements.clear();
  replacementBytes.clear();
}

}  // namespace sim

namespace {
// The one module: the program itself.
char moduleTag;
HMODULE ProgramModule() { return reinterpret_cast<HMODULE>(&moduleTag); }

bool IsProgram(HMODULE module) { return module == nullptr || module == ProgramModule(); }
}  // namespace

HMODULE WINAPI GetModuleHandleA(LPCSTR moduleName) {
  if (moduleName == nullptr) return ProgramModule();
  if (HMODULE system = sim::SystemModule(moduleName)) return system;
  sim::SetLastErrorValue(ERROR_MOD_NOT_FOUND);
  return nullptr;
}

HRSRC WINAPI FindResourceA(HMODULE module, LPCSTR name, LPCSTR type) {
  if (!IsProgram(module) || name == nullptr || type == nullptr) {
    sim::SetLastErrorValue(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  DWORD error = ERROR_SUCCESS;
  const sim::ResourceData *data =
      sim::FindResourceData(sim::ResNameFrom(type), sim::ResNameFrom(name), error);
  if (data == nullptr) {
    sim::SetLastErrorValue(error);
    return nullptr;
  }
  return reinterpret_cast<HRSRC>(const_cast<sim::ResourceData *>(data));
}

HRSRC WINAPI FindResourceExA(HMODULE module, LPCSTR type, LPCSTR name, WORD language) {
  if (!IsProgram(module) || name == nullptr || type == nullptr) {
    sim::SetLastErrorValue(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  const sim::ResourceData *data =
      sim::FindExact(sim::ResNameFrom(type), sim::ResNameFrom(name), language);
  if (data == nullptr) {
    sim::SetLastErrorValue(ERROR_RESOURCE_LANG_NOT_FOUND);
    return nullptr;
  }
  return reinterpret_cast<HRSRC>(const_cast<sim::ResourceData *>(data));
}

DWORD WINAPI SizeofResource(HMODULE module, HRSRC resource) {
  if (!IsProgram(module) || resource == nullptr) {
    sim::SetLastErrorValue(ERROR_INVALID_HANDLE);
    return 0;
  }
  return reinterpret_cast<const sim::ResourceData *>(resource)->size;
}

HGLOBAL WINAPI LoadResource(HMODULE module, HRSRC resource) {
  if (!IsProgram(module) || resource == nullptr) {
    sim::SetLastErrorValue(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  const BYTE *bytes = reinterpret_cast<const sim::ResourceData *>(resource)->bytes;
  return const_cast<BYTE *>(bytes);
}

LPVOID WINAPI LockResource(HGLOBAL data) { return data; }
