// Faults injected at named device calls. Each fault covers a window of calls
// counted from the moment it is armed; where windows of the same call overlap,
// the fault armed first decides.
#include <algorithm>
#include <map>
#include <mutex>

#include "internal/devices.h"

namespace sim {
namespace {

struct Armed {
  world::DeviceFault fault;
  unsigned before;  // calls still to pass untouched
  unsigned left;    // calls still to hit after those
};

std::mutex faultsLock;
std::vector<Armed> armed;
std::map<world::DeviceCall, unsigned> callsMade;

}  // namespace

bool TakeDeviceFault(world::DeviceCall call, world::DeviceFault &fault) {
  std::lock_guard<std::mutex> guard(faultsLock);
  ++callsMade[call];
  bool hit = false;
  for (Armed &entry : armed) {
    if (entry.fault.call != call) continue;
    if (entry.before > 0) {
      --entry.before;
      continue;
    }
    if (!hit) fault = entry.fault;
    hit = true;
    --entry.left;
  }
  armed.erase(std::remove_if(armed.begin(), armed.end(), [](const Armed &e) { return !e.left; }),
              armed.end());
  return hit;
}

DWORD TakeDeviceFailure(world::DeviceCall call) {
  world::DeviceFault fault;
  bool failed = TakeDeviceFault(call, fault) && fault.action == world::DeviceFault::Action::fail;
  return failed ? fault.error : ERROR_SUCCESS;
}

void ClearDeviceFaults() {
  std::lock_guard<std::mutex> guard(faultsLock);
  armed.clear();
  callsMade.clear();
}

}  // namespace sim

unsigned world::DeviceCallsMade(DeviceCall call) {
  std::lock_guard<std::mutex> guard(sim::faultsLock);
  auto found = sim::callsMade.find(call);
  return found == sim::callsMade.end() ? 0 : found->second;
}

void world::InjectDeviceFault(const DeviceFault &fault) {
  if (fault.count == 0) return;
  std::lock_guard<std::mutex> guard(sim::faultsLock);
  sim::armed.push_back({fault, fault.first > 1 ? fault.first - 1 : 0, fault.count});
}
