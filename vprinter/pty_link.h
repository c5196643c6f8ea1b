// The printer's end of a pseudo-terminal, and the symbolic link that shows the
// other end to the host under the device's name. Under Wine that link lives in
// $WINEPREFIX/dosdevices, where \\?\<name> leads to its lower-cased <name>.
#pragma once

#include <string>

namespace vprinter {

class PtyLink {
 public:
  PtyLink() = default;
  ~PtyLink();
  PtyLink(const PtyLink &) = delete;
  PtyLink &operator=(const PtyLink &) = delete;

  // Opens the pty, makes it this process's controlling terminal in a session
  // of its own (the process must not lead a process group) and links
  // `linkPath` to the slave, replacing a symbolic link left there by a server
  // that died. Returns whether all of it worked; if not, `error` says what failed.
  bool Open(const std::string &linkPath, std::string *error);

  // Non-blocking; -1 once unplugged.
  int master() const { return master_; }
  const std::string &slavePath() const { return slavePath_; }
  bool plugged() const { return master_ >= 0; }

  // The printer pulled out: removes the link, then closes both ends, so that a
  // host that sees the hang-up and opens the device again finds nothing.
  // Closing the master hangs up the terminal, and the kernel sends SIGHUP to
  // this process as the session's leader: the program must ignore it.
  void Unplug();

 private:
  int master_ = -1;
  int slave_ = -1;
  std::string slavePath_;
  std::string linkPath_;
};

}  // namespace vprinter
