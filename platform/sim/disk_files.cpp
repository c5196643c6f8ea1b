// Files on the model's disk, as a log file uses them: CreateFileW opens or
// makes one in a folder that exists (OPEN_ALWAYS), or makes it afresh
// (CREATE_ALWAYS). A handle opened to append (FILE_APPEND_DATA alone) writes
// at the file's end, any other from its own position, which starts at 0. Paths
// are compared as Windows compares them on its file systems: letter case and
// the slash's direction do not count. The disk is empty until the world makes
// folders, and emptied by Reset.
#include <algorithm>
#include <map>
#include <mutex>
#include <set>

#include "internal/kernel.h"
#include "win32_files.h"
#include "world_files.h"

namespace sim {
namespace {

std::mutex diskLock;
std::set<std::u16string> folders;
std::map<std::u16string, std::string> files;

std::u16string Key(const std::u16string &path) {
  std::u16string key;
  for (char16_t c : path)
    key += c == u'/' ? u'\\' : c >= u'A' && c <= u'Z' ? char16_t(c - u'A' + u'a') : c;
  while (key.size() > 1 && key.back() == u'\\') key.pop_back();
  return key;
}

struct DiskFile : KernelObject {
  DiskFile(std::u16string at, bool append)
      : KernelObject(Kind::file), key(std::move(at)), appends(append) {}
  const std::u16string key;
  const bool appends;
  size_t position = 0;  // under diskLock
};

DWORD Open(const std::u16string &key, DWORD access, DWORD disposition) {
  if ((disposition != OPEN_ALWAYS && disposition != CREATE_ALWAYS) ||
      (access & (FILE_APPEND_DATA | FILE_WRITE_DATA | GENERIC_WRITE)) == 0)
    return ERROR_INVALID_PARAMETER;
  std::lock_guard<std::mutex> guard(diskLock);
  if (key.empty()) return ERROR_PATH_NOT_FOUND;
  if (folders.count(key) != 0) return ERROR_ACCESS_DENIED;
  size_t slash = key.rfind(u'\\');
  if (slash != std::u16string::npos && folders.count(key.substr(0, slash)) == 0)
    return ERROR_PATH_NOT_FOUND;
  auto made = files.emplace(key, std::string());
  if (disposition == CREATE_ALWAYS) made.first->second.clear();
  return made.second ? ERROR_SUCCESS : ERROR_ALREADY_EXISTS;
}

}  // namespace

bool IsDiskFile(HANDLE handle) {
  std::shared_ptr<KernelObject> object = LookUpHandle(handle);
  return object != nullptr && object->kind == KernelObject::Kind::file;
}

BOOL WriteDiskFile(HANDLE handle, const void *bytes, DWORD size, LPDWORD written) {
  auto file = std::static_pointer_cast<DiskFile>(LookUpHandle(handle));
  std::lock_guard<std::mutex> guard(diskLock);
  std::string &content = files[file->key];
  size_t at = file->appends ? content.size() : file->position;
  content.resize(std::max(content.size(), at + size));
  content.replace(at, size, static_cast<const char *>(bytes), size);
  file->position = at + size;
  if (written != nullptr) *written = size;
  return TRUE;
}

void ResetDisk() {
  std::lock_guard<std::mutex> guard(diskLock);
  folders.clear();
  files.clear();
}

}  // namespace sim

HANDLE WINAPI CreateFileW(LPCWSTR path, DWORD access, DWORD, LPSECURITY_ATTRIBUTES,
                          DWORD disposition, DWORD, HANDLE) {
  std::u16string key = sim::Key(path != nullptr ? path : u"");
  DWORD result = sim::Open(key, access, disposition);
  if (result != ERROR_SUCCESS && result != ERROR_ALREADY_EXISTS) {
    sim::SetLastErrorValue(result);
    return INVALID_HANDLE_VALUE;
  }
  bool appends =
      (access & (FILE_APPEND_DATA | FILE_WRITE_DATA | GENERIC_WRITE)) == FILE_APPEND_DATA;
  HANDLE handle = sim::InsertHandle(std::make_shared<sim::DiskFile>(key, appends));
  sim::SetLastErrorValue(result);
  return handle;
}

namespace world {

void MakeFolder(const std::u16string &path) {
  std::lock_guard<std::mutex> guard(sim::diskLock);
  sim::folders.insert(sim::Key(path));
}

bool ReadDiskFile(const std::u16string &path, std::string *bytes) {
  std::lock_guard<std::mutex> guard(sim::diskLock);
  auto found = sim::files.find(sim::Key(path));
  if (found == sim::files.end()) return false;
  *bytes = found->second;
  return true;
}

}  // namespace world
