// Dialog templates as the resource compiler writes them. A DLGTEMPLATE is the
// page's style, extended style, item count, x, y, cx, cy, then three fields
// that are either 0 (none), 0xFFFF and an ordinal, or a UTF-16 text: menu,
// class and caption (the caption is always text), then, with DS_SETFONT, the
// point size and the face name. Items start on DWORD boundaries: style,
// extended style, x, y, cx, cy, a 16-bit id, the class (0xFFFF and an ordinal,
// 0x80 button, 0x81 edit, 0x82 static, or a name), the title (ordinal or text)
// and a count of creation-data bytes that follow it. A DLGTEMPLATEEX (version
// 1, signature 0xFFFF) adds a help id, swaps style and extended style, widens
// the item id to 32 bits and adds weight, italic and charset to the font.
#include <cstring>

#include "internal/ui.h"
#include "win32_kernel.h"

namespace sim {
namespace {

class Reader {
 public:
  Reader(const BYTE *bytes, size_t size) : bytes_(bytes), size_(size) {}

  bool ok() const { return ok_; }

  WORD Word() {
    if (size_ - at_ < 2) {
      ok_ = false;
      at_ = size_;
      return 0;
    }
    WORD value = WORD(bytes_[at_] | bytes_[at_ + 1] << 8);
    at_ += 2;
    return value;
  }

  DWORD Dword() {
    DWORD low = Word();
    return low | DWORD(Word()) << 16;
  }

  short Short() { return static_cast<short>(Word()); }

  std::u16string Text() {
    std::u16string text;
    for (WORD unit = Word(); ok_ && unit != 0; unit = Word()) text.push_back(char16_t(unit));
    return text;
  }

  // A menu, class or title field: an ordinal, or a text. Returns whether it was
  // an ordinal; an empty field (0) is an empty text.
  bool OrdinalOrText(WORD &ordinal, std::u16string &text) {
    WORD first = Word();
    if (first == 0xFFFF) {
      ordinal = Word();
      return true;
    }
    if (first != 0) {
      text.assign(1, char16_t(first));
      text += Text();
    }
    return false;
  }

  void Skip(size_t count) {
    if (size_ - at_ < count) {
      ok_ = false;
      at_ = size_;
      return;
    }
    at_ += count;
  }

  void AlignToDword() { Skip(((at_ + 3) & ~size_t(3)) - at_); }

 private:
  const BYTE *bytes_;
  size_t size_;
  size_t at_ = 0;
  bool ok_ = true;
};

bool SameAsciiIgnoringCase(const std::u16string &a, const char *b) {
  if (a.size() != std::strlen(b)) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char16_t x = a[i] >= u'A' && a[i] <= u'Z' ? char16_t(a[i] + 0x20) : a[i];
    char16_t y = b[i] >= 'A' && b[i] <= 'Z' ? char16_t(b[i] + 0x20) : char16_t(b[i]);
    if (x != y) return false;
  }
  return true;
}

bool ClassFromOrdinal(WORD ordinal, ControlClass &kind) {
  // Windows takes 0 to 2 for 0x80 to 0x82 as well.
  if (ordinal >= 0x80) ordinal = WORD(ordinal - 0x80);
  switch (ordinal) {
    case 0:
      kind = ControlClass::button;
      return true;
    case 1:
      kind = ControlClass::edit;
      return true;
    case 2:
      kind = ControlClass::label;
      return true;
    default:  // list boxes, scroll bars, combo boxes: not in the model
      return false;
  }
}

bool ClassFromName(const std::u16string &name, ControlClass &kind) {
  const ControlClass kinds[] = {ControlClass::button, ControlClass::edit, ControlClass::label,
                                ControlClass::progress};
  for (ControlClass candidate : kinds) {
    if (SameAsciiIgnoringCase(name, ClassName(candidate))) {
      kind = candidate;
      return true;
    }
  }
  return false;
}

bool ReadControl(Reader &in, bool extended, ControlTemplate &control) {
  in.AlignToDword();
  if (extended) in.Dword();  // help id
  DWORD first = in.Dword();
  DWORD second = in.Dword();
  control.style = extended ? second : first;  // the extended form puts the style second
  control.x = in.Short();
  control.y = in.Short();
  control.cx = in.Short();
  control.cy = in.Short();
  control.id = extended ? WORD(in.Dword()) : in.Word();
  WORD ordinal = 0;
  std::u16string name;
  bool known = in.OrdinalOrText(ordinal, name) ? ClassFromOrdinal(ordinal, control.kind)
                                               : ClassFromName(name, control.kind);
  std::u16string title;
  // A title given as an ordinal names an icon or bitmap: no text to show.
  if (!in.OrdinalOrText(ordinal, title)) control.text = title;
  in.Skip(in.Word());  // creation data, its count not counting itself (as Wine reads it)
  return in.ok() && known;
}

}  // namespace

const char *ClassName(ControlClass kind) {
  switch (kind) {
    case ControlClass::button:
      return "Button";
    case ControlClass::edit:
      return "Edit";
    case ControlClass::label:
      return "Static";
    case ControlClass::progress:
      return "msctls_progress32";
  }
  return "";
}

bool ParseDialogTemplate(const BYTE *bytes, size_t size, PageTemplate &out) {
  Reader in(bytes, size);
  out = PageTemplate();
  WORD version = in.Word();
  WORD signature = in.Word();
  bool extended = version == 1 && signature == 0xFFFF;
  if (extended) {
    in.Dword();  // help id
    in.Dword();  // extended style
    out.style = in.Dword();
  } else {
    out.style = DWORD(version) | DWORD(signature) << 16;
    in.Dword();  // extended style
  }
  WORD count = in.Word();
  out.x = in.Short();
  out.y = in.Short();
  out.cx = in.Short();
  out.cy = in.Short();
  WORD ordinal = 0;
  std::u16string text;
  in.OrdinalOrText(ordinal, text);  // menu: pages have none
  text.clear();
  in.OrdinalOrText(ordinal, text);  // window class: the dialog class
  out.caption = in.Text();
  if (out.style & DS_SETFONT) {
    // 0x7FFF: the message-box font, with no face name following.
    if (in.Word() != 0x7FFF) {
      if (extended) in.Dword();  // weight, italic and charset
      in.Text();
    }
  }
  for (WORD i = 0; i < count && in.ok(); ++i) {
    ControlTemplate control;
    if (!ReadControl(in, extended, control)) return false;
    out.controls.push_back(control);
  }
  return in.ok();
}

}  // namespace sim
