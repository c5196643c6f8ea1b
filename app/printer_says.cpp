#include "printer_says.h"

#include <cstring>

#include "port/port_failure.h"
#include "port/usb_port.h"

namespace {

constexpr char kSays[] = "Printer says: ";

bool ShownAsItIs(BYTE byte) { return byte >= 0x20 && byte < 0x7F && byte != '\\'; }

int Width(BYTE byte) { return ShownAsItIs(byte) ? 1 : 4; }

// The id as printable ASCII: every other byte, and the backslash that starts
// an escape, as \xNN. An id that does not fit ends in "..." after the last
// whole character that does.
void Escape(const BYTE *id, DWORD length, char *text) {
  static const char digits[] = "0123456789ABCDEF";
  long whole = 0;
  for (DWORD i = 0; i < length; ++i) whole += Width(id[i]);
  const int room = whole <= kPrinterSaysShown ? kPrinterSaysShown : kPrinterSaysShown - 3;
  int at = 0;
  for (DWORD i = 0; i < length && at + Width(id[i]) <= room; ++i) {
    if (ShownAsItIs(id[i])) {
      text[at++] = static_cast<char>(id[i]);
      continue;
    }
    text[at++] = '\\';
    text[at++] = 'x';
    text[at++] = digits[id[i] >> 4];
    text[at++] = digits[id[i] & 0xF];
  }
  text[at] = 0;
  if (whole > kPrinterSaysShown) std::strcat(text, "...");
}

void Reason(const Ieee1284Id &answer, const Port *port, char *text) {
  switch (answer.outcome) {
    case IEEE1284_READ:
      std::strcpy(text, "an empty id");
      break;
    case IEEE1284_NOT_PRINT_CLASS:
      std::strcpy(text, "a still-image printer's driver cannot ask for it");
      break;
    case IEEE1284_REFUSED:
      if (answer.error != 0)
        PortErrorText(answer.error, text, kErrorTextSize);
      else
        std::strcpy(text, "the request failed");
      break;
    case IEEE1284_NO_ANSWER:
      wsprintfA(text, "no answer within %u s", static_cast<unsigned>(port->timeoutSeconds));
      break;
    case IEEE1284_SHORT_REPLY:
      wsprintfA(text, "a reply of %lu byte%s, too short for its length",
                static_cast<unsigned long>(answer.length), answer.length == 1 ? "" : "s");
      break;
  }
}

}  // namespace

void SayWhatPrinterSays(QuietLog *log, Port *port) {
  Ieee1284Id answer;
  char line[sizeof kSays + kPrinterSaysShown + kErrorTextSize];
  std::strcpy(line, kSays);
  char *text = line + sizeof kSays - 1;
  if (PortReadIeee1284Id(port, &answer) && answer.length > 0) {
    Escape(answer.id, answer.length, text);
  } else {
    char reason[kErrorTextSize];
    Reason(answer, port, reason);
    wsprintfA(text, "nothing (%s)", reason);
  }
  WriteLogLine(log, line);
}
