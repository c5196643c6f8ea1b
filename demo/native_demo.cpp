// The whole updater, natively, against the virtual printer: it accepts the
// licence, transfers the image and exits, printing every page as it changes and,
// at the end, what the printer received.
//
//   updater_demo [--japanese] [--bytes-per-second N] [--absent-first] [--vanish-first]
//
// --vanish-first: the printer vanishes part-way through the first transfer;
// plugged back in, it takes the whole image when the user presses Retry.
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "app/pages.h"
#include "page_text.h"
#include "res/resource.h"
#include "res/resource_types.h"
#include "sim_printer.h"
#include "world.h"
#include "world_devices.h"
#include "world_ui.h"

namespace {

struct Options {
  bool japanese = false;
  bool absentFirst = false;
  bool vanishFirst = false;
  uint32_t bytesPerSecond = 250000;
};

Options Parse(int argc, char **argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--japanese")) options.japanese = true;
    if (!std::strcmp(argv[i], "--absent-first")) options.absentFirst = true;
    if (!std::strcmp(argv[i], "--vanish-first")) options.vanishFirst = true;
    if (!std::strcmp(argv[i], "--bytes-per-second") && i + 1 < argc)
      options.bytesPerSecond = uint32_t(std::strtoul(argv[++i], nullptr, 10));
  }
  return options;
}

std::vector<uint8_t> ProgramImage() {
  HMODULE module = GetModuleHandleA(nullptr);
  HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(IDR_FIRMWARE), kFirmwareResourceType);
  const auto *bytes = static_cast<const uint8_t *>(LockResource(LoadResource(module, found)));
  return std::vector<uint8_t>(bytes, bytes + SizeofResource(module, found));
}

void Show(const char *what, HWND page) {
  std::printf("\n%s\n%s", what, RenderPage(page).c_str());
  std::fflush(stdout);
}

DWORD WINAPI RunProgram(LPVOID) {
  return static_cast<DWORD>(WinMain(GetModuleHandleA(nullptr), nullptr, nullptr, 0));
}

// A vanishing printer is gone a third of the way through the image.
constexpr uint64_t kVanishAfterBytes = 300000;

std::shared_ptr<vprinter::SimPrinter> AttachPrinter(const Options &options, bool vanishes,
                                                    world::DeviceId *id) {
  vprinter::PrinterConfig config;
  config.expectedImage = ProgramImage();
  config.bytesPerSecond = options.bytesPerSecond;
  if (vanishes) config.disconnectAfterBytes = kVanishAfterBytes;
  auto printer = std::make_shared<vprinter::SimPrinter>(config);
  world::PrintClassDevice device;
  device.hardwareIds = {"USB\\VID_7C5E&PID_4A86&REV_0100", "USB\\VID_7C5E&PID_4A86"};
  device.endpoint = printer;
  *id = world::AttachPrintClassDevice(device);
  return printer;
}

// Shows the progress page at every step until it closes.
void WatchProgress() {
  HWND progress = world::WaitForPage(IDD_PROGRESS, 60000);
  if (progress == nullptr) return;
  // The worker sets the bar, then the percentage: show the page once both moved.
  std::string shown;
  while (world::IsVisible(progress)) {
    std::string percent = world::ControlText(progress, IDC_PERCENT);
    if (percent != shown) {
      Show("The transfer runs:", progress);
      shown = percent;
    }
    world::WaitUntil(
        [&] {
          return !world::IsVisible(progress) || world::ControlText(progress, IDC_PERCENT) != shown;
        },
        60000);
  }
}

}  // namespace

int main(int argc, char **argv) {
  Options options = Parse(argc, argv);
  if (options.japanese) world::SetLanguage(1041);
  std::shared_ptr<vprinter::SimPrinter> printer;
  world::DeviceId device = 0;
  if (!options.absentFirst) printer = AttachPrinter(options, options.vanishFirst, &device);

  // The program's own heap blocks live in the model's books, where valgrind
  // sees them as reachable: the books themselves say whether any was left.
  size_t heapBlocks = world::LiveHeapBlocks();
  size_t handles = world::LiveHandles();
  HANDLE program = CreateThread(nullptr, 0, RunProgram, nullptr, 0, nullptr);
  HWND licence = world::WaitForPage(IDD_LICENSE);
  Show("The program starts with the licence:", licence);
  world::Press(licence, IDC_ACCEPT);
  Show("The user accepts it:", licence);
  world::Press(licence, IDOK);

  HWND main = world::WaitForPage(IDD_MAIN);
  Show("The main page:", main);
  if (options.absentFirst) {
    printer = AttachPrinter(options, options.vanishFirst, &device);
    std::printf("\n(the printer is plugged in; the user presses Retry)\n");
  }
  for (bool vanishing = options.vanishFirst;; vanishing = false) {
    world::Press(main, IDOK);
    WatchProgress();
    world::WaitUntil([&] { return world::IsVisible(main); }, 60000);
    Show("The outcome:", main);
    if (!vanishing) break;
    world::DetachDevice(device);
    printer = AttachPrinter(options, false, &device);
    std::printf("\n(the printer is plugged back in; the user presses Retry)\n");
  }
  world::Press(main, IDCANCEL);
  WaitForSingleObject(program, INFINITE);
  DWORD status = 0;
  GetExitCodeThread(program, &status);
  CloseHandle(program);

  std::printf("\nThe program exited with status %u. The printer received:\n%s\n", status,
              vprinter::ToJson(printer->record()).c_str());
  world::DetachAllDevices();
  world::WaitUntilQuiet();
  bool leftAlive = world::LiveHeapBlocks() != heapBlocks || world::LiveHandles() != handles ||
                   world::LiveThreads() != 0;
  if (leftAlive)
    std::printf("Left alive: %zu heap blocks, %zu handles, %zu threads more than at the start\n",
                world::LiveHeapBlocks() - heapBlocks, world::LiveHandles() - handles,
                world::LiveThreads());
  return printer->record().imageMatches && !leftAlive ? 0 : 1;
}
