// The printer's side of the update protocol, whatever carries the bytes: the
// transport hands it each write and read of the host and acts on the answer.
//
// Single-threaded by contract: a transport that serves several threads holds a
// lock around every call, record() included.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "printer_config.h"
#include "printer_record.h"

namespace vprinter {

enum class Status {
  ok,             // the call moved `bytes`
  stall,          // the printer takes no data: the write blocks until the host gives up
  fail,           // the write fails
  disconnected,   // the printer is gone: the call fails as a removed device does
  nothingToSend,  // no reply is waiting: the read blocks until the host gives up
};

// What one call of the host comes to. A stalled, failed or disconnecting write
// may still have delivered `bytes` before the fault took over.
struct Transfer {
  Status status = Status::ok;
  size_t bytes = 0;
  // How long the transport should take over this call to play the slow link,
  // in milliseconds; 0 without one.
  uint32_t delayMs = 0;
};

class PrinterEngine {
 public:
  explicit PrinterEngine(PrinterConfig config);

  // One write of the host: `size` bytes at `data`, cut anywhere in the stream.
  Transfer Receive(const uint8_t *data, size_t size);
  // One read of the host into `buffer`, at most `size` bytes of the pending reply.
  Transfer Send(uint8_t *buffer, size_t size);
  // The vendor get-command request: the configured answer, cut to `size`.
  Transfer AnswerVendorRequest(uint8_t *buffer, size_t size);
  // Whether the printer is still there for a call the engine has no part in (a
  // request it does not know); a disconnect that is due goes off here too.
  bool Present() { return !Gone(); }

  const Record &record() const { return record_; }
  // Whether the session has come to something a test waits for: the image
  // complete, a protocol error, or a fault gone off.
  bool Settled() const;

 private:
  enum class Phase { frames, image, done };

  bool Gone();
  void FireFault(Fault fault);
  uint32_t LinkDelay(size_t moved);

  void Take(const uint8_t *data, size_t size);
  size_t TakeFrameBytes(const uint8_t *data, size_t size, uint64_t offset);
  size_t TakeImageBytes(const uint8_t *data, size_t size);
  void FrameGrew();
  void FinishFrame();
  void FinishQuery();
  void FinishSwitchRequest();
  void FinishImageHeader();
  void CompleteImage();
  void Error(uint64_t offset, ErrorKind kind, std::string detail);
  void LoseFrame(ErrorKind kind, std::string detail);

  PrinterConfig config_;
  Record record_;

  Phase phase_ = Phase::frames;
  // The frame being collected, where it started, and its full size once known.
  std::vector<uint8_t> frame_;
  uint64_t frameOffset_ = 0;
  size_t frameSize_ = 0;
  // After bytes that make no sense, the printer has lost the frame boundaries;
  // the next write is the best guess at where the host starts over.
  bool skipRestOfWrite_ = false;
  uint64_t imageRemaining_ = 0;
  bool switchDue_ = false;

  std::vector<uint8_t> reply_;
  size_t replyGiven_ = 0;

  uint64_t linkBytes_ = 0;
  uint64_t linkMsGiven_ = 0;
};

}  // namespace vprinter
