// The world's user interface calls: the screen, the user's actions, what the
// user sees and what the model recorded.
#include "world_ui.h"

#include "internal/ui.h"

namespace world {
namespace {

// A user action the page has not handled within this much real time counts as
// not done: the page's thread is stuck elsewhere, and the test should say so
// rather than hang.
constexpr unsigned kActionLimitMs = 30000;

sim::RealClock::time_point DeadlineIn(unsigned realMilliseconds) {
  return sim::RealClock::now() + std::chrono::milliseconds(realMilliseconds);
}

// Reads a live page (controlId 0) or one of its controls under the lock;
// `fallback` when there is no such window.
template <class T, class Reader>
T Read(HWND page, int controlId, T fallback, Reader read) {
  sim::WindowRef window = sim::LookUpWindow(page);
  if (!window.page || window.control >= 0) return fallback;
  std::lock_guard<std::mutex> guard(sim::kernelLock);
  if (window.page->destroyed) return fallback;
  if (controlId == 0) return read(*window.page, nullptr);
  sim::Control *control = window.page->Find(controlId);
  return control != nullptr ? read(*window.page, control) : fallback;
}

}  // namespace

void SetScreenSize(int width, int height) {
  std::lock_guard<std::mutex> guard(sim::kernelLock);
  sim::SetScreenSize(width, height);
}

void SetPageSize(WORD templateId, int width, int height) {
  std::lock_guard<std::mutex> guard(sim::kernelLock);
  sim::SetPageSizeOverride(templateId, width, height);
}

std::vector<PageInfo> Pages() {
  std::vector<PageInfo> pages;
  std::lock_guard<std::mutex> guard(sim::kernelLock);
  for (const auto &page : sim::OpenPages()) pages.push_back({page->templateId, page->hwnd});
  return pages;
}

HWND WaitForPage(WORD templateId, unsigned realMilliseconds) {
  HWND found = nullptr;
  auto ready = [&] {
    const auto &open = sim::OpenPages();
    for (auto it = open.rbegin(); it != open.rend(); ++it) {
      const sim::Page &page = **it;
      if (page.templateId == templateId && page.shown && !page.ended) {
        found = page.hwnd;
        return true;
      }
    }
    return false;
  };
  std::unique_lock<std::mutex> lock(sim::kernelLock);
  return sim::BlockUntil(lock, DeadlineIn(realMilliseconds), ready) ? found : nullptr;
}

bool WaitForPageClosed(HWND page, unsigned realMilliseconds) {
  sim::WindowRef window = sim::LookUpWindow(page);
  if (!window.page || window.control >= 0) return true;  // gone already
  std::unique_lock<std::mutex> lock(sim::kernelLock);
  return sim::BlockUntil(lock, DeadlineIn(realMilliseconds),
                         [&] { return window.page->destroyed; });
}

bool WaitUntil(const std::function<bool()> &condition, unsigned realMilliseconds) {
  sim::RealClock::time_point deadline = DeadlineIn(realMilliseconds);
  for (;;) {
    uint64_t seen;
    {
      std::lock_guard<std::mutex> guard(sim::kernelLock);
      seen = sim::UiVersion();
    }
    // The condition reads the model itself, so it runs without the lock; a
    // change it misses moves the version on and it runs again.
    if (condition()) return true;
    std::unique_lock<std::mutex> lock(sim::kernelLock);
    if (!sim::BlockUntil(lock, deadline, [&] { return sim::UiVersion() != seen; })) {
      lock.unlock();
      return condition();
    }
  }
}

bool Press(HWND page, int controlId) {
  return sim::DoUserAction(page, sim::UserAction::press, controlId, kActionLimitMs);
}

bool PressEscape(HWND page) {
  return sim::DoUserAction(page, sim::UserAction::escape, 0, kActionLimitMs);
}

bool PressCloseBox(HWND page) {
  return sim::DoUserAction(page, sim::UserAction::closeBox, 0, kActionLimitMs);
}

bool PressAltF4(HWND page) {
  return sim::DoUserAction(page, sim::UserAction::altF4, 0, kActionLimitMs);
}

size_t PendingMessages(HWND page) {
  return Read(page, 0, size_t(0),
              [](sim::Page &p, sim::Control *) { return sim::QueuedWorkFor(p); });
}

std::string Caption(HWND page) { return ControlText(page, 0); }

std::string ControlText(HWND page, int controlId) {
  return Read(page, controlId, std::string(), [](sim::Page &p, sim::Control *c) {
    return sim::Utf8FromWide(c != nullptr ? c->text : p.caption);
  });
}

bool IsEnabled(HWND page, int controlId) {
  return Read(page, controlId, false,
              [](sim::Page &p, sim::Control *c) { return c != nullptr ? c->enabled : p.enabled; });
}

bool IsVisible(HWND page, int controlId) {
  return Read(page, controlId, false,
              [](sim::Page &p, sim::Control *c) { return c != nullptr ? c->visible : p.visible; });
}

RECT WindowRect(HWND page, int controlId) {
  return Read(page, controlId, RECT{}, [](sim::Page &p, sim::Control *c) {
    return c != nullptr ? sim::ControlScreenRect(p, *c) : p.rect;
  });
}

int ProgressPosition(HWND page, int controlId) {
  return Read(page, controlId, 0, [](sim::Page &, sim::Control *c) {
    return c != nullptr && c->kind == sim::ControlClass::progress ? c->position : 0;
  });
}

bool IsChecked(HWND page, int controlId) {
  return Read(page, controlId, false,
              [](sim::Page &, sim::Control *c) { return c != nullptr && c->check == BST_CHECKED; });
}

std::vector<ControlInfo> Controls(HWND page) {
  return Read(page, 0, std::vector<ControlInfo>(), [](sim::Page &p, sim::Control *) {
    std::vector<ControlInfo> controls;
    for (const sim::Control &c : p.controls)
      controls.push_back(
          {c.id, sim::ClassName(c.kind), c.style, sim::Utf8FromWide(c.text), c.enabled, c.visible});
    return controls;
  });
}

std::vector<PageEvent> PageHistory() {
  std::lock_guard<std::mutex> guard(sim::kernelLock);
  return sim::PageEvents();
}

HWND LastPage(WORD templateId) {
  std::lock_guard<std::mutex> guard(sim::kernelLock);
  const std::vector<PageEvent> &events = sim::PageEvents();
  for (auto it = events.rbegin(); it != events.rend(); ++it)
    if (it->kind == PageEvent::Kind::opened && it->templateId == templateId) return it->page;
  return nullptr;
}

std::vector<std::string> TextHistory(HWND page, int controlId) {
  std::vector<std::u16string> wide;
  {
    std::lock_guard<std::mutex> guard(sim::kernelLock);
    wide = sim::TextsSet(page, controlId);
  }
  std::vector<std::string> texts;
  for (const std::u16string &text : wide) texts.push_back(sim::Utf8FromWide(text));
  return texts;
}

std::vector<int> ProgressHistory(HWND page, int controlId) {
  std::lock_guard<std::mutex> guard(sim::kernelLock);
  return sim::PositionsSet(page, controlId);
}

void WatchEndDialog(std::function<void(HWND)> watcher) {
  std::lock_guard<std::mutex> guard(sim::kernelLock);
  sim::SetEndDialogWatcher(std::move(watcher));
}

int EndDialogCalls(HWND page) {
  std::lock_guard<std::mutex> guard(sim::kernelLock);
  return sim::EndDialogCalls(page);
}

}  // namespace world
