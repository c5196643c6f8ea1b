// A fuzzer's bytes read as the choices of one run, front to back. An input
// that runs out gives zeros and empty texts, so every input is a valid run.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class FuzzInput {
 public:
  FuzzInput(const uint8_t *data, size_t size) : data_(data), size_(size) {}

  uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
  uint16_t Word() {
    uint16_t low = Byte();
    return static_cast<uint16_t>(low | (Byte() << 8));
  }
  // At most `count` bytes: fewer when the input runs out.
  std::string Bytes(size_t count) {
    if (count > size_ - at_) count = size_ - at_;
    std::string taken(reinterpret_cast<const char *>(data_ + at_), count);
    at_ += count;
    return taken;
  }
  // A text whose length is the next byte.
  std::string ShortText() { return Bytes(Byte()); }
  std::string Rest() { return Bytes(size_ - at_); }

 private:
  const uint8_t *data_;
  size_t size_;
  size_t at_ = 0;
};
