// Why a step failed: the failure record, the system's words for an error, and
// what the last search for the printer saw.
#include "port_failure.h"

#include <cstring>

// The system's own words for an error, for the lines a person reads.
namespace {

constexpr DWORD kWideSize = 512;
// What UTF-8 may take for kWideSize UTF-16 units, and its terminator.
constexpr int kNarrowSize = 3 * static_cast<int>(kWideSize) + 1;

bool IsLineBreak(char c) { return c == '\r' || c == '\n'; }

// The system ends its texts with a line break and writes some over several
// lines: a log line must stay one line, so every break becomes a space, and
// the trailing ones go.
void OnOneLine(char *text) {
  size_t length = std::strlen(text);
  while (length > 0 && (IsLineBreak(text[length - 1]) || text[length - 1] == ' '))
    text[--length] = 0;
  for (size_t i = 0; i < length; ++i)
    if (IsLineBreak(text[i])) text[i] = ' ';
}

}  // namespace

void PortAppendText(char *text, int size, const char *piece) {
  if (text == nullptr || size <= 0 || piece == nullptr) return;
  size_t at = strnlen(text, static_cast<size_t>(size) - 1);
  size_t room = static_cast<size_t>(size) - 1 - at;
  size_t length = strnlen(piece, room + 1);
  if (length > room) {
    length = room;
    // Never half a character: continuation bytes are 10xxxxxx.
    while (length > 0 && (static_cast<unsigned char>(piece[length]) & 0xC0) == 0x80) --length;
  }
  std::memcpy(text + at, piece, length);
  text[at + length] = 0;
}

void PortErrorText(DWORD error, char *text, int size) {
  if (text == nullptr || size <= 0) return;
  text[0] = 0;
  char number[24];
  wsprintfA(number, "error %lu", static_cast<unsigned long>(error));
  PortAppendText(text, size, number);

  WCHAR wide[kWideSize];
  DWORD count = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                               error, 0, wide, kWideSize, nullptr);
  if (count == 0 || count >= kWideSize) return;
  char words[kNarrowSize];
  int length = WideCharToMultiByte(CP_UTF8, 0, wide, static_cast<int>(count), words,
                                   kNarrowSize - 1, nullptr, nullptr);
  if (length <= 0) return;
  words[length] = 0;
  OnOneLine(words);
  if (words[0] == 0) return;
  PortAppendText(text, size, ": ");
  PortAppendText(text, size, words);
}

// What the last search for the printer saw.
namespace {

constexpr int kSearchIdsKept = 8;
constexpr size_t kSearchIdSize = 81;  // an id's first 80 characters

struct DeviceSearch {
  const char *deviceClass;                  // "printer-class" or "still-image"
  char sought[kSearchIdSize];               // the id looked for
  int present;                              // devices of the class seen
  char ids[kSearchIdsKept][kSearchIdSize];  // the ids of the first ones
  const char *brokenAt;                     // the call that broke the search off, or null
  DWORD error;                              // its GetLastError
};

DeviceSearch lastSearch;

void CopyId(char (&to)[kSearchIdSize], const char *from) {
  size_t length = strnlen(from, kSearchIdSize - 1);
  std::memcpy(to, from, length);
  to[length] = 0;
}

}  // namespace

void DeviceSearchBegin(const char *deviceClass, const char *sought) {
  std::memset(&lastSearch, 0, sizeof lastSearch);
  lastSearch.deviceClass = deviceClass;
  CopyId(lastSearch.sought, sought != nullptr ? sought : "");
}

void DeviceSearchSaw(const char *id) {
  if (lastSearch.present < kSearchIdsKept) CopyId(lastSearch.ids[lastSearch.present], id);
  ++lastSearch.present;
}

void DeviceSearchBroke(const char *call, DWORD error) {
  lastSearch.brokenAt = call;
  lastSearch.error = error;
}

void DeviceSearchText(char *text, int size) {
  if (text == nullptr || size <= 0) return;
  text[0] = 0;
  const DeviceSearch &search = lastSearch;
  const char *deviceClass = search.deviceClass != nullptr ? search.deviceClass : "USB";
  char piece[kErrorTextSize + 64];
  if (search.brokenAt != nullptr) {
    PortAppendText(text, size, search.brokenAt);
    PortAppendText(text, size, " failed");
    if (search.error == 0) return;
    PortErrorText(search.error, piece, kErrorTextSize);
    PortAppendText(text, size, " with ");
    PortAppendText(text, size, piece);
    return;
  }
  if (search.present == 0) {
    wsprintfA(piece, "no %s device present", deviceClass);
    PortAppendText(text, size, piece);
    return;
  }
  wsprintfA(piece, "%d %s device%s present, %s the id %s: ", search.present, deviceClass,
            search.present == 1 ? "" : "s", search.present == 1 ? "not with" : "none with",
            search.sought);
  PortAppendText(text, size, piece);
  int listed = search.present < kSearchIdsKept ? search.present : kSearchIdsKept;
  for (int i = 0; i < listed; ++i) {
    if (i > 0) PortAppendText(text, size, ", ");
    PortAppendText(text, size, search.ids[i]);
  }
  if (search.present > listed) {
    wsprintfA(piece, " and %d more", search.present - listed);
    PortAppendText(text, size, piece);
  }
}

int DeviceSearchFailed(void) {
  PortNoteSearchFailure(lastSearch.error);
  return 0;
}

// The last failure.
namespace {

PortFailure lastFailure;

void CopyStep(const char *text) {
  size_t length = strnlen(text, kFailureStepSize - 1);
  std::memmove(lastFailure.step, text, length);
  lastFailure.step[length] = 0;
}

// A step with no error code says so, so that the line never reads as if the
// system had given one.
void Announce(void) {
  char line[kFailureTextSize + 64] = "FirmwareUpdater: failed at ";
  char text[kFailureTextSize];
  PortFailureText(&lastFailure, text, kFailureTextSize);
  PortAppendText(line, sizeof line, text);
  if (lastFailure.error == 0 && !lastFailure.searchSeen)
    PortAppendText(line, sizeof line, " (no error code)");
  PortAppendText(line, sizeof line, "\n");
  OutputDebugStringA(line);
}

}  // namespace

void PortNoteFailure(const char *step, DWORD error) {
  CopyStep(step != nullptr ? step : "");
  lastFailure.error = error;
  lastFailure.searchSeen = 0;
  Announce();
}

void PortNoteSearchFailure(DWORD error) {
  CopyStep("device search");
  lastFailure.error = error;
  lastFailure.searchSeen = 1;
  Announce();
}

int PortNoteFailureContext(const char *context) {
  if (context == nullptr) return 0;
  char combined[kFailureStepSize];
  if (lastFailure.step[0] == 0)
    CopyStep(context);
  else {
    wsprintfA(combined, "%.40s: %.50s", context, lastFailure.step);
    CopyStep(combined);
  }
  Announce();
  return 0;
}

const PortFailure *PortLastFailure(void) { return &lastFailure; }

void PortClearFailure(void) {
  lastFailure.step[0] = 0;
  lastFailure.error = 0;
  lastFailure.searchSeen = 0;
}

void PortFailureText(const PortFailure *failure, char *text, int size) {
  if (text == nullptr || size <= 0) return;
  text[0] = 0;
  if (failure == nullptr) return;
  PortAppendText(text, size, failure->step);
  if (failure->searchSeen) {
    char seen[kFailureTextSize];
    DeviceSearchText(seen, kFailureTextSize);
    PortAppendText(text, size, ": ");
    PortAppendText(text, size, seen);
  } else if (failure->error != 0) {
    char words[kErrorTextSize];
    PortErrorText(failure->error, words, kErrorTextSize);
    PortAppendText(text, size, " (");
    PortAppendText(text, size, words);
    PortAppendText(text, size, ")");
  }
}
