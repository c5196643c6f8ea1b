// The real platform: the SDK headers, in the order they must come.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif

// winsock2.h before windows.h, whose older winsock.h would clash with it;
// windows.h next: the others build on it.
// clang-format off
#include <winsock2.h>
#include <windows.h>
// clang-format on
// clang-format off
#include <bcrypt.h>
#include <commctrl.h>
#include <ws2tcpip.h>
#include <iphlpapi.h>
#include <icmpapi.h>
#include <objbase.h>
#include <process.h>
#include <setupapi.h>
// clang-format on
