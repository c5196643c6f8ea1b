// The TCP side of the network transport: one blocking stream socket per port.
#include <cstring>

#include "network_transport.h"

namespace {

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

}  // namespace

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

int TcpDisconnect(UINT_PTR sock, uint64_t thread, KeepAlive *keepAlive) {
  int shut = shutdown(sock, SD_BOTH) == 0 ? 1 : 0;
  // Released whatever the shutdown gave: Winsock may hand the same value to
  // the next socket, so a value kept for later could close someone else's.
  closesocket(sock);
  if (thread != 0) KeepAliveStop(SlotToHandle(thread), keepAlive);
  return shut;
}

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
