#include "world.h"

#include "internal/devices.h"
#include "internal/faults.h"
#include "internal/heap.h"
#include "internal/kernel.h"
#include "internal/locale.h"
#include "internal/net.h"
#include "internal/resources.h"
#include "internal/ui.h"

namespace world {

bool SetLanguage(WORD language) {
  if (!sim::SetUiLanguage(language)) return false;
  return sim::SetAnsiCodePage(language == 1041 ? 932u : 1252u);
}
WORD Language() { return sim::UiLanguage(); }
bool SetAnsiCodePage(UINT codePage) { return sim::SetAnsiCodePage(codePage); }
UINT AnsiCodePage() { return sim::AnsiCodePage(); }

void UseRealTime(bool real) { sim::UseRealTime(real); }

void ReplaceResource(LPCSTR type, LPCSTR name, WORD language, std::vector<BYTE> bytes) {
  sim::ReplaceResourceData(sim::ResNameFrom(type), sim::ResNameFrom(name), language,
                           std::move(bytes));
}

void RemoveResource(LPCSTR type, LPCSTR name, WORD language) {
  sim::RemoveResourceData(sim::ResNameFrom(type), sim::ResNameFrom(name), language);
}

void ReplaceString(UINT id, WORD language, const std::u16string &text) {
  sim::ResName type = sim::ResNameFrom(RT_STRING);
  sim::ResName block = sim::ResNameFrom(MAKEINTRESOURCEA((id >> 4) + 1));
  // Decode the block as it stands in that language, change one entry, encode it again.
  std::u16string entries[16];
  if (const sim::ResourceData *old = sim::FindExact(type, block, language)) {
    DWORD offset = 0;
    for (auto &entry : entries) {
      if (offset + 2 > old->size) break;
      DWORD count = old->bytes[offset] | old->bytes[offset + 1] << 8;
      offset += 2;
      if (count * 2 > old->size - offset) break;
      for (DWORD i = 0; i < count; ++i, offset += 2)
        entry.push_back(char16_t(old->bytes[offset] | old->bytes[offset + 1] << 8));
    }
  }
  entries[id & 15] = text;
  std::vector<BYTE> bytes;
  for (const auto &entry : entries) {
    bytes.push_back(BYTE(entry.size()));
    bytes.push_back(BYTE(entry.size() >> 8));
    for (char16_t unit : entry) {
      bytes.push_back(BYTE(unit));
      bytes.push_back(BYTE(unit >> 8));
    }
  }
  sim::ReplaceResourceData(type, block, language, std::move(bytes));
}

void RestoreResources() { sim::RestoreResourceData(); }

void FailAllocation(unsigned nth) { sim::ArmFault(sim::Fault::allocation, nth); }
void FailThreadCreation(unsigned nth) { sim::ArmFault(sim::Fault::threadCreation, nth); }
void FailDisplayContext(unsigned nth) { sim::ArmFault(sim::Fault::displayContext, nth); }
void FailClose(unsigned nth) { sim::ArmFault(sim::Fault::close, nth); }
void FailDialog(unsigned nth) { sim::ArmFault(sim::Fault::dialog, nth); }
void TimeOutAsThreadEnds(unsigned nth) { sim::ArmFault(sim::Fault::lateWait, nth); }

void DisarmFaults() {
  sim::ClearFaults();
  sim::ClearDeviceFaults();
}

CallCounts CallsMade() {
  return {sim::CallsMade(sim::Fault::allocation), sim::CallsMade(sim::Fault::threadCreation),
          sim::CallsMade(sim::Fault::displayContext), sim::CallsMade(sim::Fault::close),
          sim::CallsMade(sim::Fault::dialog)};
}

size_t LiveHandles() { return sim::HandleCount(); }
size_t LiveThreads() { return sim::LiveThreadCount(); }
size_t LiveHeapBlocks() { return sim::LiveHeapBlockCount(); }
size_t FailedCloses() { return sim::failedCloses; }

bool WaitUntilQuiet(unsigned realMilliseconds) { return sim::WaitForNoThreads(realMilliseconds); }

void Reset() {
  SetLanguage(1033);
  sim::UseRealTime(false);
  sim::RestoreResourceData();
  sim::ClearFaults();
  sim::failedCloses = 0;
  sim::ResetDevices();
  sim::ResetUi();
  sim::ResetSession();
  sim::ResetNet();
  sim::ResetProcess();
  sim::ResetConsole();
  sim::ResetDisk();
  ClearDebugOutput();
}

}  // namespace world
