// The module-wide state of the target: the current port and its published description.
#include <cstring>

#include "target.h"

Port *currentPort = nullptr;

namespace {
TargetInfo targetInfo;
}

TargetInfo *CurrentTargetInfo(const TargetInfo *info) {
  if (info != nullptr) {
    targetInfo.reserved = info->reserved;
    size_t length = strnlen(info->hardwareId, kTargetHardwareIdSize - 1);
    std::memcpy(targetInfo.hardwareId, info->hardwareId, length);
    targetInfo.hardwareId[length] = 0;
    targetInfo.portKind = info->portKind;
    targetInfo.portCount = info->portCount;
  }
  return &targetInfo;
}
