// The virtual printer: a byte-stream parser for the frames and the image, the
// reply queue of the mode-switch exchange, and the faults.
#include "printer_engine.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>
#include <utility>

#include "printer_frames.h"

namespace vprinter {
namespace {

constexpr size_t kMaxErrorsKept = 100;

std::string Describe(const char *what, size_t index, uint8_t found, uint8_t wanted) {
  char text[96];
  std::snprintf(text, sizeof text, "%s byte %zu is 0x%02X, not 0x%02X", what, index, found, wanted);
  return text;
}

// The first index where `frame` differs from `wanted`, or the shorter length
// when one is a prefix of the other; `frame.size()` when they are equal.
size_t FirstDifference(const std::vector<uint8_t> &frame, const uint8_t *wanted,
                       size_t wantedSize) {
  size_t common = std::min(frame.size(), wantedSize);
  size_t i = 0;
  while (i < common && frame[i] == wanted[i]) ++i;
  if (i == common && frame.size() == wantedSize) return frame.size();
  return i;
}

uint32_t LittleEndian32(const uint8_t *bytes) {
  return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
         static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

Status StatusOf(Fault fault) {
  switch (fault) {
    case Fault::stall:
      return Status::stall;
    case Fault::fail:
      return Status::fail;
    case Fault::disconnect:
      return Status::disconnected;
    case Fault::none:
      break;
  }
  return Status::ok;
}

}  // namespace

PrinterEngine::PrinterEngine(PrinterConfig config) : config_(std::move(config)) {
  record_.imageChecked = !config_.expectedImage.empty();
}

bool PrinterEngine::Settled() const {
  return record_.imageComplete || !record_.errors.empty() || record_.fault != Fault::none;
}

// A disconnect is due from the moment enough bytes have arrived, whether the
// host writes or reads next.
bool PrinterEngine::Gone() {
  if (record_.fault == Fault::disconnect) return true;
  if (record_.fault == Fault::none && config_.disconnectAfterBytes &&
      record_.bytesReceived >= *config_.disconnectAfterBytes) {
    FireFault(Fault::disconnect);
    return true;
  }
  return false;
}

void PrinterEngine::FireFault(Fault fault) {
  record_.fault = fault;
  record_.faultOffset = record_.bytesReceived;
}

// Delays add up over the whole session, so that rounding to milliseconds never
// makes a link of many small calls faster or slower than its rate.
uint32_t PrinterEngine::LinkDelay(size_t moved) {
  if (config_.bytesPerSecond == 0) return 0;
  linkBytes_ += moved;
  uint64_t due = linkBytes_ * 1000 / config_.bytesPerSecond;
  uint64_t delay = due - linkMsGiven_;
  linkMsGiven_ = due;
  return static_cast<uint32_t>(std::min<uint64_t>(delay, std::numeric_limits<uint32_t>::max()));
}

Transfer PrinterEngine::Receive(const uint8_t *data, size_t size) {
  record_.writes.push_back(size);
  if (Gone()) return {Status::disconnected, 0, 0};
  if (record_.fault != Fault::none) return {StatusOf(record_.fault), 0, 0};

  // The nearest armed fault, and how many bytes still arrive before it; on a
  // tie the harsher fault wins.
  Fault next = Fault::none;
  uint64_t room = std::numeric_limits<uint64_t>::max();
  auto consider = [&](const std::optional<uint64_t> &threshold, Fault fault) {
    if (!threshold) return;
    uint64_t left = *threshold > record_.bytesReceived ? *threshold - record_.bytesReceived : 0;
    if (left < room) {
      room = left;
      next = fault;
    }
  };
  consider(config_.disconnectAfterBytes, Fault::disconnect);
  consider(config_.failAfterBytes, Fault::fail);
  consider(config_.stallAfterBytes, Fault::stall);

  bool fires = next != Fault::none && room < size;
  size_t taken = fires ? static_cast<size_t>(room) : size;
  Take(data, taken);
  uint32_t delay = LinkDelay(taken);
  if (!fires) return {Status::ok, taken, delay};
  FireFault(next);
  return {StatusOf(next), taken, delay};
}

Transfer PrinterEngine::Send(uint8_t *buffer, size_t size) {
  record_.reads.push_back(size);
  if (Gone()) return {Status::disconnected, 0, 0};
  size_t given = std::min(size, reply_.size() - replyGiven_);
  if (given == 0) return {Status::nothingToSend, 0, 0};
  std::memcpy(buffer, reply_.data() + replyGiven_, given);
  replyGiven_ += given;
  record_.bytesSent += given;
  return {Status::ok, given, LinkDelay(given)};
}

Transfer PrinterEngine::AnswerVendorRequest(uint8_t *buffer, size_t size) {
  if (Gone()) return {Status::disconnected, 0, 0};
  ++record_.vendorRequests;
  size_t given = std::min(size, config_.vendorReply.size());
  if (given > 0) std::memcpy(buffer, config_.vendorReply.data(), given);
  return {Status::ok, given, 0};
}

void PrinterEngine::Take(const uint8_t *data, size_t size) {
  // Each write is a chance to find the frame boundaries again.
  skipRestOfWrite_ = false;
  size_t imageInWrite = 0;
  size_t at = 0;
  while (at < size && !skipRestOfWrite_) {
    uint64_t offset = record_.bytesReceived + at;
    switch (phase_) {
      case Phase::frames:
        at += TakeFrameBytes(data + at, size - at, offset);
        break;
      case Phase::image: {
        size_t taken = TakeImageBytes(data + at, size - at);
        imageInWrite += taken;
        at += taken;
        break;
      }
      case Phase::done:
        Error(offset, ErrorKind::bytesAfterImage,
              std::to_string(size - at) + " bytes after the complete image");
        skipRestOfWrite_ = true;
        break;
    }
  }
  if (imageInWrite > 0) record_.blockSizes.push_back(imageInWrite);
  record_.bytesReceived += size;
}

// Frames grow in steps: the start byte, the code, then the command header (its
// length byte sizes the rest) or the whole image header.
size_t PrinterEngine::TakeFrameBytes(const uint8_t *data, size_t size, uint64_t offset) {
  if (frame_.empty()) frameOffset_ = offset;
  size_t target = frameSize_ != 0     ? frameSize_
                  : frame_.size() < 2 ? frame_.size() + 1
                                      : kCommandHeaderSize;
  size_t taken = std::min(size, target - frame_.size());
  frame_.insert(frame_.end(), data, data + taken);
  if (frame_.size() == target) FrameGrew();
  return taken;
}

void PrinterEngine::FrameGrew() {
  if (frame_.size() == 1 && frame_[0] != kFrameStart) {
    char text[64];
    std::snprintf(text, sizeof text, "a frame cannot start with 0x%02X", frame_[0]);
    return LoseFrame(ErrorKind::unknownFrame, text);
  }
  if (frame_.size() == 2) {
    uint8_t code = frame_[1];
    if (code == kImageHeaderCode) frameSize_ = kImageHeaderSize;
    if (code != kImageHeaderCode && code != kQueryCode && code != kSwitchCode) {
      char text[64];
      std::snprintf(text, sizeof text, "no frame has the code 0x%02X", code);
      return LoseFrame(ErrorKind::unknownFrame, text);
    }
  }
  if (frameSize_ == 0 && frame_.size() == kCommandHeaderSize) {
    uint32_t payload = LittleEndian32(frame_.data() + kLengthByte);
    if (payload > kMaxCommandPayload) {
      return LoseFrame(ErrorKind::oversizedCommand,
                       "a command announcing " + std::to_string(payload) + " payload bytes");
    }
    frameSize_ = kCommandHeaderSize + payload;
  }
  if (frameSize_ != 0 && frame_.size() == frameSize_) FinishFrame();
}

void PrinterEngine::FinishFrame() {
  switch (frame_[1]) {
    case kQueryCode:
      FinishQuery();
      break;
    case kSwitchCode:
      FinishSwitchRequest();
      break;
    default:
      FinishImageHeader();
      break;
  }
  frame_.clear();
  frameSize_ = 0;
}

void PrinterEngine::FinishQuery() {
  size_t bad = FirstDifference(frame_, kQuery, sizeof kQuery);
  if (bad != frame_.size()) {
    uint8_t wanted = bad < sizeof kQuery ? kQuery[bad] : 0;
    uint8_t found = bad < frame_.size() ? frame_[bad] : 0;
    return Error(frameOffset_ + bad, ErrorKind::badQuery, Describe("query", bad, found, wanted));
  }
  ++record_.queries;
  std::vector<uint8_t> reply =
      config_.rawReply ? *config_.rawReply : HealthyReply(config_.asksForSwitch);
  if (config_.replyLimit && *config_.replyLimit < reply.size()) reply.resize(*config_.replyLimit);
  switchDue_ = ReplyAsksForSwitch(reply);
  reply_.erase(reply_.begin(), reply_.begin() + static_cast<std::ptrdiff_t>(replyGiven_));
  replyGiven_ = 0;
  reply_.insert(reply_.end(), reply.begin(), reply.end());
}

void PrinterEngine::FinishSwitchRequest() {
  size_t bad = FirstDifference(frame_, kSwitchRequest, sizeof kSwitchRequest);
  if (bad != frame_.size()) {
    uint8_t wanted = bad < sizeof kSwitchRequest ? kSwitchRequest[bad] : 0;
    uint8_t found = bad < frame_.size() ? frame_[bad] : 0;
    return Error(frameOffset_ + bad, ErrorKind::badSwitchRequest,
                 Describe("switch request", bad, found, wanted));
  }
  ++record_.switchRequests;
  if (!switchDue_) {
    Error(frameOffset_, ErrorKind::unaskedSwitch, "a switch request no reply asked for");
  }
  switchDue_ = false;
}

// A header with a wrong byte is recorded, yet its length is taken: the image
// that follows still shows whether the blocks were right.
void PrinterEngine::FinishImageHeader() {
  if (switchDue_) {
    Error(frameOffset_, ErrorKind::missingSwitch,
          "the image header came before the switch request");
    switchDue_ = false;
  }
  for (size_t i = kFormatByte; i < kImageHeaderSize; ++i) {
    if (i >= kImageLengthByte && i < kImageLengthByte + 4) continue;
    uint8_t wanted = i == kFormatByte ? kImageHeaderFormat : 0;
    if (frame_[i] != wanted) {
      Error(frameOffset_ + i, ErrorKind::badHeader, Describe("image header", i, frame_[i], wanted));
      break;
    }
  }
  uint32_t length = LittleEndian32(frame_.data() + kImageLengthByte);
  record_.announcedLength = length;
  imageRemaining_ = length;
  phase_ = Phase::image;
  if (length == 0) CompleteImage();
}

size_t PrinterEngine::TakeImageBytes(const uint8_t *data, size_t size) {
  size_t taken = static_cast<size_t>(std::min<uint64_t>(size, imageRemaining_));
  const std::vector<uint8_t> &expected = config_.expectedImage;
  if (record_.imageChecked && !record_.firstMismatch) {
    uint64_t at = record_.imageBytes;
    size_t comparable = at < expected.size() ? std::min<size_t>(taken, expected.size() - at) : 0;
    if (std::memcmp(data, expected.data() + at, comparable) != 0) {
      size_t i = 0;
      while (data[i] == expected[at + i]) ++i;
      record_.firstMismatch = at + i;
    } else if (comparable < taken) {
      record_.firstMismatch = at + comparable;  // the image runs past the expected one
    }
  }
  record_.imageBytes += taken;
  imageRemaining_ -= taken;
  if (imageRemaining_ == 0) CompleteImage();
  return taken;
}

void PrinterEngine::CompleteImage() {
  phase_ = Phase::done;
  record_.imageComplete = true;
  if (!record_.imageChecked) return;
  if (!record_.firstMismatch && record_.imageBytes != config_.expectedImage.size()) {
    record_.firstMismatch = record_.imageBytes;  // the image ends before the expected one
  }
  record_.imageMatches = !record_.firstMismatch;
}

void PrinterEngine::Error(uint64_t offset, ErrorKind kind, std::string detail) {
  if (record_.errors.size() >= kMaxErrorsKept) {
    ++record_.errorsDropped;
    return;
  }
  record_.errors.push_back({offset, kind, std::move(detail)});
}

void PrinterEngine::LoseFrame(ErrorKind kind, std::string detail) {
  Error(frameOffset_, kind, std::move(detail));
  frame_.clear();
  frameSize_ = 0;
  skipRestOfWrite_ = true;
}

}  // namespace vprinter
