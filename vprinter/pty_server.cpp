// One poll on the stop descriptor and the master: reading only while the
// printer takes data and the slow link lets it, writing replies as soon as
// there is room for them.
#include "pty_server.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <utility>

namespace vprinter {
namespace {

typedef std::chrono::steady_clock Clock;

// A read of the master never returns more than the terminal's input buffer
// holds, a few KiB; this leaves room to spare.
constexpr size_t kReadSize = 64 * 1024;
// Replies are taken from the engine in pieces of this size, which no healthy
// reply comes near.
constexpr size_t kReplyPiece = 4096;
// How long nothing must move after the session settled before
// --exit-when-settled ends the server: time for the host to read the last
// reply and close its handles.
constexpr std::chrono::milliseconds kQuiet(250);

int MillisecondsUntil(Clock::time_point then, Clock::time_point now) {
  auto left = std::chrono::ceil<std::chrono::milliseconds>(then - now).count();
  if (left < 0) return 0;
  return left > INT_MAX ? INT_MAX : static_cast<int>(left);
}

}  // namespace

PtyServer::PtyServer(PrinterConfig config, PtyLink &link)
    : engine_(std::move(config)), link_(link), input_(kReadSize), switchedOn_(Clock::now()) {}

Record PtyServer::record() const {
  Record record = engine_.record();
  record.firstByteMicros = firstByteMicros_;
  record.lastByteMicros = lastByteMicros_;
  return record;
}

ServeEnd PtyServer::Serve(int stopFd, bool exitWhenSettled, std::string *error) {
  lastTraffic_ = Clock::now();
  for (;;) {
    Clock::time_point now = Clock::now();
    if (exitWhenSettled && engine_.Settled() && now - lastTraffic_ >= kQuiet) {
      return ServeEnd::settled;
    }
    // Once unplugged the master is -1, which poll passes over.
    pollfd fds[2] = {{stopFd, POLLIN, 0}, {link_.master(), 0, 0}};
    if (!stalled_ && now >= linkFreeAt_) fds[1].events |= POLLIN;
    if (!outbox_.empty()) fds[1].events |= POLLOUT;
    if (poll(fds, 2, PollTimeout(now, exitWhenSettled)) < 0) {
      if (errno == EINTR) continue;
      *error = std::string("poll: ") + std::strerror(errno);
      return ServeEnd::broken;
    }
    if (fds[0].revents != 0) return ServeEnd::stopped;
    short master = fds[1].revents;
    if (master & POLLOUT) Flush();
    if (master & POLLIN) {
      if (!TakeFromHost(error)) return ServeEnd::broken;
    } else if (master & (POLLHUP | POLLERR | POLLNVAL)) {
      // The slave held by the link should make this impossible.
      *error = "the pty hung up while the printer was plugged in";
      return ServeEnd::broken;
    }
  }
}

int PtyServer::PollTimeout(Clock::time_point now, bool exitWhenSettled) const {
  int timeout = -1;
  if (!stalled_ && link_.plugged() && now < linkFreeAt_) {
    timeout = MillisecondsUntil(linkFreeAt_, now);
  }
  if (exitWhenSettled && engine_.Settled()) {
    int quiet = MillisecondsUntil(lastTraffic_ + kQuiet, now);
    if (timeout < 0 || quiet < timeout) timeout = quiet;
  }
  return timeout;
}

bool PtyServer::TakeFromHost(std::string *error) {
  ssize_t got = read(link_.master(), input_.data(), input_.size());
  if (got < 0) {
    if (errno == EAGAIN || errno == EINTR) return true;
    *error = std::string("reading the pty: ") + std::strerror(errno);
    return false;
  }
  if (got == 0) return true;
  Clock::time_point now = Clock::now();
  lastTraffic_ = now;
  // At least 1, so that 0 keeps meaning "no byte yet".
  auto micros = std::chrono::duration_cast<std::chrono::microseconds>(now - switchedOn_).count();
  lastByteMicros_ = static_cast<uint64_t>(micros) + 1;
  if (firstByteMicros_ == 0) firstByteMicros_ = lastByteMicros_;

  unsigned queries = engine_.record().queries;
  Transfer taken = engine_.Receive(input_.data(), static_cast<size_t>(got));
  Status status = taken.status;
  uint32_t delayMs = taken.delayMs;
  // A disconnect is due once its bytes have arrived: the printer must not
  // wait for the host's next write to be gone.
  if (status == Status::ok && !engine_.Present()) status = Status::disconnected;
  // A stalled printer still answers: only its intake stopped.
  if (engine_.record().queries != queries && (status == Status::ok || status == Status::stall)) {
    delayMs += PushReply();
  }

  switch (status) {
    case Status::stall:
      // Nothing more is read, ever: the pty's buffer fills and the host's
      // writes block, as they do on a printer that stopped taking data.
      stalled_ = true;
      break;
    case Status::fail:
    case Status::disconnected:
      // A pty cannot fail one write and take the next, so both faults pull the
      // printer out. The host's descriptors are hung up: write() fails with
      // EIO, which Wine's sources turn into ERROR_NOT_READY (21), and read()
      // returns 0, a ReadFile that succeeds with no bytes; opening the device
      // again fails with ERROR_FILE_NOT_FOUND (2), as the link is gone. Not
      // yet seen under Wine itself.
      Unplug();
      break;
    case Status::ok:
    case Status::nothingToSend:
      break;
  }
  if (delayMs > 0) linkFreeAt_ = now + std::chrono::milliseconds(delayMs);
  return true;
}

// The whole reply goes in one write when the pty has room, so that a host
// reading the 8-byte header finds all 8 bytes there at once.
uint32_t PtyServer::PushReply() {
  uint32_t delayMs = 0;
  uint8_t piece[kReplyPiece];
  for (;;) {
    Transfer given = engine_.Send(piece, sizeof piece);
    if (given.status == Status::disconnected) {
      Unplug();
      return delayMs;
    }
    if (given.status != Status::ok) break;
    outbox_.insert(outbox_.end(), piece, piece + given.bytes);
    delayMs += given.delayMs;
    if (given.bytes < sizeof piece) break;
  }
  Flush();
  return delayMs;
}

// What does not fit now waits for POLLOUT.
void PtyServer::Flush() {
  while (!outbox_.empty()) {
    ssize_t put = write(link_.master(), outbox_.data(), outbox_.size());
    if (put < 0) {
      if (errno == EINTR) continue;
      return;
    }
    outbox_.erase(outbox_.begin(), outbox_.begin() + put);
    lastTraffic_ = Clock::now();
  }
}

void PtyServer::Unplug() {
  outbox_.clear();
  link_.Unplug();
}

}  // namespace vprinter
