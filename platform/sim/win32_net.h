// Windows Sockets 2, the ICMP echo service and the run-time lookup of NTDLL's
// IPv6 text conversion, as the model provides them. Records have the layout
// and the constants (AF_INET6 is 23) of Windows, not of this machine.
#pragma once

#include "win32_kernel.h"
#include "win32_types.h"

typedef UINT_PTR SOCKET;
typedef uint16_t ADDRESS_FAMILY;

#define INVALID_SOCKET ((SOCKET)(~0))
#define SOCKET_ERROR (-1)

#define AF_UNSPEC 0
#define AF_INET 2
#define AF_INET6 23
#define SOCK_STREAM 1
#define SOCK_RAW 3
#define IPPROTO_TCP 6
#define SD_RECEIVE 0
#define SD_SEND 1
#define SD_BOTH 2
#define SOMAXCONN 0x7fffffff
#define INADDR_ANY 0x00000000u
#define INADDR_NONE 0xffffffffu

#define WSAEINTR 10004
#define WSAEFAULT 10014
#define WSAEINVAL 10022
#define WSAEWOULDBLOCK 10035
#define WSAENOTSOCK 10038
#define WSAEAFNOSUPPORT 10047
#define WSAEADDRINUSE 10048
#define WSAEADDRNOTAVAIL 10049
#define WSAENETUNREACH 10051
#define WSAECONNABORTED 10053
#define WSAECONNRESET 10054
#define WSAEISCONN 10056
#define WSAENOTCONN 10057
#define WSAESHUTDOWN 10058
#define WSAETIMEDOUT 10060
#define WSAECONNREFUSED 10061
#define WSAEHOSTUNREACH 10065
#define WSASYSNOTREADY 10091
#define WSAVERNOTSUPPORTED 10092
#define WSANOTINITIALISED 10093

#define WSADESCRIPTION_LEN 256
#define WSASYS_STATUS_LEN 128

typedef struct WSAData {
  WORD wVersion;
  WORD wHighVersion;
  char szDescription[WSADESCRIPTION_LEN + 1];
  char szSystemStatus[WSASYS_STATUS_LEN + 1];
  unsigned short iMaxSockets;
  unsigned short iMaxUdpDg;
  char *lpVendorInfo;
} WSADATA, *LPWSADATA;

struct in_addr {
  union {
    struct {
      UCHAR s_b1, s_b2, s_b3, s_b4;
    } S_un_b;
    ULONG S_addr;
  } S_un;
};
#define s_addr S_un.S_addr

struct in6_addr {
  union {
    UCHAR Byte[16];
    USHORT Word[8];
  } u;
};
#define s6_addr u.Byte

struct sockaddr {
  USHORT sa_family;
  char sa_data[14];
};

struct sockaddr_in {
  short sin_family;
  USHORT sin_port;
  struct in_addr sin_addr;
  char sin_zero[8];
};

struct sockaddr_in6 {
  short sin6_family;
  USHORT sin6_port;
  ULONG sin6_flowinfo;
  struct in6_addr sin6_addr;
  ULONG sin6_scope_id;
};

int WINAPI WSAStartup(WORD version, LPWSADATA data);
int WINAPI WSACleanup(void);
int WINAPI WSAGetLastError(void);
SOCKET WINAPI socket(int family, int type, int protocol);
int WINAPI closesocket(SOCKET s);
int WINAPI connect(SOCKET s, const struct sockaddr *address, int length);
int WINAPI bind(SOCKET s, const struct sockaddr *address, int length);
int WINAPI listen(SOCKET s, int backlog);
SOCKET WINAPI accept(SOCKET s, struct sockaddr *address, int *length);
int WINAPI getsockname(SOCKET s, struct sockaddr *address, int *length);
int WINAPI shutdown(SOCKET s, int how);
int WINAPI send(SOCKET s, const char *buffer, int length, int flags);
int WINAPI recv(SOCKET s, char *buffer, int length, int flags);
USHORT WINAPI htons(USHORT value);
USHORT WINAPI ntohs(USHORT value);
ULONG WINAPI htonl(ULONG value);
ULONG WINAPI inet_addr(const char *text);

// The ICMP echo service (IPHLPAPI).
typedef ULONG IPAddr;
#define IP_SUCCESS 0u
#define IP_BUF_TOO_SMALL 11001u
#define IP_DEST_HOST_UNREACHABLE 11003u
#define IP_REQ_TIMED_OUT 11010u
#define IP_GENERAL_FAILURE 11050u

typedef struct ip_option_information {
  UCHAR Ttl;
  UCHAR Tos;
  UCHAR Flags;
  UCHAR OptionsSize;
  UCHAR *OptionsData;
} IP_OPTION_INFORMATION, *PIP_OPTION_INFORMATION;

typedef struct icmp_echo_reply {
  IPAddr Address;
  ULONG Status;
  ULONG RoundTripTime;
  USHORT DataSize;
  USHORT Reserved;
  PVOID Data;
  struct ip_option_information Options;
} ICMP_ECHO_REPLY, *PICMP_ECHO_REPLY;

HANDLE WINAPI IcmpCreateFile(void);
BOOL WINAPI IcmpCloseHandle(HANDLE icmp);
DWORD WINAPI IcmpSendEcho(HANDLE icmp, IPAddr destination, LPVOID requestData, WORD requestSize,
                          PIP_OPTION_INFORMATION options, LPVOID replyBuffer, DWORD replySize,
                          DWORD timeout);

// Procedures of system modules looked up by name (KERNEL32).
#define ERROR_PROC_NOT_FOUND 127u
typedef INT_PTR(WINAPI *FARPROC)(void);
FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR name);
