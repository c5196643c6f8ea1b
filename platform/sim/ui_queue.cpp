// Work for a page's UI thread: what another thread sends to a page (text,
// progress) and what the world's user does to it, run by the modal loop of
// the thread that owns the page while the caller waits, as SendMessage does
// across threads on Windows.
#include <algorithm>
#include <deque>
#include <map>

#include "internal/ui.h"
#include "win32_kernel.h"

namespace sim {
namespace {

struct Work {
  std::shared_ptr<Page> page;
  PageWork run;
  std::u16string textOut;
  LRESULT result = 0;
  bool done = false;
};

// By UI thread id, under kernelLock: work queued, and work being run (more
// than one when a dialog procedure opened a nested page).
std::map<DWORD, std::deque<std::shared_ptr<Work>>> queues;
std::map<DWORD, std::vector<std::shared_ptr<Work>>> running;

// Only a user's action calls the dialog procedure, so only it can open a
// nested page. Once that page's loop runs, the click is over as far as the
// user can tell (the new page takes input), and the caller is let go: its
// action was taken.
void ReleaseRunningWork(DWORD thread) {
  auto found = running.find(thread);
  if (found == running.end()) return;
  for (const std::shared_ptr<Work> &work : found->second) {
    if (work->done) continue;
    work->result = TRUE;
    work->done = true;
    Changed();
  }
}

bool HasWork(DWORD thread) {
  auto found = queues.find(thread);
  return found != queues.end() && !found->second.empty();
}

std::shared_ptr<Work> TakeWork(DWORD thread) {
  std::deque<std::shared_ptr<Work>> &queue = queues[thread];
  std::shared_ptr<Work> work = queue.front();
  queue.pop_front();
  if (queue.empty()) queues.erase(thread);
  return work;
}

void Unqueue(const std::shared_ptr<Work> &work) {
  auto found = queues.find(work->page->thread);
  if (found == queues.end()) return;
  std::deque<std::shared_ptr<Work>> &queue = found->second;
  queue.erase(std::remove(queue.begin(), queue.end(), work), queue.end());
  if (queue.empty()) queues.erase(found);
}

// A caller that leaves before its work ran (time-out, or its thread stopped
// while it waited) takes the work back, so nothing runs for a caller gone.
struct TakeBackUnlessDone {
  std::unique_lock<std::mutex> &lock;
  const std::shared_ptr<Work> &work;
  ~TakeBackUnlessDone() {
    if (!lock.owns_lock()) lock.lock();
    if (!work->done) Unqueue(work);
  }
};

void EndRunning(const std::shared_ptr<Work> &work) {
  std::vector<std::shared_ptr<Work>> &list = running[work->page->thread];
  list.erase(std::remove(list.begin(), list.end(), work), list.end());
  if (list.empty()) running.erase(work->page->thread);
}

// Work is running from its entry in `running` until this leaves scope, with
// kernelLock held again, however the work ended.
struct Running {
  std::unique_lock<std::mutex> &lock;
  std::shared_ptr<Work> work;
  ~Running() {
    if (!lock.owns_lock()) lock.lock();
    EndRunning(work);
  }
};

}  // namespace

LRESULT RunOnPageThread(const std::shared_ptr<Page> &page, const PageWork &run, LRESULT failed,
                        std::u16string *textOut, RealClock::time_point deadline) {
  if (GetCurrentThreadId() == page->thread) {
    std::u16string text;
    LRESULT result = run(text);
    if (textOut != nullptr) *textOut = std::move(text);
    return result;
  }
  auto work = std::make_shared<Work>();
  work->page = page;
  work->run = run;
  std::unique_lock<std::mutex> lock(kernelLock);
  if (page->destroyed) return failed;
  queues[page->thread].push_back(work);
  Changed();
  TakeBackUnlessDone takeBack{lock, work};
  BlockUntil(lock, deadline, [&] { return work->done || page->destroyed; });
  if (!work->done) return failed;
  if (textOut != nullptr) *textOut = std::move(work->textOut);
  return work->result;
}

void RunModalLoop(const std::shared_ptr<Page> &page) {
  std::unique_lock<std::mutex> lock(kernelLock);
  ReleaseRunningWork(page->thread);
  for (;;) {
    BlockUntil(lock, RealClock::time_point::max(),
               [&] { return page->ended || HasWork(page->thread); });
    if (page->ended) return;
    std::shared_ptr<Work> work = TakeWork(page->thread);
    std::u16string text;
    LRESULT result;
    {
      running[page->thread].push_back(work);
      Running mark{lock, work};
      lock.unlock();
      result = work->run(text);  // a stopped thread unwinds from here
    }
    if (work->done) continue;  // let go when a nested page opened
    work->result = result;
    work->textOut = std::move(text);
    work->done = true;
    Changed();
  }
}

size_t QueuedWorkFor(const Page &page) {
  auto found = queues.find(page.thread);
  if (found == queues.end()) return 0;
  size_t count = 0;
  for (const std::shared_ptr<Work> &work : found->second)
    if (work->page.get() == &page) ++count;
  return count;
}

void ForgetWorkOf(const Page &page) {
  auto found = queues.find(page.thread);
  if (found == queues.end()) return;
  std::deque<std::shared_ptr<Work>> &queue = found->second;
  queue.erase(
      std::remove_if(queue.begin(), queue.end(),
                     [&](const std::shared_ptr<Work> &work) { return work->page.get() == &page; }),
      queue.end());
  if (queue.empty()) queues.erase(found);
}

}  // namespace sim
