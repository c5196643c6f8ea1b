// What a virtual printer saw of one session: the evidence tests assert on, and
// what the Wine runs write out when the printer is switched off.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vprinter {

enum class ErrorKind {
  unknownFrame,      // bytes where a frame should start that begin no frame the printer knows
  oversizedCommand,  // a command header announcing more payload than a frame holds
  badQuery,          // a mode-switch query with a wrong byte
  badSwitchRequest,  // a switch request with a wrong byte
  unaskedSwitch,     // a switch request the last reply did not ask for
  missingSwitch,     // an image header while a switch the printer asked for is still due
  badHeader,         // an image header with a wrong byte outside the length
  bytesAfterImage,   // anything written once the announced image is complete
};

// Offsets count the bytes the host has written since the printer was switched on.
struct ProtocolError {
  uint64_t offset = 0;
  ErrorKind kind = ErrorKind::unknownFrame;
  std::string detail;
};

enum class Fault { none, stall, fail, disconnect };

struct Record {
  // Every write and read the host made, with the size it asked for, in order;
  // calls the printer stalled, failed or was gone for included.
  std::vector<size_t> writes;
  std::vector<size_t> reads;
  uint64_t bytesReceived = 0;
  uint64_t bytesSent = 0;

  unsigned queries = 0;
  unsigned switchRequests = 0;
  unsigned vendorRequests = 0;

  std::optional<uint32_t> announcedLength;
  uint64_t imageBytes = 0;
  // Image bytes carried by each write that carried any.
  std::vector<size_t> blockSizes;
  bool imageComplete = false;
  // Whether an expected image was configured; the next two mean nothing without one.
  bool imageChecked = false;
  // The image is complete and equal to the expected one, length included.
  bool imageMatches = false;
  // The first image offset whose byte differs from the expected image, or where
  // one of the two ends before the other.
  std::optional<uint64_t> firstMismatch;

  std::vector<ProtocolError> errors;
  // A host gone astray can produce errors without end; only the first are kept.
  size_t errorsDropped = 0;

  Fault fault = Fault::none;
  uint64_t faultOffset = 0;

  // Real time of the first and the last byte the host wrote, in microseconds
  // since the printer was switched on: how long the host took to send what it
  // sent, seen from the printer. Kept by vprinter-pty; 0 before any byte.
  uint64_t firstByteMicros = 0;
  uint64_t lastByteMicros = 0;
};

const char *NameOf(ErrorKind kind);
const char *NameOf(Fault fault);

// One JSON object with the fields of the record under their names above.
std::string ToJson(const Record &record);

}  // namespace vprinter
