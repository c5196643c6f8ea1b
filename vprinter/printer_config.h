// How one virtual printer behaves: the image it expects, its answer to the
// mode-switch query, and the faults it plays.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace vprinter {

struct PrinterConfig {
  // The image the printer should end up with. Empty: whatever arrives is taken
  // without comparison.
  std::vector<uint8_t> expectedImage;

  // Whether the reply to a mode-switch query asks the host for the switch request.
  bool asksForSwitch = false;
  // Replaces the whole reply to a query, byte for byte: for replies no healthy
  // printer gives (a header announcing 0 or 200 payload bytes, fewer bytes than
  // announced, a wrong header).
  std::optional<std::vector<uint8_t>> rawReply;
  // Only the first `replyLimit` bytes of each reply ever leave the printer.
  std::optional<size_t> replyLimit;

  // Faults. Every threshold counts the bytes the host has written to the printer
  // since it was switched on, frames and image alike, so that a test can put a
  // fault inside the exchange as well as inside any block. The write that
  // crosses a threshold delivers the bytes up to it, then the fault takes over
  // for good.
  //
  // Stall: from then on the printer takes no more data; writes block.
  std::optional<uint64_t> stallAfterBytes;
  // Fail: from then on every write fails. Reads still work.
  std::optional<uint64_t> failAfterBytes;
  // Disconnect: once this many bytes have arrived, the printer is gone and
  // every call fails, reads included.
  std::optional<uint64_t> disconnectAfterBytes;

  // A slow link, in bytes per second either way; 0: as fast as the host goes.
  uint32_t bytesPerSecond = 0;

  // The answer to the vendor get-command request, cut to the size the host asks for.
  std::vector<uint8_t> vendorReply{'M', 'F', 'G', ':', 'T', 'O', 'R', 'V', 'A', 'E', 'L', ';'};
};

}  // namespace vprinter
