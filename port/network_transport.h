// The network driver's transport: plain values in, nothing of ports. The
// table operations in network_port.cpp unpack a port and call these.
#pragma once

#include <cstdint>

#include "platform/win32.h"
#include "port.h"
#include "usb_driver.h"  // HandleToSlot, SlotToHandle

// The hand-over record every open that connects writes; each keep-alive
// thread is started with its own copy of it (KeepAlive), so two ports can
// watch their peers at once and nothing reads this after the copy is made.
struct KeepAliveParams {
  uint64_t address;   // const char *
  uint64_t callback;  // PortEventCallback
  uint64_t ipv6;
};
extern KeepAliveParams keepAliveParams;

// One keep-alive thread's own record: owned by the port that started it and
// freed only once the thread has ended.
struct KeepAlive {
  char *address;  // whole copy of the text
  PortEventCallback callback;
  int32_t ipv6;
  HANDLE stopEvent;
};

// Connects to `address` (IPv4 text when `ipv6` is 0, else IPv6 text), telling
// `callback` 0 once connected and then starting the keep-alive thread if there
// is a callback. `*sock` holds whatever socket was created, even on failure.
int TcpConnect(const char *address, uint16_t tcpPort, UINT_PTR *sock, uint64_t *thread,
               KeepAlive **keepAlive, PortEventCallback callback, int32_t ipv6);
// Shuts the connection down, releases the socket whatever that gave, and stops
// the keep-alive thread. Returns 0 when the shutdown failed.
int TcpDisconnect(UINT_PTR sock, uint64_t thread, KeepAlive *keepAlive);
// One recv or send; `*count` takes the call's return value.
int TcpReceive(UINT_PTR sock, void *buffer, uint32_t *count);
int TcpSend(UINT_PTR sock, const void *buffer, uint32_t *count);
// 1 when the peer answered one echo (or, with `ipv6` exactly 1, without asking).
int IcmpEcho(const char *address, int32_t ipv6);

// Starts the keep-alive thread with a record built from `params`; null record
// and 0 when either cannot be made.
int KeepAliveStart(const KeepAliveParams *params, HANDLE *thread, KeepAlive **keepAlive);
// Signals the thread to stop and waits for it, terminating it only if it will
// not end; frees its record and handle once it has ended.
void KeepAliveStop(HANDLE thread, KeepAlive *keepAlive);
DWORD WINAPI KeepAliveThread(LPVOID keepAlive);

int WinsockStartup(void);
int WinsockCleanup(void);
