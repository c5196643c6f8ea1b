// The 64-byte frame of the printer's update protocol, in its two layouts.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr size_t kControlFrameSize = 64;
constexpr size_t kCommandHeaderSize = 8;
constexpr size_t kCommandPayloadMax = kControlFrameSize - kCommandHeaderSize;
constexpr uint8_t kFrameStart = 2;

// A command of the mode-switch exchange: an 8-byte header, then the payload.
// A reply comes back in the same layout.
struct CommandFrame {
  uint8_t start;
  uint8_t code;
  uint8_t reserved1[2];
  uint8_t payloadLength;
  uint8_t reserved2[3];
  uint8_t payload[kCommandPayloadMax];
};

// Announces the image that follows: its length, least significant byte first.
struct ImageHeaderFrame {
  uint8_t start;
  uint8_t marker;
  uint8_t version;
  uint8_t reserved1[3];
  uint8_t imageLength[4];
  uint8_t reserved2[54];
};

union ControlFrame {
  CommandFrame command;
  ImageHeaderFrame imageHeader;
};

static_assert(sizeof(CommandFrame) == kControlFrameSize, "a command is one frame");
static_assert(offsetof(CommandFrame, code) == 1, "frame code in byte 1");
static_assert(offsetof(CommandFrame, payloadLength) == 4, "payload length in byte 4");
static_assert(offsetof(CommandFrame, payload) == kCommandHeaderSize, "payload from byte 8");
static_assert(sizeof(ImageHeaderFrame) == kControlFrameSize, "the image header is one frame");
static_assert(offsetof(ImageHeaderFrame, marker) == 1, "marker in byte 1");
static_assert(offsetof(ImageHeaderFrame, version) == 2, "version in byte 2");
static_assert(offsetof(ImageHeaderFrame, imageLength) == 6, "length in bytes 6 to 9");
static_assert(sizeof(ControlFrame) == kControlFrameSize, "both layouts share the 64 bytes");
