// The transfer worker: the image goes to the printer behind its header, block
// by block, with whoever launched it told after every full block.
#include "transfer_worker.h"

#include "control_frame.h"
#include "image_check.h"
#include "port/port_failure.h"
#include "port/port_io.h"
#include "target.h"

WorkerLaunch workerLaunch;

namespace {

constexpr uint32_t kBlockSize = 65472;
constexpr uint8_t kImageMarker = 0xFF;
constexpr uint8_t kImageHeaderVersion = 4;
constexpr DWORD kFinishedPauseMs = 1000;

// The two interfaces of composite printers that must be switched first.
constexpr const char *kSwitchingInterfaces[] = {"USB\\VID_7C5E&PID_4A83&MI_01",
                                                "USB\\VID_7C5E&PID_4A71&MI_01"};

bool NeedsModeSwitch(const char *hardwareId) {
  for (const char *id : kSwitchingInterfaces)
    if (lstrcmpA(hardwareId, id) == 0) return true;
  return false;
}

int SendHeader(uint32_t length) {
  ControlFrame frame = {};
  frame.imageHeader = ImageHeaderFrame{};
  frame.imageHeader.start = kFrameStart;
  frame.imageHeader.marker = kImageMarker;
  frame.imageHeader.version = kImageHeaderVersion;
  for (int i = 0; i < 4; ++i)
    frame.imageHeader.imageLength[i] = static_cast<uint8_t>(length >> (8 * i));
  uint32_t count = kControlFrameSize;
  return PortWrite(currentPort, &frame.imageHeader, &count);
}

// Keeps which block failed with the port's reason; always 0.
int BlockFailed(int block) {
  char step[32];
  wsprintfA(step, "write block %d", block);
  return PortNoteFailureContext(step);
}

int SendImage(WorkerLaunch *launch, const FirmwareImage &image) {
  uint32_t offset = 0;
  uint32_t remaining = image.length;
  // 64 bits: the hundredfold byte count of a large image overflows 32.
  uint64_t accumulated = 0;
  // A full block goes out only while more than a block remains, so the last
  // block, even a full one, is the one that shows 100 %.
  int block = 1;
  while (remaining > kBlockSize) {
    uint32_t count = kBlockSize;
    if (!PortWrite(currentPort, image.bytes + offset, &count)) return BlockFailed(block);
    ++block;
    accumulated += uint64_t(kBlockSize) * 100;
    offset += kBlockSize;
    remaining -= kBlockSize;
    launch->report->progress(launch, static_cast<int>(accumulated / image.length));
  }
  if (remaining == 0) return 1;
  if (!PortWrite(currentPort, image.bytes + offset, &remaining)) return BlockFailed(block);
  launch->report->progress(launch, 100);
  Sleep(kFinishedPauseMs);
  return 1;
}

int Transfer(WorkerLaunch *launch) {
  PortClearFailure();
  // Without its image the program cannot announce anything true: fail rather
  // than tell the printer to expect nothing. A damaged image fails before the
  // printer is even opened, so nothing at all reaches it, mode switch included.
  FirmwareImage image = {};
  if (!FindImage(&image)) return PortNoteFailureContext("firmware resource");
  if (!CheckImage(image.bytes, image.length)) return 0;
  if (!ProbeTarget()) return PortNoteFailureContext("probe");
  if (NeedsModeSwitch(CurrentTargetInfo(nullptr)->hardwareId) && !RunModeSwitch()) return 0;
  if (!SendHeader(image.length)) return PortNoteFailureContext("write header");
  return SendImage(launch, image);
}

}  // namespace

DWORD WINAPI TransferWorker(LPVOID parameter) {
  WorkerLaunch *launch = static_cast<WorkerLaunch *>(parameter);
  int sent = Transfer(launch);
  // On every way out the port goes first, then the end is reported: the main
  // page may probe again as soon as the progress page is gone.
  ReleasePort();
  launch->report->done(launch, sent ? 0 : 1);
  return 1;
}

HANDLE StartTransferWorker(HWND window, const WorkerReport *report, WorkerLaunch *launch) {
  launch->window = window;
  launch->report = report;
  launch->thread = CreateThread(nullptr, 0, TransferWorker, launch, 0, nullptr);
  return launch->thread;
}

void ReleaseTransferWorker(WorkerLaunch *launch) {
  if (launch->thread != nullptr) CloseHandle(launch->thread);
  launch->thread = nullptr;
}
