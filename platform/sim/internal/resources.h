// The program's compiled resources (a .res file embedded in the test binary)
// and the replacements tests make.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "../win32_types.h"

// Provided by the build: the bytes of the compiled .res file.
extern "C" const unsigned char simResourceBlob[];
extern "C" const unsigned char simResourceBlobEnd[];

namespace sim {

// A resource type or name: a 16-bit id, or an upper-case text.
struct ResName {
  bool isId = true;
  WORD id = 0;
  std::string text;
};

ResName ResNameFrom(LPCSTR nameOrId);

// The resource in one language; null when there is none in any language.
struct ResourceData {
  const BYTE *bytes;
  DWORD size;
  WORD language;
};
const ResourceData *FindResourceData(const ResName &type, const ResName &name, DWORD &error);

// Exactly the resource in `language`, without falling back; null when absent.
const ResourceData *FindExact(const ResName &type, const ResName &name, WORD language);

void ReplaceResourceData(const ResName &type, const ResName &name, WORD language,
                         std::vector<BYTE> bytes);
void RemoveResourceData(const ResName &type, const ResName &name, WORD language);
void RestoreResourceData();

}  // namespace sim
