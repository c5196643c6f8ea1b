// Names of the program's own resource types.
#pragma once

constexpr const char *kFirmwareResourceType = "FIRMWARE";
constexpr const char *kEulaResourceType = "EULA";
constexpr const char *kFirmwareDigestResourceType = "FIRMWARE_SHA256";
