// Named mutexes, as far as the program uses one: to learn whether another copy
// of it already holds the name. Ownership and waits on a mutex are not modelled.
#include <map>
#include <string>

#include "internal/kernel.h"
#include "win32_kernel.h"

namespace sim {
namespace {

struct Mutex : KernelObject {
  Mutex() : KernelObject(Kind::mutex) {}
};

// The live mutexes by name: a name is free again once the last handle to its
// mutex is closed.
std::mutex namesLock;
std::map<std::string, std::weak_ptr<Mutex>> names;

// A named object lives in a directory: "Global\" and "Local\" name one, and any
// other backslash names a directory that does not exist. Names are case-sensitive.
bool InExistingDirectory(const std::string &name) {
  size_t slash = name.find('\\');
  if (slash == std::string::npos) return true;
  std::string space = name.substr(0, slash);
  return (space == "Global" || space == "Local") && name.find('\\', slash + 1) == std::string::npos;
}

}  // namespace
}  // namespace sim

HANDLE WINAPI CreateMutexA(LPSECURITY_ATTRIBUTES, BOOL initialOwner, LPCSTR name) {
  if (initialOwner) {
    sim::SetLastErrorValue(ERROR_NOT_SUPPORTED);
    return nullptr;
  }
  auto created = std::make_shared<sim::Mutex>();
  std::shared_ptr<sim::Mutex> existing;
  if (name != nullptr) {
    std::string key(name);
    if (!sim::InExistingDirectory(key)) {
      sim::SetLastErrorValue(ERROR_PATH_NOT_FOUND);
      return nullptr;
    }
    std::lock_guard<std::mutex> guard(sim::namesLock);
    existing = sim::names[key].lock();
    if (!existing) sim::names[key] = created;
  }
  HANDLE handle = sim::InsertHandle(existing ? existing : created);
  sim::SetLastErrorValue(existing ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
  return handle;
}
