// LoadStringA and W: string tables hold blocks of sixteen counted UTF-16 texts;
// LoadStringA converts the text to the machine's ANSI code page.
#include <cstring>
#include <string>

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

template <class Unit>
bool Usable(Unit *buffer, int bufferMax) {
  if (buffer != nullptr && bufferMax > 0) return true;
  sim::SetLastErrorValue(ERROR_INVALID_PARAMETER);
  return false;
}

// The text, cut to the buffer and terminated; the units copied.
template <class Unit>
int Deliver(const std::basic_string<Unit> &text, Unit *buffer, int bufferMax) {
  int copied = int(text.size()) < bufferMax - 1 ? int(text.size()) : bufferMax - 1;
  std::memcpy(buffer, text.data(), size_t(copied) * sizeof(Unit));
  buffer[copied] = 0;
  return copied;
}

}  // namespace

int WINAPI LoadStringA(HINSTANCE instance, UINT id, LPSTR buffer, int bufferMax) {
  if (!Usable(buffer, bufferMax)) return 0;
  std::u16string text = LoadEntry(instance, id);
  std::string narrow;
  if (!text.empty()) {
    int size =
        WideCharToMultiByte(CP_ACP, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
    narrow.resize(size_t(size));
    WideCharToMultiByte(CP_ACP, 0, text.data(), int(text.size()), &narrow[0], size, nullptr,
                        nullptr);
  }
  return Deliver(narrow, buffer, bufferMax);
}

// A buffer size of 0, which on Windows asks for a pointer into the resource,
// is not modelled: the program never asks for it.
int WINAPI LoadStringW(HINSTANCE instance, UINT id, LPWSTR buffer, int bufferMax) {
  if (!Usable(buffer, bufferMax)) return 0;
  return Deliver(LoadEntry(instance, id), buffer, bufferMax);
}
