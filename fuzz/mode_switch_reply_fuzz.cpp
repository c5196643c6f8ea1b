// The printer's reply to the mode-switch query: any length byte, any payload,
// too short or too long, delivered in any pieces. The exchange must end with
// the answer the reply calls for, and never read past its frame.
#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "fuzz_input.h"
#include "live_counts.h"
#include "transfer/target.h"
#include "transfer/transfer_worker.h"
#include "world.h"
#include "world_devices.h"

namespace {

constexpr char kTarget[] = "mode-switch reply";
constexpr char kHardwareId[] = "USB\\VID_7C5E&PID_4A83&MI_01";
constexpr size_t kHeaderSize = 8;
constexpr size_t kPayloadMax = 56;
constexpr size_t kSwitchAskedAt = 16;  // frame byte of the payload's switch flag
constexpr size_t kQueryBytes = 16;     // header and payload of the query
constexpr size_t kSwitchBytes = 18;    // header and payload of the switch request
// Empty deliveries cost the reader a pause each; a few are enough to exercise them.
constexpr int kEmptyDeliveriesMax = 4;

// Takes every write; answers reads from the reply, one chosen piece at a time,
// and fails once the reply is spent, as a printer that has said all it will.
class ReplyDevice : public world::DeviceEndpoint {
 public:
  ReplyDevice(std::string reply, std::vector<uint8_t> pieces)
      : reply_(std::move(reply)), pieces_(std::move(pieces)) {}

  world::IoOutcome Write(int, const BYTE *data, DWORD size) override {
    std::lock_guard<std::mutex> guard(lock_);
    written_.append(reinterpret_cast<const char *>(data), size);
    return world::IoOutcome::Done(size);
  }

  world::IoOutcome Read(int, BYTE *buffer, DWORD size) override {
    std::lock_guard<std::mutex> guard(lock_);
    size_t left = reply_.size() - at_;
    if (left == 0) return world::IoOutcome::Fail(ERROR_GEN_FAILURE);
    size_t piece = pieces_.empty() ? left : pieces_[next_++ % pieces_.size()];
    if (piece == 0 && ++emptyDeliveries_ > kEmptyDeliveriesMax) piece = 1;
    size_t moved = std::min({piece, left, static_cast<size_t>(size)});
    std::memcpy(buffer, reply_.data() + at_, moved);
    at_ += moved;
    return world::IoOutcome::Done(static_cast<DWORD>(moved));
  }

  world::IoOutcome Control(int, DWORD, const BYTE *, DWORD, BYTE *, DWORD) override {
    return world::IoOutcome::Fail(ERROR_NOT_SUPPORTED);
  }

  std::string Written() {
    std::lock_guard<std::mutex> guard(lock_);
    return written_;
  }

 private:
  std::mutex lock_;
  std::string reply_;
  std::vector<uint8_t> pieces_;
  size_t at_ = 0;
  size_t next_ = 0;
  int emptyDeliveries_ = 0;
  std::string written_;
};

// What the exchange must come to, from the reply alone: 0 when the reply is
// cut short, announces no payload (a read of nothing is refused) or more than
// a frame holds; otherwise 1, with the switch
// requested when the announced payload reaches the flag and it is 1.
struct Expected {
  int result;
  bool switchRequested;
};

Expected ExpectedFor(const std::string &reply) {
  if (reply.size() < kHeaderSize) return {0, false};
  size_t length = static_cast<uint8_t>(reply[4]);
  if (length == 0 || length > kPayloadMax || reply.size() < kHeaderSize + length) return {0, false};
  bool asked = length > kSwitchAskedAt - kHeaderSize && reply[kSwitchAskedAt] == 1;
  return {1, asked};
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) { return 0; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  FuzzInput input(data, size);
  std::vector<uint8_t> pieces(input.Byte() % 8);
  for (uint8_t &piece : pieces) piece = input.Byte();
  std::string reply = input.Rest();

  world::Reset();
  LiveCounts before = CountLive();
  auto device = std::make_shared<ReplyDevice>(reply, pieces);
  world::PrintClassDevice printer;
  printer.hardwareIds = {kHardwareId};
  printer.endpoint = device;
  world::AttachPrintClassDevice(printer);

  PortCreate(&currentPort, PORT_KIND_USB);
  PortSetUsbscan(currentPort, 0);
  PortSetHardwareId(currentPort, kHardwareId);
  PortSetTimeout(currentPort, 30);
  Require(PortOpen(currentPort) == 1, kTarget, "the printer could not be opened");
  int result = RunModeSwitch();
  ReleasePort();
  world::DetachAllDevices();

  Expected expected = ExpectedFor(reply);
  Require(result == expected.result, kTarget, "the exchange's result is not the reply's");
  size_t written = device->Written().size();
  Require(written == kQueryBytes + (expected.switchRequested ? kSwitchBytes : 0), kTarget,
          "the switch request was not sent exactly when asked for");
  RequireNothingLeft(before, kTarget);
  return 0;
}
