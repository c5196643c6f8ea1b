// The program's entry point. Until the pages exist it only asks whether the
// printer is there, which exercises every layer below them.
#include "platform/win32.h"
#include "transfer/target.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  if (ProbeTarget()) ReleasePort();
  return 0;
}
