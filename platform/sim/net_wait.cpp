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

int RemainingMs(RealClock::time_point deadline) {
  if (deadline == RealClock::time_point::max()) return -1;
  auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - RealClock::now());
  return left.count() < 0 ? 0 : static_cast<int>(left.count());
}

}  // namespace

int WaitReady(int fd, short events, RealClock::time_point deadline) {
  int wake = ThreadWakeFd();
  for (;;) {
    EnterPoll(wake);
    int outcome = 0;
    for (;;) {
      pollfd fds[2] = {{fd, events, 0}, {wake, POLLIN, 0}};
      int ready = poll(fds, 2, RemainingMs(deadline));
      if (ready < 0 && errno == EINTR) continue;
      if (fds[1].revents != 0) {
        uint64_t count;
        ssize_t drained = read(wake, &count, sizeof count);
        (void)drained;
        outcome = -1;
      } else if (ready > 0) {
        outcome = 1;
      } else if (RemainingMs(deadline) != 0) {
        continue;
      }
      break;
    }
    if (!LeavePoll()) return -1;
    // A wake that was no cancel (one left over from an earlier call) is ignored.
    if (outcome >= 0) return outcome;
  }
}

}  // namespace sim
