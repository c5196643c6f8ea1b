// vprinter-pty: one virtual printer on a pseudo-terminal, for the runs of the
// real updater under Wine. ServerUsage() gives the command line.
#include <signal.h>
#include <sys/prctl.h>
#include <sys/signalfd.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "printer_record.h"
#include "pty_link.h"
#include "pty_server.h"
#include "server_options.h"

namespace {

constexpr int kBadArguments = 2;
constexpr int kBroken = 1;

// The stop signals are blocked and read from a signalfd that the serving loop
// polls: a signal that comes just before the poll waits on the descriptor
// rather than in a handler (a handler's write can be held back by a runtime
// that defers signals, such as ThreadSanitizer's, and the poll would sleep on).
// SIGHUP comes from our own terminal: unplugging the printer hangs it up, and
// the kernel tells the session's leader, which is us.
bool CatchStopSignals(int *stopFd) {
  sigset_t stops;
  sigemptyset(&stops);
  sigaddset(&stops, SIGTERM);
  sigaddset(&stops, SIGINT);
  if (sigprocmask(SIG_BLOCK, &stops, nullptr) != 0) return false;
  *stopFd = signalfd(-1, &stops, SFD_CLOEXEC | SFD_NONBLOCK);
  if (*stopFd < 0) return false;
  struct sigaction ignore = {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  return sigaction(SIGHUP, &ignore, nullptr) == 0 && sigaction(SIGPIPE, &ignore, nullptr) == 0;
}

// Written under another name and renamed, so that a script waiting for the
// file never reads it half written.
bool WriteWhole(const std::string &path, const std::string &text) {
  std::string fresh = path + ".new" + std::to_string(getpid());
  {
    std::ofstream file(fresh, std::ios::binary | std::ios::trunc);
    file << text;
    file.close();
    if (!file) {
      std::remove(fresh.c_str());
      return false;
    }
  }
  if (std::rename(fresh.c_str(), path.c_str()) != 0) {
    std::remove(fresh.c_str());
    return false;
  }
  return true;
}

int Serve(vprinter::ServerOptions &options) {
  int stopFd = -1;
  if (!CatchStopSignals(&stopFd)) {
    std::fprintf(stderr, "vprinter-pty: cannot catch signals: %s\n", std::strerror(errno));
    return kBroken;
  }
  // A ready file left by an earlier server would say "ready" too soon.
  if (!options.readyPath.empty()) unlink(options.readyPath.c_str());

  std::string error;
  vprinter::PtyLink link;
  if (!link.Open(options.linkPath, &error)) {
    std::fprintf(stderr, "vprinter-pty: %s\n", error.c_str());
    return kBroken;
  }
  vprinter::PtyServer server(std::move(options.config), link);
  if (!options.readyPath.empty() &&
      !WriteWhole(options.readyPath, std::to_string(getpid()) + "\n")) {
    std::fprintf(stderr, "vprinter-pty: cannot write %s\n", options.readyPath.c_str());
    return kBroken;
  }
  std::fprintf(stderr, "vprinter-pty: serving %s at %s\n", link.slavePath().c_str(),
               options.linkPath.c_str());

  int status = 0;
  if (server.Serve(stopFd, options.exitWhenSettled, &error) == vprinter::ServeEnd::broken) {
    std::fprintf(stderr, "vprinter-pty: %s\n", error.c_str());
    status = kBroken;
  }
  link.Unplug();
  if (!options.recordPath.empty() &&
      !WriteWhole(options.recordPath, vprinter::ToJson(server.record()) + "\n")) {
    std::fprintf(stderr, "vprinter-pty: cannot write %s\n", options.recordPath.c_str());
    status = kBroken;
  }
  if (!options.readyPath.empty()) unlink(options.readyPath.c_str());
  return status;
}

// An interactive shell makes every job a process group of its own, and a
// group's leader cannot start the session the terminal has to belong to. So
// the server runs in a child; this process passes the stop signals on and
// ends with the child's status. The ready file names the child.
int ServeInChild(vprinter::ServerOptions &options) {
  sigset_t relayed;
  sigset_t previous;
  sigemptyset(&relayed);
  for (int signal : {SIGTERM, SIGINT, SIGHUP, SIGCHLD}) sigaddset(&relayed, signal);
  sigprocmask(SIG_BLOCK, &relayed, &previous);
  pid_t relay = getpid();
  pid_t child = fork();
  if (child < 0) {
    std::fprintf(stderr, "vprinter-pty: fork: %s\n", std::strerror(errno));
    return kBroken;
  }
  if (child == 0) {
    // Killed outright, this process can pass nothing on; the printer still
    // has to go away cleanly then.
    if (prctl(PR_SET_PDEATHSIG, SIGTERM) != 0 || getppid() != relay) return kBroken;
    sigprocmask(SIG_SETMASK, &previous, nullptr);
    return Serve(options);
  }
  for (;;) {
    int signal = 0;
    if (sigwait(&relayed, &signal) != 0) continue;
    if (signal != SIGCHLD) {
      // Our terminal going away should still end the printer cleanly.
      kill(child, signal == SIGHUP ? SIGTERM : signal);
      continue;
    }
    int status = 0;
    if (waitpid(child, &status, WNOHANG) == child) {
      return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
  }
}

}  // namespace

int main(int argc, char **argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  vprinter::ServerOptions options;
  std::string error;
  if (!vprinter::ParseServerOptions(args, &options, &error)) {
    std::fprintf(stderr, "vprinter-pty: %s (--help lists the options)\n", error.c_str());
    return kBadArguments;
  }
  if (options.help) {
    std::fputs(vprinter::ServerUsage(), stdout);
    return 0;
  }
  if (!vprinter::LoadExpectedImage(&options, &error)) {
    std::fprintf(stderr, "vprinter-pty: %s\n", error.c_str());
    return kBadArguments;
  }
  if (getpgrp() == getpid()) return ServeInChild(options);
  return Serve(options);
}
