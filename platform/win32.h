// The one header through which product code reaches the platform.
//
// On Windows it is the SDK; everywhere else it is the Win32 model in sim/, which
// declares the same names, types and constants, limited to what the program uses.
#pragma once

#if defined(_WIN32)
#include "windows/win32_windows.h"
#else
#include "sim/win32_sim.h"
#endif
