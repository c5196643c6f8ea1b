// A page as plain text: its caption in a frame, then each control as a user
// would read it.
#pragma once

#include <string>

#include "world_ui.h"

std::string RenderPage(HWND page);
