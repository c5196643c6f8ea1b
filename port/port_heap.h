// Records and texts that ports own live on the process heap.
#pragma once

#include "platform/win32.h"

// A zero-filled record of type T, or null.
template <class T>
T *PortHeapAlloc() {
  return static_cast<T *>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(T)));
}

inline void PortHeapFree(void *block) {
  if (block != nullptr) HeapFree(GetProcessHeap(), 0, block);
}
