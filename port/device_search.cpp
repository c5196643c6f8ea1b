#include "device_search.h"

#include <cstring>

#include "error_text.h"
#include "port_failure.h"

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
