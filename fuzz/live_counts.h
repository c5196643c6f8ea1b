// Every input must leave the model as it found it: an input that leaks a
// handle, a thread or a heap block is a finding like a crash.
#pragma once

#include <cstddef>

struct LiveCounts {
  size_t handles;
  size_t threads;
  size_t heapBlocks;
};

LiveCounts CountLive();
// Aborts, naming what grew, when anything is alive that was not in `before`.
void RequireNothingLeft(const LiveCounts &before, const char *target);
// Aborts with `what` when `holds` is false: a wrong result, not a crash.
void Require(bool holds, const char *target, const char *what);
