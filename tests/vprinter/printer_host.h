// A correct host, written out independently of both the updater and the
// printer: its frames, the placeholder image the updater ships, and calls on
// the engine as the updater makes them.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "printer_engine.h"

namespace host {

typedef std::vector<uint8_t> Bytes;
constexpr size_t kBlock = 65472;

inline Bytes Query() { return {0x02, 0x02, 0x00, 0x00, 0x08, 0x00, 0x00, 0x00}; }
inline Bytes QueryPayload() { return {0x03, 0x06, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00}; }
inline Bytes Switch() { return {0x02, 0x01, 0x00, 0x00, 0x0A, 0x00, 0x00, 0x00}; }
inline Bytes SwitchPayload() {
  return {0x01, 0x08, 0x02, 0x00, 0x02, 0x00, 0x00, 0x00, 0x56, 0x00};
}

inline Bytes ImageHeader(size_t length) {
  Bytes frame(64, 0);
  frame[0] = 0x02;
  frame[1] = 0xFF;
  frame[2] = 0x04;
  for (int i = 0; i < 4; ++i) frame[6 + i] = static_cast<uint8_t>(length >> (8 * i));
  return frame;
}

// Every 4-byte word names its own offset (a bijection of it), so a shifted,
// repeated or missing block shows at its first byte.
inline Bytes FirmwareImage(size_t size) {
  Bytes image(size);
  for (uint32_t offset = 0; offset < size; ++offset) {
    uint32_t x = (offset & ~3u) ^ 0x9E3779B9u;
    x ^= x >> 16;
    x *= 0x85EBCA6Bu;
    x ^= x >> 13;
    x *= 0xC2B2AE35u;
    x ^= x >> 16;
    image[offset] = static_cast<uint8_t>(x >> (8 * (offset & 3u)));
  }
  return image;
}

inline Bytes Slice(const Bytes &bytes, size_t from, size_t count) {
  return Bytes(bytes.begin() + static_cast<std::ptrdiff_t>(from),
               bytes.begin() + static_cast<std::ptrdiff_t>(from + count));
}

// The image as the updater cuts it: full blocks while more than one block's
// worth remains, then the rest.
inline std::vector<Bytes> Blocks(const Bytes &image) {
  std::vector<Bytes> blocks;
  size_t at = 0;
  for (; image.size() - at > kBlock; at += kBlock) blocks.push_back(Slice(image, at, kBlock));
  if (at < image.size()) blocks.push_back(Slice(image, at, image.size() - at));
  return blocks;
}

inline vprinter::Transfer Write(vprinter::PrinterEngine &printer, const Bytes &bytes) {
  return printer.Receive(bytes.data(), bytes.size());
}

// Writes that the printer must take whole.
inline void WriteAll(vprinter::PrinterEngine &printer, const std::vector<Bytes> &writes) {
  for (const Bytes &bytes : writes) {
    vprinter::Transfer transfer = Write(printer, bytes);
    ASSERT_EQ(transfer.status, vprinter::Status::ok);
    ASSERT_EQ(transfer.bytes, bytes.size());
  }
}

// One read of up to `size` bytes: what the printer gives, nothing if it gives nothing.
inline Bytes Read(vprinter::PrinterEngine &printer, size_t size) {
  Bytes buffer(size);
  vprinter::Transfer transfer = printer.Send(buffer.data(), buffer.size());
  buffer.resize(transfer.status == vprinter::Status::ok ? transfer.bytes : 0);
  return buffer;
}

inline vprinter::PrinterConfig Expecting(const Bytes &image) {
  vprinter::PrinterConfig config;
  config.expectedImage = image;
  return config;
}

}  // namespace host
