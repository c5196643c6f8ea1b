// hash-bench: what checking the shipped image against its stored digest costs
// under Wine. Reads the image and its digest out of the updater's resources and
// runs the updater's own check (ImageMatchesDigest, CNG's SHA-256) on them, as
// the worker does before it sends anything; the baseline is one memcpy of the
// same image. Each is timed many times and the median kept.
//
//   hash-bench.exe UPDATER_EXE
//
// Prints one line of JSON; the status is 0 when the check passed every time.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/win32.h"
#include "res/resource.h"
#include "res/resource_types.h"
#include "transfer/image_check.h"

namespace {

constexpr int kRuns = 51;

const BYTE *Resource(HMODULE module, int id, const char *type, DWORD *size) {
  HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(id), type);
  if (found == nullptr) return nullptr;
  *size = SizeofResource(module, found);
  return static_cast<const BYTE *>(LockResource(LoadResource(module, found)));
}

double Milliseconds(LARGE_INTEGER from, LARGE_INTEGER to, LARGE_INTEGER frequency) {
  return double(to.QuadPart - from.QuadPart) * 1000.0 / double(frequency.QuadPart);
}

double Median(std::vector<double> times) {
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

}  // namespace

int main(int argc, char **argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: hash-bench.exe UPDATER_EXE\n");
    return 2;
  }
  HMODULE updater = LoadLibraryExA(argv[1], nullptr, LOAD_LIBRARY_AS_DATAFILE);
  DWORD length = 0, digestSize = 0;
  const BYTE *image =
      updater ? Resource(updater, IDR_FIRMWARE, kFirmwareResourceType, &length) : nullptr;
  const BYTE *digest =
      updater ? Resource(updater, IDR_FIRMWARE_DIGEST, kFirmwareDigestResourceType, &digestSize)
              : nullptr;
  if (image == nullptr || digest == nullptr || digestSize != kImageDigestSize) {
    std::printf("{\"ok\":false,\"error\":\"no image or digest in %s\"}\n", argv[1]);
    return 1;
  }
  std::vector<BYTE> copy(length);
  LARGE_INTEGER frequency, start, end;
  QueryPerformanceFrequency(&frequency);
  std::vector<double> checks, copies;
  bool passed = true;
  for (int run = 0; run < kRuns; ++run) {
    QueryPerformanceCounter(&start);
    passed = ImageMatchesDigest(image, length, digest) == 1 && passed;
    QueryPerformanceCounter(&end);
    checks.push_back(Milliseconds(start, end, frequency));
    QueryPerformanceCounter(&start);
    std::memcpy(copy.data(), image, length);
    QueryPerformanceCounter(&end);
    copies.push_back(Milliseconds(start, end, frequency));
  }
  std::printf("{\"ok\":%s,\"imageBytes\":%lu,\"runs\":%d,\"checkMs\":%.3f,\"memcpyMs\":%.3f}\n",
              passed ? "true" : "false", static_cast<unsigned long>(length), kRuns, Median(checks),
              Median(copies));
  return passed ? 0 : 1;
}
