// The network driver: the network row of the driver tables, over one blocking
// TCP stream socket per port; its check is one ICMP echo, and while a port with
// a callback is open, a keep-alive thread of its own echoes every 6 seconds.
// Each operation of the row unpacks the port and hands plain values on.
#include "network_port.h"

#include <cstdio>
#include <cstring>

#include "port_driver.h"
#include "port_io.h"

// The hand-over record every open that connects writes; each keep-alive
// thread is started with its own copy of it (KeepAlive), so two ports can
// watch their peers at once and nothing reads this after the copy is made.
struct KeepAliveParams {
  uint64_t address;   // const char *
  uint64_t callback;  // PortEventCallback
  uint64_t ipv6;
};
KeepAliveParams keepAliveParams;

// One keep-alive thread's own record: owned by the port that started it and
// freed only once the thread has ended.
struct KeepAlive {
  char *address;  // whole copy of the text
  PortEventCallback callback;
  int32_t ipv6;
  HANDLE stopEvent;
};

// Windows Sockets: one start-up per port, one clean-up per destroyed port;
// Winsock counts them and the last clean-up closes every socket the process
// still has.
namespace {

constexpr WORD kWinsockVersion = 0x0102;  // major 2 in the low byte, minor 1 in the high

int WinsockStartup(void) {
  WSADATA data;
  if (WSAStartup(kWinsockVersion, &data) == 0) return 1;
  std::fputs("wsastartup() failed!!\n", stdout);
  return 0;
}

int WinsockCleanup(void) {
  WSACleanup();
  return 1;
}

// One ICMP echo to the peer, over the system's echo service: 1 when the peer
// answered (or, with `ipv6` exactly 1, without asking).

const char kEchoPayload[] = "ICMP SEND DATA";
constexpr WORD kEchoPayloadSize = sizeof kEchoPayload - 1;  // without the terminator
constexpr DWORD kReplySize = kEchoPayloadSize + 29;
constexpr DWORD kEchoWaitMs = 1000;

int IcmpEcho(const char *address, int32_t ipv6) {
  // The echo service speaks IPv4 only: an IPv6 peer is taken as answering.
  if (ipv6 == 1) return 1;
  HANDLE icmp = IcmpCreateFile();
  void *reply = HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, kReplySize);
  if (reply == nullptr) {
    if (icmp != INVALID_HANDLE_VALUE) IcmpCloseHandle(icmp);
    return 0;
  }
  DWORD replies = IcmpSendEcho(icmp, inet_addr(address), const_cast<char *>(kEchoPayload),
                               kEchoPayloadSize, nullptr, reply, kReplySize, kEchoWaitMs);
  int answered = replies != 0 && static_cast<ICMP_ECHO_REPLY *>(reply)->Status == IP_SUCCESS;
  if (icmp != INVALID_HANDLE_VALUE) IcmpCloseHandle(icmp);
  PortHeapFree(reply);
  return answered ? 1 : 0;
}

// The keep-alive thread: an ICMP echo to the peer every 6 seconds, the port's
// callback told 1 on each one that fails.

constexpr DWORD kEchoIntervalMs = 6000;
// A thread stopped in the middle of an echo could hold the heap's lock, so it
// is asked through its event first and terminated only past this bound.
constexpr DWORD kStopWaitMs = 2000;

void FreeKeepAlive(KeepAlive *keepAlive) {
  if (keepAlive == nullptr) return;
  if (keepAlive->stopEvent != nullptr) CloseHandle(keepAlive->stopEvent);
  PortHeapFree(keepAlive->address);
  PortHeapFree(keepAlive);
}

// The record a thread owns, from the hand-over values, with the text copied
// whole whatever its length.
KeepAlive *MakeKeepAlive(const KeepAliveParams *params) {
  auto *keepAlive = PortHeapAlloc<KeepAlive>();
  if (keepAlive == nullptr) return nullptr;
  const char *address = reinterpret_cast<const char *>(static_cast<uintptr_t>(params->address));
  size_t size = std::strlen(address) + 1;
  keepAlive->address = static_cast<char *>(HeapAlloc(GetProcessHeap(), 0, size));
  keepAlive->stopEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (keepAlive->address == nullptr || keepAlive->stopEvent == nullptr) {
    FreeKeepAlive(keepAlive);
    return nullptr;
  }
  std::memcpy(keepAlive->address, address, size);
  keepAlive->callback =
      reinterpret_cast<PortEventCallback>(static_cast<uintptr_t>(params->callback));
  keepAlive->ipv6 = static_cast<int32_t>(params->ipv6);
  return keepAlive;
}

DWORD WINAPI KeepAliveThread(LPVOID parameter) {
  const KeepAlive *keepAlive = static_cast<const KeepAlive *>(parameter);
  DWORD lastEcho = 0;
  for (;;) {
    // Whole seconds past 5, as the tick counter wraps: the first echo goes out
    // at once unless the system is younger than 6 seconds.
    DWORD since = GetTickCount() - lastEcho;
    if (since / 1000 > 5) {
      lastEcho = GetTickCount();
      if (!IcmpEcho(keepAlive->address, keepAlive->ipv6) && keepAlive->callback != nullptr)
        keepAlive->callback(1);
      continue;
    }
    if (WaitForSingleObject(keepAlive->stopEvent, kEchoIntervalMs - since) == WAIT_OBJECT_0)
      return 0;
  }
}

// Starts the keep-alive thread with a record built from `params`; null record
// and 0 when either cannot be made.
int KeepAliveStart(const KeepAliveParams *params, HANDLE *thread, KeepAlive **keepAlive) {
  *thread = nullptr;
  *keepAlive = MakeKeepAlive(params);
  if (*keepAlive == nullptr) return 0;
  *thread = CreateThread(nullptr, 0, KeepAliveThread, *keepAlive, 0, nullptr);
  if (*thread == nullptr) {
    FreeKeepAlive(*keepAlive);
    *keepAlive = nullptr;
    return 0;
  }
  return 1;
}

// Signals the thread to stop and waits for it, terminating it only if it will
// not end; frees its record and handle once it has ended.
void KeepAliveStop(HANDLE thread, KeepAlive *keepAlive) {
  if (keepAlive != nullptr) SetEvent(keepAlive->stopEvent);
  int ended = WaitForSingleObject(thread, kStopWaitMs) == WAIT_OBJECT_0 || StopThread(thread);
  CloseHandle(thread);
  // A thread that could not be confirmed ended may still read its record.
  if (ended) FreeKeepAlive(keepAlive);
}

// The TCP side: one blocking stream socket per port.

// RtlIpv6StringToAddressA, looked up at run time: older systems lack it.
typedef LONG(WINAPI *Ipv6StringToAddress)(const char *text, const char **end, in6_addr *address);

Ipv6StringToAddress FindIpv6Conversion() {
  HMODULE ntdll = GetModuleHandleA("Ntdll.dll");
  if (ntdll == nullptr) return nullptr;
  return reinterpret_cast<Ipv6StringToAddress>(
      reinterpret_cast<void (*)(void)>(GetProcAddress(ntdll, "RtlIpv6StringToAddressA")));
}

int ConnectIpv4(const char *address, uint16_t tcpPort, UINT_PTR *sock) {
  *sock = socket(AF_INET, SOCK_STREAM, 0);
  if (*sock == INVALID_SOCKET) return 0;
  sockaddr_in peer;
  std::memset(&peer, 0, sizeof peer);
  peer.sin_family = AF_INET;
  peer.sin_port = htons(tcpPort);
  peer.sin_addr.s_addr = inet_addr(address);
  return connect(*sock, reinterpret_cast<const sockaddr *>(&peer), sizeof peer) == 0 ? 1 : 0;
}

int ConnectIpv6(const char *address, uint16_t tcpPort, UINT_PTR *sock) {
  Ipv6StringToAddress convert = FindIpv6Conversion();
  if (convert == nullptr) return 0;
  sockaddr_in6 peer;
  std::memset(&peer, 0, sizeof peer);
  peer.sin6_family = AF_INET6;
  peer.sin6_port = htons(tcpPort);
  // Text that is no address leaves the unspecified address, to which the connect fails.
  const char *end = nullptr;
  convert(address, &end, &peer.sin6_addr);
  *sock = socket(AF_INET6, SOCK_STREAM, 0);
  if (*sock == INVALID_SOCKET) return 0;
  return connect(*sock, reinterpret_cast<const sockaddr *>(&peer), sizeof peer) == 0 ? 1 : 0;
}

// Connects to `address` (IPv4 text when `ipv6` is 0, else IPv6 text), telling
// `callback` 0 once connected and then starting the keep-alive thread if there
// is a callback. `*sock` holds whatever socket was created, even on failure.
int TcpConnect(const char *address, uint16_t tcpPort, UINT_PTR *sock, uint64_t *thread,
               KeepAlive **keepAlive, PortEventCallback callback, int32_t ipv6) {
  *thread = 0;
  *keepAlive = nullptr;
  int connected =
      ipv6 == 0 ? ConnectIpv4(address, tcpPort, sock) : ConnectIpv6(address, tcpPort, sock);
  if (!connected) return 0;
  if (callback != nullptr) callback(0);
  keepAliveParams.address = reinterpret_cast<uintptr_t>(address);
  keepAliveParams.callback = reinterpret_cast<uintptr_t>(callback);
  keepAliveParams.ipv6 = static_cast<uint64_t>(static_cast<int64_t>(ipv6));
  if (callback == nullptr) return 1;
  HANDLE started = nullptr;
  if (!KeepAliveStart(&keepAliveParams, &started, keepAlive)) return 0;
  *thread = HandleToSlot(started);
  return 1;
}

// Shuts the connection down, releases the socket whatever that gave, and stops
// the keep-alive thread. Returns 0 when the shutdown failed.
int TcpDisconnect(UINT_PTR sock, uint64_t thread, KeepAlive *keepAlive) {
  int shut = shutdown(sock, SD_BOTH) == 0 ? 1 : 0;
  // Released whatever the shutdown gave: Winsock may hand the same value to
  // the next socket, so a value kept for later could close someone else's.
  closesocket(sock);
  if (thread != 0) KeepAliveStop(SlotToHandle(thread), keepAlive);
  return shut;
}

// One recv or send; `*count` takes the call's return value.
int TcpReceive(UINT_PTR sock, void *buffer, uint32_t *count) {
  int moved = recv(sock, static_cast<char *>(buffer), static_cast<int>(*count), 0);
  *count = static_cast<uint32_t>(moved);
  return moved == SOCKET_ERROR ? 0 : 1;
}

int TcpSend(UINT_PTR sock, const void *buffer, uint32_t *count) {
  int moved = send(sock, static_cast<const char *>(buffer), static_cast<int>(*count), 0);
  *count = static_cast<uint32_t>(moved);
  return moved == SOCKET_ERROR ? 0 : 1;
}

NetworkPort *AsNetwork(Port *port) { return reinterpret_cast<NetworkPort *>(port); }

}  // namespace

// The row of the tables.

Port *NetworkPortCreate(void) {
  auto *network = PortHeapAlloc<NetworkPort>();
  if (network == nullptr) return nullptr;
  network->header.kind = PORT_KIND_NETWORK;
  network->header.timeoutSeconds = kDefaultTimeoutSeconds;
  WinsockStartup();
  return &network->header;
}

// PortDestroy has closed the port.
int NetworkPortDestroy(Port *port) {
  PortHeapFree(port);
  WinsockCleanup();
  return 1;
}

int NetworkPortOpen(Port *port) {
  NetworkPort *network = AsNetwork(port);
  if (network->hostAddress == nullptr) return 0;
  return TcpConnect(network->hostAddress, network->tcpPort, &network->sock,
                    &network->header.notifyThread, &network->keepAlive, network->header.onOpened,
                    network->useIpv6)
             ? 1
             : 0;
}

int NetworkPortClose(Port *port) {
  NetworkPort *network = AsNetwork(port);
  PortHeapFree(network->hostAddress);
  network->hostAddress = nullptr;
  int result = 1;
  // A failed open may have left a socket, connected or not, or INVALID_SOCKET;
  // the disconnect's 0 for those is the close's result.
  if (network->sock != 0)
    result = TcpDisconnect(network->sock, network->header.notifyThread, network->keepAlive);
  network->sock = 0;
  network->header.notifyThread = 0;
  network->keepAlive = nullptr;
  return result;
}

int NetworkPortRead(Port *port, void *buffer, uint32_t *count) {
  return TcpReceive(AsNetwork(port)->sock, buffer, count);
}

int NetworkPortWrite(Port *port, const void *buffer, uint32_t *count) {
  return TcpSend(AsNetwork(port)->sock, buffer, count);
}

int NetworkPortCheck(Port *port) {
  NetworkPort *network = AsNetwork(port);
  // A closed port has no address left to ask.
  if (network->hostAddress == nullptr) return 1;
  return IcmpEcho(network->hostAddress, network->useIpv6) == 1 ? 0 : 1;
}
