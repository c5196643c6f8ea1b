// Modal pages: DialogBoxParamA and W build the page from the program's template,
// initialises it on the calling thread, shows it and runs its modal loop there
// until EndDialog, from whichever thread, ends it.
#include "internal/faults.h"
#include "internal/resources.h"
#include "internal/ui.h"
#include "win32_resources.h"

namespace sim {
namespace {

// Whatever way DialogBoxParamA leaves (its thread may be stopped inside the
// dialog procedure), the page's windows go with it.
struct PageCloser {
  std::shared_ptr<Page> page;
  ~PageCloser() { DestroyPage(page); }
};

// WM_INITDIALOG's wParam: the control that gets the focus, the first one the
// Tab key reaches.
HWND FirstTabStop(Page &page) {
  std::lock_guard<std::mutex> guard(kernelLock);
  for (const Control &control : page.controls)
    if ((control.style & WS_TABSTOP) && control.visible && control.enabled) return control.hwnd;
  return nullptr;
}

// Windows shows the page once WM_INITDIALOG has returned, unless it already
// ended; a page whose template lacks WS_VISIBLE too, as its modal loop shows
// it when the queue first goes empty.
void ShowAfterInit(Page &page) {
  std::lock_guard<std::mutex> guard(kernelLock);
  if (page.ended) return;
  page.visible = true;
  page.shown = true;
  Changed();
}

WORD TemplateIdOf(LPCSTR name) {
  ResName resource = ResNameFrom(name);
  return resource.isId ? resource.id : 0;
}

INT_PTR RunDialog(HINSTANCE instance, LPCSTR templateName, HWND owner, DLGPROC dialogProc,
                  LPARAM initParam, bool unicode) {
  sim::StopPoint();
  // Windows refuses an owner that is no window, before it looks for the
  // template. The program gives none; an owner that is one is not disabled
  // while the page runs, as Windows would: nothing here needs it.
  if (owner != nullptr && !sim::LookUpWindow(owner).page) {
    sim::SetLastErrorValue(sim::kErrorInvalidWindowHandle);
    return 0;
  }
  if (templateName == nullptr) {
    sim::SetLastErrorValue(ERROR_INVALID_PARAMETER);
    return -1;
  }
  HRSRC found = FindResourceA(instance, templateName, RT_DIALOG);
  if (found == nullptr) return -1;  // with FindResourceA's error
  const BYTE *bytes = static_cast<const BYTE *>(LockResource(LoadResource(instance, found)));
  sim::PageTemplate source;
  if (!sim::ParseDialogTemplate(bytes, SizeofResource(instance, found), source)) {
    // A guess at the error: Windows gives no documented one for a page whose
    // controls cannot be created.
    sim::SetLastErrorValue(ERROR_INVALID_DATA);
    return -1;
  }
  // Windows gives -1 when it cannot make the page, short of memory or of window handles.
  if (sim::TakeFault(sim::Fault::dialog)) {
    sim::SetLastErrorValue(ERROR_NOT_ENOUGH_MEMORY);
    return -1;
  }
  sim::PageCloser closer{
      sim::CreatePage(source, sim::TemplateIdOf(templateName), dialogProc, unicode)};
  sim::Page &page = *closer.page;
  if (dialogProc != nullptr)
    dialogProc(page.hwnd, WM_INITDIALOG, reinterpret_cast<WPARAM>(sim::FirstTabStop(page)),
               initParam);
  sim::ShowAfterInit(page);
  sim::RunModalLoop(closer.page);
  // As on Windows, the procedure hears of the page's end while its window still exists.
  if (dialogProc != nullptr) dialogProc(page.hwnd, WM_DESTROY, 0, 0);
  std::lock_guard<std::mutex> guard(sim::kernelLock);
  return page.result;
}

}  // namespace
}  // namespace sim

INT_PTR WINAPI DialogBoxParamA(HINSTANCE instance, LPCSTR templateName, HWND owner,
                               DLGPROC dialogProc, LPARAM initParam) {
  return sim::RunDialog(instance, templateName, owner, dialogProc, initParam, false);
}

// Templates named by text are looked up by their name in the ANSI code page,
// which is all the model's resource names can hold.
INT_PTR WINAPI DialogBoxParamW(HINSTANCE instance, LPCWSTR templateName, HWND owner,
                               DLGPROC dialogProc, LPARAM initParam) {
  if (templateName == nullptr || IS_INTRESOURCE(templateName))
    return sim::RunDialog(instance, reinterpret_cast<LPCSTR>(templateName), owner, dialogProc,
                          initParam, true);
  std::string name = sim::AnsiFromWide(templateName);
  return sim::RunDialog(instance, name.c_str(), owner, dialogProc, initParam, true);
}

BOOL WINAPI EndDialog(HWND dialog, INT_PTR result) {
  std::function<void(HWND)> watcher;
  {
    std::lock_guard<std::mutex> guard(sim::kernelLock);
    sim::RecordEndDialog(dialog);
    watcher = sim::EndDialogWatcher();
  }
  if (watcher) watcher(dialog);
  sim::WindowRef window = sim::LookUpWindow(dialog);
  if (!window.page || window.control >= 0) {
    sim::SetLastErrorValue(sim::kErrorInvalidWindowHandle);
    return FALSE;
  }
  std::lock_guard<std::mutex> guard(sim::kernelLock);
  if (window.page->destroyed) {
    sim::SetLastErrorValue(sim::kErrorInvalidWindowHandle);
    return FALSE;
  }
  // The loop leaves once the message it is handling returns. Windows hides the
  // page at once; it is destroyed when DialogBoxParamA returns.
  window.page->result = result;
  window.page->ended = true;
  window.page->visible = false;
  sim::Changed();
  return TRUE;
}
