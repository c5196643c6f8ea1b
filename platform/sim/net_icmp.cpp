// The ICMP echo service. Its handle is a kernel object like any other, so a
// test sees one left open.
#include <cstring>

#include "internal/kernel.h"
#include "internal/net.h"
#include "win32_net.h"

namespace sim {
namespace {
struct IcmpService : KernelObject {
  IcmpService() : KernelObject(Kind::net) {}
};

bool IsIcmp(HANDLE handle) {
  std::shared_ptr<KernelObject> object = LookUpHandle(handle);
  return object && object->kind == KernelObject::Kind::net;
}
}  // namespace
}  // namespace sim

HANDLE WINAPI IcmpCreateFile(void) {
  return sim::InsertHandle(std::make_shared<sim::IcmpService>());
}

BOOL WINAPI IcmpCloseHandle(HANDLE icmp) {
  if (sim::IsIcmp(icmp) && sim::RemoveHandle(icmp)) return TRUE;
  sim::SetLastErrorValue(ERROR_INVALID_HANDLE);
  return FALSE;
}

// One reply at most: the model sends one echo to one address.
DWORD WINAPI IcmpSendEcho(HANDLE icmp, IPAddr destination, LPVOID requestData, WORD requestSize,
                          PIP_OPTION_INFORMATION, LPVOID replyBuffer, DWORD replySize,
                          DWORD timeout) {
  sim::StopPoint();
  if (!sim::IsIcmp(icmp)) {
    sim::SetLastErrorValue(ERROR_INVALID_HANDLE);
    return 0;
  }
  if (replyBuffer == nullptr || replySize < sizeof(ICMP_ECHO_REPLY) ||
      (requestData == nullptr && requestSize != 0)) {
    sim::SetLastErrorValue(ERROR_INVALID_PARAMETER);
    return 0;
  }
  auto *reply = static_cast<ICMP_ECHO_REPLY *>(replyBuffer);
  BYTE *data = static_cast<BYTE *>(replyBuffer) + sizeof(ICMP_ECHO_REPLY);
  size_t room = replySize - sizeof(ICMP_ECHO_REPLY);
  // The program is a 32-bit one, whose reply record is 28 bytes: whether the
  // data fits is judged by that, though the model's record is larger.
  constexpr size_t kRecord32 = 28;
  size_t room32 = replySize - kRecord32;
  if (!sim::EchoesAnswered()) {
    // The echo goes nowhere: the wait runs out, and can be cancelled or stopped meanwhile.
    sim::WaitReady(-1, 0, sim::DeadlineAfter(timeout));
    sim::SetLastErrorValue(IP_REQ_TIMED_OUT);
    return 0;
  }
  if (sim::EchoReplyStatus() != IP_SUCCESS) {
    std::memset(reply, 0, sizeof *reply);
    reply->Status = sim::EchoReplyStatus();
    return 1;
  }
  sim::EchoReply answer{};
  DWORD error = 0;
  int outcome =
      sim::HostEcho(destination, requestData, requestSize, timeout, data, room, answer, error);
  if (outcome <= 0) {
    sim::SetLastErrorValue(outcome == 0 ? IP_REQ_TIMED_OUT : error);
    return 0;
  }
  std::memset(reply, 0, sizeof *reply);
  reply->Address = answer.from;
  reply->Status = answer.dataSize > room32 ? IP_BUF_TOO_SMALL : IP_SUCCESS;
  reply->RoundTripTime = answer.roundTripMs;
  reply->DataSize = USHORT(answer.dataSize < room ? answer.dataSize : room);
  reply->Data = data;
  return 1;
}
