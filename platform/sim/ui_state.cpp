// The user interface's shared state: the open pages, the change counter the
// world's waits follow, the screen, and the history the world reads back. All
// of it is under kernelLock.
#include <functional>
#include <map>
#include <utility>

#include "internal/ui.h"

namespace sim {
namespace {

std::vector<std::shared_ptr<Page>> openPages;  // oldest first
uint64_t uiVersion = 0;  // grows with every change the program makes

int screenWidth = kDefaultScreenWidth;
int screenHeight = kDefaultScreenHeight;
std::map<WORD, std::pair<int, int>> pageSizes;

// One text or progress position the program set.
struct Setting {
  HWND page;
  int control;
  bool isText;
  std::u16string text;
  int position;
};
std::vector<world::PageEvent> pageEvents;
std::vector<Setting> settings;
std::map<HWND, int> endDialogCalls;
std::function<void(HWND)> endDialogWatcher;

}  // namespace

std::vector<std::shared_ptr<Page>> &OpenPages() { return openPages; }

void Changed() {
  ++uiVersion;
  kernelChanged.notify_all();
}

uint64_t UiVersion() { return uiVersion; }

int ScreenWidth() { return screenWidth; }
int ScreenHeight() { return screenHeight; }

void SetScreenSize(int width, int height) {
  screenWidth = width;
  screenHeight = height;
  Changed();
}

bool PageSizeOverride(WORD templateId, int &width, int &height) {
  auto found = pageSizes.find(templateId);
  if (found == pageSizes.end()) return false;
  width = found->second.first;
  height = found->second.second;
  return true;
}

void SetPageSizeOverride(WORD templateId, int width, int height) {
  pageSizes[templateId] = {width, height};
}

void RecordOpened(const Page &page) {
  pageEvents.push_back({world::PageEvent::Kind::opened, page.templateId, page.hwnd, 0});
}

void RecordClosed(const Page &page) {
  pageEvents.push_back({world::PageEvent::Kind::closed, page.templateId, page.hwnd, page.result});
}

void RecordText(const Page &page, int controlId, const std::u16string &text) {
  settings.push_back({page.hwnd, controlId, true, text, 0});
}

void RecordPosition(const Page &page, int controlId, int position) {
  settings.push_back({page.hwnd, controlId, false, std::u16string(), position});
}

void RecordEndDialog(HWND window) { ++endDialogCalls[window]; }

void SetEndDialogWatcher(std::function<void(HWND)> watcher) {
  endDialogWatcher = std::move(watcher);
}

std::function<void(HWND)> EndDialogWatcher() { return endDialogWatcher; }

int EndDialogCalls(HWND window) {
  auto found = endDialogCalls.find(window);
  return found == endDialogCalls.end() ? 0 : found->second;
}

const std::vector<world::PageEvent> &PageEvents() { return pageEvents; }

std::vector<std::u16string> TextsSet(HWND page, int controlId) {
  std::vector<std::u16string> texts;
  for (const Setting &setting : settings)
    if (setting.isText && setting.page == page && setting.control == controlId)
      texts.push_back(setting.text);
  return texts;
}

std::vector<int> PositionsSet(HWND page, int controlId) {
  std::vector<int> positions;
  for (const Setting &setting : settings)
    if (!setting.isText && setting.page == page && setting.control == controlId)
      positions.push_back(setting.position);
  return positions;
}

void ResetUi() {
  std::lock_guard<std::mutex> guard(kernelLock);
  screenWidth = kDefaultScreenWidth;
  screenHeight = kDefaultScreenHeight;
  pageSizes.clear();
  pageEvents.clear();
  settings.clear();
  endDialogCalls.clear();
  endDialogWatcher = nullptr;
  Changed();
}

}  // namespace sim
