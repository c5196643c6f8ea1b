// The virtual printer behind a pseudo-terminal, for the runs of the real
// updater under Wine: what the host writes to the slave goes to the engine,
// and the engine's replies come back through the master.
//
// A pty is a byte stream both ways, and that shows in the record:
// - its writes (and blockSizes) are this server's reads of the master as the
//   kernel cuts them, a few KiB at most, not the host's WriteFile calls; the
//   sum of the image's pieces is what a test can hold the host to;
// - a host's ReadFile only waits for bytes, and no request reaches the
//   printer, so a reply is pushed whole the moment its query is complete; the
//   record's reads are those pushes.
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "printer_engine.h"
#include "pty_link.h"

namespace vprinter {

enum class ServeEnd {
  stopped,  // the stop descriptor turned readable
  settled,  // the session settled and the link stayed quiet
  broken,   // the server could not go on; the error says why
};

class PtyServer {
 public:
  // Serves `link`, which must be open; unplugs it when a fault says so.
  PtyServer(PrinterConfig config, PtyLink &link);

  // Serves until `stopFd` turns readable or, with `exitWhenSettled`, until the
  // engine has settled and nothing moved for a moment.
  ServeEnd Serve(int stopFd, bool exitWhenSettled, std::string *error);

  // The engine's record with the times of the first and last byte taken.
  Record record() const;

 private:
  typedef std::chrono::steady_clock Clock;

  bool TakeFromHost(std::string *error);
  // Returns the slow link's delay for the reply.
  uint32_t PushReply();
  void Flush();
  void Unplug();
  int PollTimeout(Clock::time_point now, bool exitWhenSettled) const;

  PrinterEngine engine_;
  PtyLink &link_;
  std::vector<uint8_t> input_;
  // Reply bytes the pty had no room for yet.
  std::vector<uint8_t> outbox_;
  bool stalled_ = false;
  // The slow link: nothing more is read before this.
  Clock::time_point linkFreeAt_;
  Clock::time_point lastTraffic_;
  Clock::time_point switchedOn_;
  uint64_t firstByteMicros_ = 0;
  uint64_t lastByteMicros_ = 0;
};

}  // namespace vprinter
