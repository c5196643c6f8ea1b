// The Win32 model: declarations of the subset of Win32 the program uses, with
// the same names, types and constants as the SDK. Types have the widths of
// Windows, whatever this machine's word size (DWORD is 32 bits, WCHAR 16 bits).
#pragma once

#include "win32_crypto.h"
#include "win32_devices.h"
#include "win32_files.h"
#include "win32_kernel.h"
#include "win32_net.h"
#include "win32_resources.h"
#include "win32_types.h"
#include "win32_ui.h"
