#include "pty_link.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace vprinter {
namespace {

std::string Failed(const std::string &what) { return what + ": " + std::strerror(errno); }

}  // namespace

PtyLink::~PtyLink() { Unplug(); }

bool PtyLink::Open(const std::string &linkPath, std::string *error) {
  struct stat existing;
  if (lstat(linkPath.c_str(), &existing) == 0 && !S_ISLNK(existing.st_mode)) {
    *error = linkPath + " exists and is not a symbolic link";
    return false;
  }

  master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master_ < 0) {
    *error = Failed("posix_openpt");
    return false;
  }
  char name[128];
  if (grantpt(master_) != 0 || unlockpt(master_) != 0 ||
      ptsname_r(master_, name, sizeof name) != 0) {
    *error = Failed("preparing the pty's slave");
    Unplug();
    return false;
  }
  slavePath_ = name;
  int flags = fcntl(master_, F_GETFL);
  if (flags < 0 || fcntl(master_, F_SETFL, flags | O_NONBLOCK) != 0) {
    *error = Failed("making the pty's master non-blocking");
    Unplug();
    return false;
  }

  // The terminal must be ours before the host opens it: a terminal belongs to
  // one session only, and otherwise wineserver takes it as its own when Wine
  // opens it, and dies of the hang-up when this server ends.
  // The slave kept open here also keeps the pty alive while the host has no
  // handle on it: without it, the host closing its last handle would hang the
  // master up between two of its calls.
  if (getsid(0) != getpid() && setsid() < 0) {
    *error = Failed("starting a session of its own (a process group leader cannot)");
    Unplug();
    return false;
  }
  slave_ = open(slavePath_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (slave_ < 0 || ioctl(slave_, TIOCSCTTY, 0) != 0) {
    *error = Failed("making " + slavePath_ + " the controlling terminal");
    Unplug();
    return false;
  }

  // Raw both ways: no byte of an image or a reply may be translated, swallowed
  // as a control character or echoed back.
  termios mode;
  if (tcgetattr(slave_, &mode) != 0) {
    *error = Failed("reading the terminal mode");
    Unplug();
    return false;
  }
  cfmakeraw(&mode);
  if (tcsetattr(slave_, TCSANOW, &mode) != 0) {
    *error = Failed("setting raw mode");
    Unplug();
    return false;
  }

  // Linked under a new name first and renamed over the old one, so the host
  // never finds the name missing or half made.
  std::string fresh = linkPath + ".new" + std::to_string(getpid());
  unlink(fresh.c_str());
  if (symlink(slavePath_.c_str(), fresh.c_str()) != 0) {
    *error = Failed("linking " + linkPath + " to " + slavePath_);
    Unplug();
    return false;
  }
  if (rename(fresh.c_str(), linkPath.c_str()) != 0) {
    *error = Failed("linking " + linkPath + " to " + slavePath_);
    unlink(fresh.c_str());
    Unplug();
    return false;
  }
  linkPath_ = linkPath;
  return true;
}

void PtyLink::Unplug() {
  // Only our own link goes: another server may have taken the name since.
  if (!linkPath_.empty()) {
    char target[256];
    ssize_t size = readlink(linkPath_.c_str(), target, sizeof target);
    if (size >= 0 && std::string(target, static_cast<size_t>(size)) == slavePath_) {
      unlink(linkPath_.c_str());
    }
    linkPath_.clear();
  }
  if (slave_ >= 0) close(slave_);
  if (master_ >= 0) close(master_);
  slave_ = -1;
  master_ = -1;
}

}  // namespace vprinter
