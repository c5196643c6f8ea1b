// The whole program on a thread of its own, with the test as its user: start
// it, attach the virtual printer, accept the licence, run a transfer.
#pragma once

#include <memory>
#include <string>

#include "app/pages.h"
#include "program_thread.h"
#include "res/resource.h"
#include "sim_printer.h"
#include "world_devices.h"
#include "world_ui.h"

// The shipped model's caption.
inline constexpr char kCaption[] = "TORVAEL prismatone 3350N (V1.05)";

class ProgramTest : public SimTest {
 protected:
  void TearDown() override {
    program.reset();
    world::DetachAllDevices();
    SimTest::TearDown();
  }

  void Start() {
    program = std::make_unique<ProgramThread>(
        [] { return static_cast<DWORD>(WinMain(GetModuleHandleA(nullptr), nullptr, nullptr, 0)); });
  }

  world::DeviceId AttachPrinter(vprinter::PrinterConfig config = vprinter::PrinterConfig()) {
    printer = std::make_shared<vprinter::SimPrinter>(std::move(config));
    world::PrintClassDevice device;
    device.hardwareIds = {"USB\\VID_7C5E&PID_4A86"};
    device.endpoint = printer;
    return world::AttachPrintClassDevice(device);
  }

  // Starts the program and accepts the licence; the main page.
  HWND Accept() {
    Start();
    HWND licence = world::WaitForPage(IDD_LICENSE);
    EXPECT_TRUE(world::Press(licence, IDC_ACCEPT));
    EXPECT_TRUE(world::Press(licence, IDOK));
    return world::WaitForPage(IDD_MAIN);
  }

  // Presses the action button and waits for the progress page to come and go.
  void TransferFrom(HWND main) {
    size_t closedBefore = Closed(IDD_PROGRESS);
    ASSERT_TRUE(world::Press(main, IDOK));
    ASSERT_TRUE(world::WaitUntil([&] { return Closed(IDD_PROGRESS) > closedBefore; }));
    ASSERT_TRUE(world::WaitUntil([&] { return world::IsVisible(main); }));
  }

  static size_t Closed(WORD templateId) {
    size_t closed = 0;
    for (const world::PageEvent &event : world::PageHistory())
      if (event.kind == world::PageEvent::Kind::closed && event.templateId == templateId) ++closed;
    return closed;
  }

  // String `id` in the machine's language, in UTF-8 as the world reads texts.
  static std::string Text(UINT id) {
    WCHAR wide[1024] = {};
    int count = LoadStringW(GetModuleHandleA(nullptr), id, wide, 1024);
    char text[4096] = {};
    if (count > 0) WideCharToMultiByte(CP_UTF8, 0, wide, count, text, 4095, nullptr, nullptr);
    return text;
  }

  std::unique_ptr<ProgramThread> program;
  std::shared_ptr<vprinter::SimPrinter> printer;
};
