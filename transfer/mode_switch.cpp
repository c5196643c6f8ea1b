// The mode-switch exchange: two composite-device interfaces must be asked to
// switch to update mode before they take the image.
#include "control_frame.h"
#include "port/port_failure.h"
#include "port/port_io.h"
#include "target.h"
#include "transfer_worker.h"

namespace {

constexpr uint8_t kQueryCode = 2;
constexpr uint8_t kSwitchCode = 1;
constexpr uint8_t kQueryPayload[] = {0x03, 0x06, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00};
constexpr uint8_t kSwitchPayload[] = {0x01, 0x08, 0x02, 0x00, 0x02, 0x00, 0x00, 0x00, 0x56, 0x00};
// Payload byte 8 of the reply (frame byte 16): 1 asks for the switch request.
constexpr size_t kSwitchAsked = 8;

// A command goes out as two writes: the header, then the payload.
int SendCommand(uint8_t code, const uint8_t *payload, uint8_t length) {
  ControlFrame frame = {};
  frame.command.start = kFrameStart;
  frame.command.code = code;
  frame.command.payloadLength = length;
  for (uint8_t i = 0; i < length; ++i) frame.command.payload[i] = payload[i];
  uint32_t headerCount = kCommandHeaderSize;
  uint32_t payloadCount = length;
  return PortWrite(currentPort, &frame.command, &headerCount) &&
         PortWrite(currentPort, frame.command.payload, &payloadCount);
}

}  // namespace

int RunModeSwitch(void) {
  if (!SendCommand(kQueryCode, kQueryPayload, sizeof kQueryPayload))
    return PortNoteFailureContext("mode-switch query");

  ControlFrame reply = {};
  uint32_t headerCount = kCommandHeaderSize;
  if (!PortRead(currentPort, &reply.command, &headerCount))
    return PortNoteFailureContext("mode-switch reply");
  // A reply announcing more than the frame holds would be read past it.
  uint32_t payloadCount = reply.command.payloadLength;
  if (payloadCount > kCommandPayloadMax) {
    PortNoteFailure("mode-switch reply: payload length", 0);
    return 0;
  }
  if (!PortRead(currentPort, reply.command.payload, &payloadCount))
    return PortNoteFailureContext("mode-switch reply");
  if (reply.command.payload[kSwitchAsked] != 1) return 1;

  if (!SendCommand(kSwitchCode, kSwitchPayload, sizeof kSwitchPayload))
    return PortNoteFailureContext("mode-switch request");
  return 1;
}
