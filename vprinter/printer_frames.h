// The frames as the printer knows them. Written down here from the printer's
// side, never shared with the updater: a frame the updater gets wrong has to
// look wrong to the printer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vprinter {

constexpr uint8_t kFrameStart = 0x02;
constexpr uint8_t kSwitchCode = 0x01;
constexpr uint8_t kQueryCode = 0x02;
constexpr uint8_t kImageHeaderCode = 0xFF;

// Commands: an 8-byte header whose bytes 4 to 7 give the payload length, then
// the payload. A command never outgrows the 64-byte frame buffer.
constexpr size_t kCommandHeaderSize = 8;
constexpr size_t kLengthByte = 4;
constexpr size_t kMaxCommandPayload = 56;

constexpr uint8_t kQuery[] = {0x02, 0x02, 0x00, 0x00, 0x08, 0x00, 0x00, 0x00,
                              0x03, 0x06, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00};
constexpr uint8_t kSwitchRequest[] = {0x02, 0x01, 0x00, 0x00, 0x0A, 0x00, 0x00, 0x00, 0x01,
                                      0x08, 0x02, 0x00, 0x02, 0x00, 0x00, 0x00, 0x56, 0x00};

// The image header: start, code, a format byte, the length little-endian in
// bytes 6 to 9, zeros everywhere else.
constexpr size_t kImageHeaderSize = 64;
constexpr uint8_t kImageHeaderFormat = 0x04;
constexpr size_t kFormatByte = 2;
constexpr size_t kImageLengthByte = 6;

// In a reply, frame byte 16 (payload byte 8) set to 1 asks for the switch.
constexpr size_t kSwitchAskByte = 16;
constexpr uint8_t kSwitchAsked = 0x01;

// The reply a healthy printer gives: a 10-byte payload whose byte 8 says
// whether it wants the switch.
inline std::vector<uint8_t> HealthyReply(bool asksForSwitch) {
  std::vector<uint8_t> reply = {0x02, 0x02, 0x00, 0x00, 0x0A, 0x00, 0x00, 0x00, 0x00,
                                0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
  reply[kSwitchAskByte] = asksForSwitch ? kSwitchAsked : 0x00;
  return reply;
}

// Whether the reply asks for the switch: a host that reads the header, then
// the payload length it announces, finds a 1 in frame byte 16. A reply shorter
// than it announces asks for nothing, since the host never gets to read it whole.
inline bool ReplyAsksForSwitch(const std::vector<uint8_t> &reply) {
  if (reply.size() < kCommandHeaderSize) return false;
  size_t payload = reply[kLengthByte];
  return payload > kSwitchAskByte - kCommandHeaderSize &&
         reply.size() >= kCommandHeaderSize + payload && reply[kSwitchAskByte] == kSwitchAsked;
}

}  // namespace vprinter
