#include "live_counts.h"

#include <cstdio>
#include <cstdlib>

#include "world.h"

LiveCounts CountLive() {
  world::WaitUntilQuiet();
  return {world::LiveHandles(), world::LiveThreads(), world::LiveHeapBlocks()};
}

void RequireNothingLeft(const LiveCounts &before, const char *target) {
  LiveCounts after = CountLive();
  Require(after.handles <= before.handles, target, "a handle was left open");
  Require(after.threads <= before.threads, target, "a thread was left running");
  Require(after.heapBlocks <= before.heapBlocks, target, "a heap block was left allocated");
}

void Require(bool holds, const char *target, const char *what) {
  if (holds) return;
  std::fprintf(stderr, "%s: %s\n", target, what);
  std::fflush(stderr);
  std::abort();
}
