// What the model counts as alive.
#include "network_peer.h"
#include "world.h"
#include "world_net.h"

LiveCounts TakeLiveCounts() {
  return LiveCounts{world::LiveHandles(), world::LiveThreads(), world::LiveHeapBlocks(),
                    world::LiveSockets()};
}

size_t HandleSlack() { return 0; }

void WaitForPortThreads() { world::WaitUntilQuiet(); }

bool MakeEchoesUnanswered() {
  world::SetEchoesAnswered(false);
  return true;
}

void SpeedUpClock(double factor) { world::SetClockSpeed(factor); }
