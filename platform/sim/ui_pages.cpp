// Pages and their controls as windows: built from a parsed template, laid out
// in pixels, entered in the handle table (so the world counts them; a window
// handle is never reused), and taken away again.
#include <algorithm>

#include "internal/ui.h"
#include "win32_kernel.h"

namespace sim {
namespace {

// MulDiv: rounds half away from zero, as Windows' does.
int MulDiv(int value, int numerator, int denominator) {
  long long product = static_cast<long long>(value) * numerator;
  long long half = denominator / 2;
  return static_cast<int>(product >= 0 ? (product + half) / denominator
                                       : (product - half) / denominator);
}

int PixelsX(int dialogUnits) { return MulDiv(dialogUnits, kBaseUnitX, 4); }
int PixelsY(int dialogUnits) { return MulDiv(dialogUnits, kBaseUnitY, 8); }

bool HasCaption(DWORD style) { return (style & WS_CAPTION) == WS_CAPTION; }

HWND InsertWindow(const std::shared_ptr<Page> &page, int control) {
  auto object = std::make_shared<UiObject>(UiObject::Type::window);
  object->page = page;
  object->control = control;
  return reinterpret_cast<HWND>(InsertHandle(object));
}

// Windows places a page at its template's x and y, in dialog units from the
// screen's corner (the program's are at 0, 0), and sizes it from the template
// unless the world says otherwise.
RECT PageRect(const PageTemplate &source, WORD templateId) {
  RECT rect{};
  rect.left = PixelsX(source.x);
  rect.top = PixelsY(source.y);
  int width = PixelsX(source.cx) + 2 * kFrame;
  int height = PixelsY(source.cy) + 2 * kFrame + (HasCaption(source.style) ? kCaptionBar : 0);
  {
    std::lock_guard<std::mutex> guard(kernelLock);
    PageSizeOverride(templateId, width, height);
  }
  rect.right = rect.left + width;
  rect.bottom = rect.top + height;
  return rect;
}

Control ControlFrom(const ControlTemplate &source, bool unicode) {
  Control control;
  control.id = source.id;
  control.kind = source.kind;
  control.style = source.style;
  control.text = unicode ? source.text : ThroughAnsi(source.text);
  control.enabled = (source.style & WS_DISABLED) == 0;
  control.visible = (source.style & WS_VISIBLE) != 0;
  control.rect.left = PixelsX(source.x);
  control.rect.top = PixelsY(source.y);
  control.rect.right = control.rect.left + PixelsX(source.cx);
  control.rect.bottom = control.rect.top + PixelsY(source.cy);
  return control;
}

}  // namespace

Control *Page::Find(int id) {
  int index = IndexOf(id);
  return index < 0 ? nullptr : &controls[size_t(index)];
}

int Page::IndexOf(int id) const {
  for (size_t i = 0; i < controls.size(); ++i)
    if (controls[i].id == id) return int(i);
  return -1;
}

WindowRef LookUpWindow(HWND window) {
  std::shared_ptr<KernelObject> object = LookUpHandle(window);
  if (!object || object->kind != KernelObject::Kind::ui) return WindowRef();
  auto ui = std::static_pointer_cast<UiObject>(object);
  if (ui->type != UiObject::Type::window) return WindowRef();
  return WindowRef{ui->page, ui->control};
}

RECT ControlScreenRect(const Page &page, const Control &control) {
  int left = page.rect.left + kFrame;
  int top = page.rect.top + kFrame + (HasCaption(page.style) ? kCaptionBar : 0);
  return RECT{control.rect.left + left, control.rect.top + top, control.rect.right + left,
              control.rect.bottom + top};
}

std::shared_ptr<Page> CreatePage(const PageTemplate &source, WORD templateId, DLGPROC proc,
                                 bool unicode) {
  auto page = std::make_shared<Page>();
  page->templateId = templateId;
  page->proc = proc;
  page->style = source.style;
  page->thread = GetCurrentThreadId();
  page->unicode = unicode;
  page->caption = unicode ? source.caption : ThroughAnsi(source.caption);
  page->enabled = (source.style & WS_DISABLED) == 0;
  // Windows creates the page hidden whatever its template says, and shows it
  // once WM_INITDIALOG has returned.
  page->visible = false;
  page->rect = PageRect(source, templateId);
  page->hwnd = InsertWindow(page, -1);
  for (const ControlTemplate &control : source.controls) {
    page->controls.push_back(ControlFrom(control, unicode));
    page->controls.back().hwnd = InsertWindow(page, int(page->controls.size() - 1));
  }
  std::lock_guard<std::mutex> guard(kernelLock);
  OpenPages().push_back(page);
  RecordOpened(*page);
  Changed();
  return page;
}

void DestroyPage(const std::shared_ptr<Page> &page) {
  // The handles go first, so whoever sees the page destroyed counts none of them.
  RemoveHandle(page->hwnd);
  for (const Control &control : page->controls) RemoveHandle(control.hwnd);
  std::lock_guard<std::mutex> guard(kernelLock);
  page->destroyed = true;
  page->visible = false;
  std::vector<std::shared_ptr<Page>> &open = OpenPages();
  open.erase(std::remove(open.begin(), open.end(), page), open.end());
  ForgetWorkOf(*page);
  RecordClosed(*page);
  Changed();
}

}  // namespace sim
