// raw-write: the baseline of the transfer benchmark under Wine. Sends a file's
// bytes to a device path in one WriteFile, so the printer's record shows how
// fast Wine and the pseudo-terminal carry them with nothing else in the way.
//
//   raw-write.exe DEVICE_PATH FILE
//
// Prints one line of JSON; the status is 0 when every byte was written.
#include <windows.h>

#include <cstdio>
#include <vector>

int main(int argc, char **argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: raw-write.exe DEVICE_PATH FILE\n");
    return 2;
  }
  std::FILE *file = std::fopen(argv[2], "rb");
  if (file == nullptr) {
    std::printf("{\"ok\":false,\"error\":\"cannot read %s\"}\n", argv[2]);
    return 1;
  }
  std::vector<char> bytes;
  char piece[65536];
  for (size_t got; (got = std::fread(piece, 1, sizeof piece, file)) > 0;)
    bytes.insert(bytes.end(), piece, piece + got);
  std::fclose(file);

  HANDLE device = CreateFileA(argv[1], GENERIC_READ | GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (device == INVALID_HANDLE_VALUE) {
    std::printf("{\"ok\":false,\"error\":\"open failed: %lu\"}\n", GetLastError());
    return 1;
  }
  DWORD written = 0;
  BOOL wrote = WriteFile(device, bytes.data(), DWORD(bytes.size()), &written, nullptr);
  DWORD error = wrote ? 0 : GetLastError();
  CloseHandle(device);
  bool whole = wrote && written == bytes.size();
  std::printf("{\"ok\":%s,\"written\":%lu,\"error\":%lu}\n", whole ? "true" : "false", written,
              error);
  return whole ? 0 : 1;
}
