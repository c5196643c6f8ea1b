// A device endpoint for driver tests: takes every write, answers reads from a
// queue, answers control requests with a fixed reply, and records every call.
#pragma once

#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "world_devices.h"

// The shipped model's hardware id.
inline constexpr char kModelId[] = "USB\\VID_7C5E&PID_4A86";

class FakeDevice : public world::DeviceEndpoint {
 public:
  struct Call {
    std::string name;  // "write", "read", "control"
    int pipe;
    std::string bytes;  // written, or the control input
    DWORD size;         // asked for (read, control output)
  };

  world::IoOutcome Write(int pipe, const BYTE *data, DWORD size) override {
    std::lock_guard<std::mutex> guard(lock_);
    calls_.push_back({"write", pipe, std::string(reinterpret_cast<const char *>(data), size), 0});
    written_.append(reinterpret_cast<const char *>(data), size);
    return world::IoOutcome::Done(size);
  }

  world::IoOutcome Read(int pipe, BYTE *buffer, DWORD size) override {
    std::lock_guard<std::mutex> guard(lock_);
    calls_.push_back({"read", pipe, std::string(), size});
    if (toRead_.empty()) return world::IoOutcome::Block();
    DWORD moved = 0;
    while (moved < size && !toRead_.empty()) {
      buffer[moved++] = static_cast<BYTE>(toRead_.front());
      toRead_.pop_front();
    }
    return world::IoOutcome::Done(moved);
  }

  world::IoOutcome Control(int pipe, DWORD code, const BYTE *in, DWORD inSize, BYTE *out,
                           DWORD outSize) override {
    std::lock_guard<std::mutex> guard(lock_);
    calls_.push_back(
        {"control", pipe, std::string(reinterpret_cast<const char *>(in), inSize), outSize});
    lastControlCode_ = code;
    DWORD moved = 0;
    for (; moved < outSize && moved < controlReply_.size(); ++moved)
      out[moved] = static_cast<BYTE>(controlReply_[moved]);
    return world::IoOutcome::Done(moved);
  }

  void QueueRead(const std::string &bytes) {
    std::lock_guard<std::mutex> guard(lock_);
    toRead_.insert(toRead_.end(), bytes.begin(), bytes.end());
  }
  void SetControlReply(const std::string &bytes) {
    std::lock_guard<std::mutex> guard(lock_);
    controlReply_ = bytes;
  }
  std::vector<Call> Calls() {
    std::lock_guard<std::mutex> guard(lock_);
    return calls_;
  }
  std::string Written() {
    std::lock_guard<std::mutex> guard(lock_);
    return written_;
  }
  DWORD LastControlCode() {
    std::lock_guard<std::mutex> guard(lock_);
    return lastControlCode_;
  }

 private:
  std::mutex lock_;
  std::vector<Call> calls_;
  std::string written_;
  std::deque<char> toRead_;
  std::string controlReply_;
  DWORD lastControlCode_ = 0;
};
