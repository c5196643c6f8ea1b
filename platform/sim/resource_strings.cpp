// LoadStringA and W: string tables hold blocks of sixteen counted UTF-16 texts;
// LoadStringA converts the text to the machine's ANSI code page.
#include <cstring>
#include <string>
#include <vector>

#include "internal/kernel.h"
#include "internal/resources.h"
#include "win32_kernel.h"
#include "win32_resources.h"

namespace {

// The text of entry `id` in a block; empty when the block has none.
std::u16string EntryText(const BYTE *block, DWORD size, UINT id) {
  DWORD offset = 0;
  for (UINT position = 0; position < 16 && offset + 2 <= size; ++position) {
    DWORD count = block[offset] | block[offset + 1] << 8;
    offset += 2;
    if (count * 2 > size - offset) break;
    if (position == (id & 15)) {
      std::u16string text(count, u'\0');
      for (DWORD i = 0; i < count; ++i)
        text[i] = char16_t(block[offset + 2 * i] | block[offset + 2 * i + 1] << 8);
      return text;
    }
    offset += count * 2;
  }
  return std::u16string();
}

// The entry's text; empty (with the error set) when the table has none.
std::u16string LoadEntry(HINSTANCE instance, UINT id) {
  HRSRC found = FindResourceA(instance, MAKEINTRESOURCEA((id >> 4) + 1), RT_STRING);
  if (found == nullptr) return std::u16string();
  const BYTE *block = static_cast<const BYTE *>(LockResource(LoadResource(instance, found)));
  std::u16string text = EntryText(block, SizeofResource(instance, found), id);
  if (text.empty()) sim::SetLastErrorValue(ERROR_RESOURCE_NAME_NOT_FOUND);
  return text;
}

}  // namespace

int WINAPI LoadStringA(HINSTANCE instance, UINT id, LPSTR buffer, int bufferMax) {
  if (buffer == nullptr || bufferMax <= 0) {
    sim::SetLastErrorValue(ERROR_INVALID_PARAMETER);
    return 0;
  }
  buffer[0] = 0;
  std::u16string text = LoadEntry(instance, id);
  if (text.empty()) return 0;
  int size =
      WideCharToMultiByte(CP_ACP, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
  std::vector<char> narrow(size_t(size) + 1);
  WideCharToMultiByte(CP_ACP, 0, text.data(), int(text.size()), narrow.data(), size, nullptr,
                      nullptr);
  int copied = size < bufferMax - 1 ? size : bufferMax - 1;
  std::memcpy(buffer, narrow.data(), size_t(copied));
  buffer[copied] = 0;
  return copied;
}

// A buffer size of 0, which on Windows asks for a pointer into the resource,
// is not modelled: the program never asks for it.
int WINAPI LoadStringW(HINSTANCE instance, UINT id, LPWSTR buffer, int bufferMax) {
  if (buffer == nullptr || bufferMax <= 0) {
    sim::SetLastErrorValue(ERROR_INVALID_PARAMETER);
    return 0;
  }
  buffer[0] = 0;
  std::u16string text = LoadEntry(instance, id);
  int copied = int(text.size()) < bufferMax - 1 ? int(text.size()) : bufferMax - 1;
  std::memcpy(buffer, text.data(), size_t(copied) * sizeof(char16_t));
  buffer[copied] = 0;
  return copied;
}
