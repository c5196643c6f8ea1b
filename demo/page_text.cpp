#include "page_text.h"

#include <algorithm>
#include <sstream>
#include <vector>

namespace {

constexpr size_t kWidth = 72;

// The world's texts are UTF-8; a terminal gives East Asian characters (three
// bytes from U+3000 on, for what the pages hold) two columns.
size_t ColumnsOf(unsigned char lead) {
  if ((lead & 0xC0) == 0x80) return 0;
  return lead >= 0xE3 && lead < 0xF0 ? 2 : 1;
}

size_t Columns(const std::string &text) {
  size_t columns = 0;
  for (unsigned char c : text) columns += ColumnsOf(c);
  return columns;
}

// The longest start of `text` that fits `room` columns, ending on a whole character.
size_t FittingBytes(const std::string &text, size_t room) {
  size_t columns = 0, at = 0;
  while (at < text.size()) {
    size_t next = at + 1;
    while (next < text.size() && ColumnsOf(static_cast<unsigned char>(text[next])) == 0) ++next;
    columns += ColumnsOf(static_cast<unsigned char>(text[at]));
    if (columns > room) break;
    at = next;
  }
  return at;
}

std::string Line(const std::string &text) {
  std::string line = "| " + text;
  size_t columns = Columns(line);
  if (columns < kWidth - 1) line.append(kWidth - 1 - columns, ' ');
  return line + "|\n";
}

// Static texts may hold line breaks and wrap at the page's edge, as the
// control shows them.
void AddText(std::ostringstream &out, const std::string &text) {
  constexpr size_t room = kWidth - 4;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    while (Columns(line) > room) {
      size_t fits = FittingBytes(line, room);
      size_t cut = line.rfind(' ', fits);
      if (cut == std::string::npos || cut == 0) cut = fits;
      out << Line(line.substr(0, cut));
      line.erase(0, cut + (cut < line.size() && line[cut] == ' ' ? 1 : 0));
    }
    out << Line(line);
  }
}

std::string ProgressBar(int position) {
  constexpr int cells = 40;
  int filled = position * cells / 100;
  return "[" + std::string(size_t(filled), '#') + std::string(size_t(cells - filled), '.') + "] " +
         std::to_string(position);
}

}  // namespace

std::string RenderPage(HWND page) {
  std::ostringstream out;
  std::string rule = "+" + std::string(kWidth - 2, '-') + "+\n";
  out << rule << Line(world::Caption(page)) << rule;
  std::string buttons;
  // Top to bottom, left to right, as the eye reads the page.
  std::vector<world::ControlInfo> controls = world::Controls(page);
  std::stable_sort(controls.begin(), controls.end(), [&](const auto &a, const auto &b) {
    RECT ra = world::WindowRect(page, a.id), rb = world::WindowRect(page, b.id);
    return ra.top != rb.top ? ra.top < rb.top : ra.left < rb.left;
  });
  for (const world::ControlInfo &control : controls) {
    if (!control.visible) continue;
    bool radio = (control.style & BS_TYPEMASK) == BS_AUTORADIOBUTTON;
    if (control.className == "msctls_progress32") {
      out << Line(ProgressBar(world::ProgressPosition(page, control.id)));
    } else if (control.className == "Button" && radio) {
      out << Line((world::IsChecked(page, control.id) ? "(o) " : "( ) ") + control.text);
    } else if (control.className == "Button") {
      buttons +=
          (control.enabled ? "[ " : "[ (") + control.text + (control.enabled ? " ]  " : ") ]  ");
    } else if (control.className == "Edit") {
      // The licence: its first lines are enough to recognise it.
      std::string text = control.text.substr(0, FittingBytes(control.text, 160));
      AddText(out, text.substr(0, text.find_last_of('\n') + 1) + "...");
    } else {
      AddText(out, control.text);
    }
  }
  if (!buttons.empty()) out << Line("") << Line(buttons);
  out << rule;
  return out.str();
}
