// ICMP echo over a raw socket, as the ICMP service sends it. Raw sockets need
// root; unprivileged ping sockets are refused on the machines the tests run on.
#include <netinet/in.h>
#include <netinet/ip.h>
#include <netinet/ip_icmp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <vector>

#include "internal/kernel.h"
#include "internal/net.h"

namespace sim {
namespace {

constexpr DWORD kGeneralFailure = 11050;          // IP_GENERAL_FAILURE
constexpr DWORD kDestinationUnreachable = 11003;  // IP_DEST_HOST_UNREACHABLE

std::atomic<uint16_t> nextSequence{1};

uint16_t Checksum(const unsigned char *bytes, size_t size) {
  uint32_t sum = 0;
  for (size_t i = 0; i + 1 < size; i += 2) sum += uint32_t(bytes[i] << 8 | bytes[i + 1]);
  if (size & 1) sum += uint32_t(bytes[size - 1] << 8);
  while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
  return uint16_t(~sum);
}

struct Descriptor {
  int fd;
  ~Descriptor() {
    if (fd >= 0) close(fd);
  }
};

}  // namespace

int HostEcho(uint32_t destination, const void *payload, size_t size, DWORD milliseconds,
             void *replyData, size_t replyRoom, EchoReply &reply, DWORD &error) {
  Descriptor raw{socket(AF_INET, SOCK_RAW | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_ICMP)};
  if (raw.fd < 0) {
    error = kGeneralFailure;
    return -1;
  }
  const uint16_t id = uint16_t(getpid());
  const uint16_t sequence = nextSequence.fetch_add(1);
  std::vector<unsigned char> request(8);
  const auto *bytes = static_cast<const unsigned char *>(payload);
  request.insert(request.end(), bytes, bytes + size);
  request[0] = ICMP_ECHO;
  request[4] = uint8_t(id >> 8);
  request[5] = uint8_t(id);
  request[6] = uint8_t(sequence >> 8);
  request[7] = uint8_t(sequence);
  uint16_t sum = Checksum(request.data(), request.size());
  request[2] = uint8_t(sum >> 8);
  request[3] = uint8_t(sum);

  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_addr.s_addr = destination;
  auto started = RealClock::now();
  if (sendto(raw.fd, request.data(), request.size(), 0, reinterpret_cast<sockaddr *>(&to),
             sizeof to) < 0) {
    error =
        errno == ENETUNREACH || errno == EHOSTUNREACH ? kDestinationUnreachable : kGeneralFailure;
    return -1;
  }
  RealClock::time_point deadline = RealDeadline(milliseconds);
  for (;;) {
    if (WaitReady(raw.fd, POLLIN, deadline) <= 0) return 0;
    unsigned char packet[1500];
    sockaddr_in from{};
    socklen_t fromLength = sizeof from;
    ssize_t got = recvfrom(raw.fd, packet, sizeof packet, 0, reinterpret_cast<sockaddr *>(&from),
                           &fromLength);
    if (got < 0) continue;
    size_t header = size_t(packet[0] & 0x0F) * 4;
    if (size_t(got) < header + 8) continue;
    const unsigned char *icmp = packet + header;
    bool ours = icmp[0] == ICMP_ECHOREPLY && (icmp[4] << 8 | icmp[5]) == id &&
                (icmp[6] << 8 | icmp[7]) == sequence;
    if (!ours) continue;
    size_t data = size_t(got) - header - 8;
    reply.from = from.sin_addr.s_addr;
    reply.roundTripMs = DWORD(
        std::chrono::duration_cast<std::chrono::milliseconds>(RealClock::now() - started).count());
    reply.dataSize = data;
    std::memcpy(replyData, icmp + 8, data < replyRoom ? data : replyRoom);
    return 1;
  }
}

}  // namespace sim
