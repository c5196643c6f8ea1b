// The real platform: the SDK headers, in the order they must come.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif

// windows.h first: the others build on it.
#include <windows.h>
// clang-format off
#include <commctrl.h>
#include <objbase.h>
#include <process.h>
#include <setupapi.h>
// clang-format on
