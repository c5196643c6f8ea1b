// Winsock's start-up count and its table of sockets. Socket values are reused,
// the most recently freed first, as Winsock may: a socket closed twice by the
// program then closes another one in tests too.
#include <map>
#include <mutex>
#include <vector>

#include "internal/kernel.h"
#include "internal/net.h"
#include "internal/sockets.h"

namespace sim {
namespace {

std::mutex tableLock;
unsigned startups = 0;  // under tableLock
std::map<SOCKET, std::shared_ptr<SocketRecord>> sockets;
std::vector<SOCKET> freeValues;
SOCKET nextValue = 0x2000;

SOCKET TakeValue() {
  if (freeValues.empty()) return (nextValue += 4) - 4;
  SOCKET value = freeValues.back();
  freeValues.pop_back();
  return value;
}

}  // namespace

SocketRecord::~SocketRecord() { HostClose(fd); }

int SocketFailure(int error) {
  SetLastErrorValue(DWORD(error));
  return SOCKET_ERROR;
}

std::shared_ptr<SocketRecord> LookUpSocket(SOCKET s) {
  std::lock_guard<std::mutex> guard(tableLock);
  if (startups == 0) {
    SetLastErrorValue(WSANOTINITIALISED);
    return nullptr;
  }
  auto found = sockets.find(s);
  if (found == sockets.end()) {
    SetLastErrorValue(WSAENOTSOCK);
    return nullptr;
  }
  return found->second;
}

SOCKET InsertSocket(int fd) {
  auto record = std::make_shared<SocketRecord>(fd);
  std::lock_guard<std::mutex> guard(tableLock);
  SOCKET value = TakeValue();
  sockets.emplace(value, std::move(record));
  return value;
}

size_t LiveSocketCount() {
  std::lock_guard<std::mutex> guard(tableLock);
  return sockets.size();
}

namespace {

// Takes the socket out of the table; calls blocked on it are woken to fail.
std::shared_ptr<SocketRecord> Remove(SOCKET s) {
  std::lock_guard<std::mutex> guard(tableLock);
  auto found = sockets.find(s);
  if (found == sockets.end()) return nullptr;
  std::shared_ptr<SocketRecord> record = std::move(found->second);
  sockets.erase(found);
  freeValues.push_back(s);
  return record;
}

}  // namespace
}  // namespace sim

int WINAPI WSAStartup(WORD version, LPWSADATA data) {
  if (data == nullptr) return WSAEFAULT;
  if (!sim::WinsockReady()) return WSASYSNOTREADY;
  // Versions before 1.0 do not exist; anything from 2.2 up is granted as 2.2.
  if ((version & 0xFF) == 0) return WSAVERNOTSUPPORTED;
  *data = WSADATA{};
  data->wVersion = (version & 0xFF) >= 2 ? 0x0202 : version;
  data->wHighVersion = 0x0202;
  std::lock_guard<std::mutex> guard(sim::tableLock);
  ++sim::startups;
  return 0;
}

int WINAPI WSACleanup(void) {
  std::vector<std::shared_ptr<sim::SocketRecord>> closing;
  {
    std::lock_guard<std::mutex> guard(sim::tableLock);
    if (sim::startups == 0) return sim::SocketFailure(WSANOTINITIALISED);
    if (--sim::startups != 0) return 0;
    // The last clean-up closes every socket the process still has.
    for (auto &entry : sim::sockets) {
      closing.push_back(std::move(entry.second));
      sim::freeValues.push_back(entry.first);
    }
    sim::sockets.clear();
  }
  for (const auto &record : closing) sim::HostAbandon(record->fd);
  return 0;
}

int WINAPI WSAGetLastError(void) { return int(GetLastError()); }

SOCKET WINAPI socket(int family, int type, int protocol) {
  {
    std::lock_guard<std::mutex> guard(sim::tableLock);
    if (sim::startups == 0) {
      sim::SetLastErrorValue(WSANOTINITIALISED);
      return INVALID_SOCKET;
    }
  }
  int error = 0;
  int fd = sim::HostSocket(family, type, protocol, error);
  if (fd < 0) {
    sim::SetLastErrorValue(DWORD(error));
    return INVALID_SOCKET;
  }
  return sim::InsertSocket(fd);
}

int WINAPI closesocket(SOCKET s) {
  if (!sim::LookUpSocket(s)) return SOCKET_ERROR;
  std::shared_ptr<sim::SocketRecord> record = sim::Remove(s);
  if (!record) return sim::SocketFailure(WSAENOTSOCK);
  sim::HostAbandon(record->fd);
  return 0;
}
