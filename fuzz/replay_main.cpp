// Replays kept inputs through a fuzz target, as an ordinary test: every file
// of every directory given runs once; any finding aborts, as under the fuzzer.
#include <dirent.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv);
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

namespace {

std::vector<std::string> FilesIn(const std::string &directory) {
  std::vector<std::string> files;
  DIR *listing = opendir(directory.c_str());
  if (listing == nullptr) return files;
  while (dirent *entry = readdir(listing))
    if (entry->d_name[0] != '.') files.push_back(directory + "/" + entry->d_name);
  closedir(listing);
  std::sort(files.begin(), files.end());
  return files;
}

}  // namespace

int main(int argc, char **argv) {
  int skip = LLVMFuzzerInitialize(&argc, &argv);
  if (skip != 0) return skip;
  size_t replayed = 0;
  for (int i = 1; i < argc; ++i) {
    for (const std::string &file : FilesIn(argv[i])) {
      std::ifstream in(file, std::ios::binary);
      std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                 std::istreambuf_iterator<char>());
      LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
      ++replayed;
    }
  }
  std::printf("%zu inputs replayed\n", replayed);
  // A kept corpus that went missing would pass silently otherwise.
  return replayed == 0 ? 1 : 0;
}
