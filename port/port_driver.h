// What the port layer's files share: the per-kind operations as four parallel
// tables indexed by the port's kind, the process heap that ports own their
// records and texts on, and the 64-bit slots that keep handles.
#pragma once

#include "platform/win32.h"
#include "port.h"

typedef int (*PortOpenEntry)(Port *port);
typedef int (*PortCloseEntry)(Port *port);
typedef int (*PortReadEntry)(Port *port, void *buffer, uint32_t *count);
typedef int (*PortWriteEntry)(Port *port, const void *buffer, uint32_t *count);
// 0 when the device answered, 1 when it did not: the opposite of every other entry.
typedef int (*PortCheckEntry)(Port *port);
typedef Port *(*PortConstructEntry)(void);
// Frees the record of a port that PortDestroy has closed.
typedef int (*PortDestroyEntry)(Port *port);

struct PortIoEntries {
  PortOpenEntry open;
  PortCloseEntry close;
  PortReadEntry read;
  PortWriteEntry write;
};

struct PortDriver {
  PortIoEntries io[PORT_KIND_COUNT];
  PortCheckEntry check[PORT_KIND_COUNT];
  PortConstructEntry construct[PORT_KIND_COUNT];
  PortDestroyEntry destroy[PORT_KIND_COUNT];
};

extern const PortDriver portDriver;

// The null kind: every operation succeeds and does nothing, the check answers
// "answered", and the constructor makes no record.
int NullSucceed(Port *port);
int NullSucceed(Port *port, void *buffer, uint32_t *count);
int NullSucceed(Port *port, const void *buffer, uint32_t *count);
int NullZero(Port *port);
Port *NullZero(void);

// A zero-filled record of type T on the process heap, or null.
template <class T>
T *PortHeapAlloc() {
  return static_cast<T *>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(T)));
}

inline void PortHeapFree(void *block) {
  if (block != nullptr) HeapFree(GetProcessHeap(), 0, block);
}

// A thread handle kept in a 64-bit slot (Port::notifyThread, PortJob::thread):
// sign-extended through intptr_t, as the records always have, so a 32-bit
// build gets its handle back whole.
inline uint64_t HandleToSlot(HANDLE handle) {
  return static_cast<uint64_t>(static_cast<int64_t>(reinterpret_cast<intptr_t>(handle)));
}
inline HANDLE SlotToHandle(uint64_t slot) {
  return reinterpret_cast<HANDLE>(static_cast<intptr_t>(static_cast<int64_t>(slot)));
}
