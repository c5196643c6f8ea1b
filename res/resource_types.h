// Names of the program's own resource types.
#pragma once

constexpr const char *kFirmwareResourceType = "FIRMWARE";
constexpr const char *kEulaResourceType = "EULA";
