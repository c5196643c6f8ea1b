// Where socket calls block: the host's poll on the descriptor and on the
// calling thread's wake descriptor, so a cancel or a stop reaches it.
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>

#include "internal/kernel.h"
#include "internal/net.h"

namespace sim {
namespace {

struct WakeDescriptor {
  int fd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  ~WakeDescriptor() {
    if (fd >= 0) close(fd);
  }
};

int ThreadWakeFd() {
  thread_local WakeDescriptor wake;
  return wake.fd;
}

}  // namespace

int WaitReady(int fd, short events, ModelTime deadline) {
  if (fd < 0) {
    // Nothing from outside can end this wait: the model's own clock does.
    std::unique_lock<std::mutex> lock(kernelLock);
    return BlockInIo(
               lock, [] { return false; }, deadline)
               ? 0
               : -1;
  }
  int wake = ThreadWakeFd();
  for (;;) {
    EnterPoll(wake);
    void *wait = BeginRealIo(deadline);
    int outcome = 0;
    for (int slice = PassRealTime(wait); slice != 0; slice = PassRealTime(wait)) {
      pollfd fds[2] = {{fd, events, 0}, {wake, POLLIN, 0}};
      int ready = poll(fds, 2, slice);
      if (ready < 0 && errno == EINTR) continue;
      if (fds[1].revents != 0) {
        uint64_t count;
        ssize_t drained = read(wake, &count, sizeof count);
        (void)drained;
        outcome = -1;
        break;
      }
      if (ready > 0) {
        outcome = 1;
        break;
      }
    }
    EndRealIo(wait);
    if (!LeavePoll()) return -1;
    // A wake that was no cancel (one left over from an earlier call) is ignored.
    if (outcome >= 0) return outcome;
  }
}

}  // namespace sim
