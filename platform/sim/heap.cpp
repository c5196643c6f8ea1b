// The process heap and the local heap. Every live block is recorded so tests can
// prove that nothing leaks, and a block freed twice or never allocated stops the
// test at once instead of corrupting memory quietly.
#include "internal/heap.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <unordered_map>

#include "internal/faults.h"
#include "internal/kernel.h"
#include "win32_kernel.h"

namespace sim {
namespace {

enum class Heap { process, local };

std::mutex blocksLock;
// Never destroyed: a block the program gives up on purpose (a job a stuck
// worker may still use) stays reachable through it to the very end, so the leak
// checker at exit does not take it for a leak.
std::unordered_map<void *, Heap> &blocks = *new std::unordered_map<void *, Heap>;

// Stands for the one process heap; never dereferenced.
char processHeapTag;

void *Allocate(Heap heap, SIZE_T bytes, bool zeroed) {
  if (TakeFault(Fault::allocation)) {
    SetLastErrorValue(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  void *block = zeroed ? std::calloc(bytes ? bytes : 1, 1) : std::malloc(bytes ? bytes : 1);
  if (block == nullptr) {
    SetLastErrorValue(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  std::lock_guard<std::mutex> guard(blocksLock);
  blocks.emplace(block, heap);
  return block;
}

[[noreturn]] void BadFree(const char *call, void *block) {
  std::fprintf(stderr, "win32 model: %s of %p, which is not a live block of that heap\n", call,
               block);
  std::abort();
}

void Release(Heap heap, const char *call, void *block) {
  {
    std::lock_guard<std::mutex> guard(blocksLock);
    auto found = blocks.find(block);
    if (found == blocks.end() || found->second != heap) BadFree(call, block);
    blocks.erase(found);
  }
  std::free(block);
}

}  // namespace

size_t LiveHeapBlockCount() {
  std::lock_guard<std::mutex> guard(blocksLock);
  return blocks.size();
}

}  // namespace sim

HANDLE WINAPI GetProcessHeap(void) { return &sim::processHeapTag; }

LPVOID WINAPI HeapAlloc(HANDLE heap, DWORD flags, SIZE_T bytes) {
  if (heap != GetProcessHeap()) {
    sim::SetLastErrorValue(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  return sim::Allocate(sim::Heap::process, bytes, (flags & HEAP_ZERO_MEMORY) != 0);
}

BOOL WINAPI HeapFree(HANDLE heap, DWORD, LPVOID block) {
  if (heap != GetProcessHeap()) {
    sim::SetLastErrorValue(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (block == nullptr) return TRUE;
  sim::Release(sim::Heap::process, "HeapFree", block);
  return TRUE;
}

HLOCAL WINAPI LocalAlloc(UINT flags, SIZE_T bytes) {
  // Only fixed blocks are modelled; the program never asks for movable ones.
  if (flags & ~static_cast<UINT>(LPTR)) {
    sim::SetLastErrorValue(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return sim::Allocate(sim::Heap::local, bytes, (flags & LMEM_ZEROINIT) != 0);
}

HLOCAL WINAPI LocalFree(HLOCAL block) {
  if (block == nullptr) return nullptr;
  sim::Release(sim::Heap::local, "LocalFree", block);
  return nullptr;
}
