// The model's network: Winsock's side (sockets in a table of their own, the
// ICMP service, NTDLL's IPv6 conversion) over the host's BSD sockets. The host
// calls take plain values and Windows-layout addresses, so no file needs both
// the host's socket headers and the model's Winsock declarations.
#pragma once

#include <cstddef>
#include <cstdint>

#include "../win32_types.h"
#include "kernel.h"

namespace sim {

// Host calls. Each failure returns -1 and sets `error` to the Winsock code.
// Descriptors are non-blocking; the calls that block on Windows wait in
// WaitReady, where the calling thread can be cancelled (WSAEINTR) or stopped.
int HostSocket(int family, int type, int protocol, int &error);
void HostClose(int fd);
int HostConnect(int fd, const void *address, int length, int &error);
int HostBind(int fd, const void *address, int length, int &error);
int HostListen(int fd, int backlog, int &error);
int HostAccept(int fd, void *address, int *length, int &error);
int HostSockName(int fd, void *address, int *length, int &error);
int HostShutdown(int fd, int how, int &error);
// Wakes every call blocked on `fd` and makes later ones fail (closesocket).
void HostAbandon(int fd);
long HostSend(int fd, const void *data, size_t length, int &error);
long HostReceive(int fd, void *data, size_t length, int &error);

// Waits until `fd` is ready for `events` (poll bits) or the model moment
// `deadline`; a negative fd just waits. Returns 1 ready, 0 timed out, -1
// cancelled. Unwinds if the calling thread is stopped.
int WaitReady(int fd, short events, ModelTime deadline);

// One ICMP echo over a raw socket. Returns 1 with the reply's data, source and
// round trip; 0 when none came in time; -1 with `error` (IP_ status) otherwise.
struct EchoReply {
  uint32_t from;  // network order
  DWORD roundTripMs;
  size_t dataSize;
};
int HostEcho(uint32_t destination, const void *payload, size_t size, DWORD milliseconds,
             void *replyData, size_t replyRoom, EchoReply &reply, DWORD &error);

// Text conversions: dotted IPv4 (INADDR_NONE when it is none) and IPv6 without
// a zone; the IPv6 parse stops at the first character that cannot belong to
// the address and writes `out` only if the text before it is one.
uint32_t HostInetAddr(const char *text);
bool HostParseIpv6(const char *text, const char **end, unsigned char out[16]);

// World switches and counts.
bool EchoesAnswered();
ULONG EchoReplyStatus();
bool WinsockReady();
bool Ipv6ConversionAvailable();
size_t LiveSocketCount();
void ResetNet();

// The system modules GetModuleHandleA knows besides the program: null for others.
HMODULE SystemModule(const char *name);

}  // namespace sim
