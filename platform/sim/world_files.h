// The test bench's side of the model's disk: the folders that exist and what
// the program wrote into files.
#pragma once

#include <string>

namespace world {

// A folder exists once made; only the folders made exist, with the current
// folder (a path with no backslash), whatever their parents.
void MakeFolder(const std::u16string &path);
// The bytes of the file at `path`; false when there is no such file.
bool ReadDiskFile(const std::u16string &path, std::string *bytes);

}  // namespace world
