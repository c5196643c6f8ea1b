// The pseudo-terminal server as the Wine runs use it: the built program in a
// child process, and the test in the host's place, on the slave it opens
// through the link. Every wait is bounded; none guesses a duration.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <numeric>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "printer_host.h"

extern char **environ;

namespace {

using host::Bytes;
typedef std::chrono::steady_clock Clock;

// Sanitizer builds on a busy machine are slow; nothing here should come near.
constexpr int kWaitMs = 10000;

class Deadline {
 public:
  explicit Deadline(int ms) : end_(Clock::now() + std::chrono::milliseconds(ms)) {}
  int Left() const {
    auto left = std::chrono::ceil<std::chrono::milliseconds>(end_ - Clock::now()).count();
    return left < 0 ? 0 : static_cast<int>(left);
  }
  bool Over() const { return Clock::now() >= end_; }

 private:
  Clock::time_point end_;
};

bool Exists(const std::string &path) {
  struct stat status;
  return lstat(path.c_str(), &status) == 0;
}

std::string ReadText(const std::string &path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::string &path, const Bytes &bytes) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char *>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
}

std::string Hex(const Bytes &bytes) {
  std::string text;
  char digits[3];
  for (uint8_t byte : bytes) {
    std::snprintf(digits, sizeof digits, "%02x", byte);
    text += digits;
  }
  return text;
}

// The raw text of one top-level field of the record: a number, true, false,
// null, a quoted name or an array.
std::string Field(const std::string &json, const std::string &name) {
  std::string key = "\"" + name + "\":";
  size_t at = json.find(key);
  if (at == std::string::npos) return "(no " + name + ")";
  at += key.size();
  size_t end = json[at] == '[' ? json.find(']', at) + 1 : json.find_first_of(",}", at);
  return json.substr(at, end - at);
}

uint64_t Number(const std::string &json, const std::string &name) {
  return std::strtoull(Field(json, name).c_str(), nullptr, 10);
}

uint64_t SumOf(const std::string &json, const std::string &name) {
  std::string list = Field(json, name);
  for (char &c : list) {
    if (c == '[' || c == ']' || c == ',') c = ' ';
  }
  std::istringstream numbers(list);
  return std::accumulate(std::istream_iterator<uint64_t>(numbers),
                         std::istream_iterator<uint64_t>(), uint64_t{0});
}

// The server as a child process, its stderr on a pipe: the pipe's end is how
// the test learns, without polling for it, that the server has exited.
class ServerProcess {
 public:
  ServerProcess(const std::vector<std::string> &args, bool ownProcessGroup) {
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) return;
    errors_ = ends[0];
    std::vector<std::string> line = {VPRINTER_PTY};
    line.insert(line.end(), args.begin(), args.end());
    std::vector<char *> argv;
    for (std::string &arg : line) argv.push_back(&arg[0]);
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    // A server outliving a failed test must not hold the test's output open.
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, ends[1], 2);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    if (ownProcessGroup) {
      posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
      posix_spawnattr_setpgroup(&attributes, 0);
    }
    if (posix_spawn(&pid_, VPRINTER_PTY, &actions, &attributes, argv.data(), environ) != 0) {
      pid_ = -1;
    }
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    close(ends[1]);
  }

  ~ServerProcess() {
    if (serving > 0) kill(serving, SIGKILL);
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (errors_ >= 0) close(errors_);
  }

  pid_t pid() const { return pid_; }
  // The process that serves, as its ready file names it: a child of the one
  // started when that one leads a process group.
  pid_t serving = -1;
  int errors() const { return errors_; }
  const std::string &errorText() const { return errorText_; }

  // Takes what the server wrote to stderr; returns false once it has exited.
  bool TakeErrors() {
    char buffer[512];
    ssize_t got = read(errors_, buffer, sizeof buffer);
    if (got > 0) errorText_.append(buffer, static_cast<size_t>(got));
    return got > 0;
  }

  // The exit status, or -1 if the server did not end within the wait.
  int WaitForExit() {
    Deadline deadline(kWaitMs);
    pollfd wait = {errors_, POLLIN, 0};
    bool ended = false;
    while (!ended && poll(&wait, 1, deadline.Left()) > 0) ended = !TakeErrors();
    int status = 0;
    if (!ended || waitpid(pid_, &status, 0) != pid_) return -1;
    pid_ = -1;
    serving = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }

 private:
  pid_t pid_ = -1;
  int errors_ = -1;
  std::string errorText_;
};

// The host's handle on the printer: the slave, opened through the link as
// CreateFileA opens it under Wine, without touching its mode.
class HostHandle {
 public:
  explicit HostHandle(const std::string &path)
      : fd_(open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC)) {}
  ~HostHandle() {
    if (fd_ >= 0) close(fd_);
  }
  int fd() const { return fd_; }

  // Waits for room whenever the pty is full; false on an error or a hang-up,
  // or when no room came within `stuckMs`. `written` counts what went in.
  bool Write(const Bytes &bytes, size_t *written = nullptr, int stuckMs = kWaitMs) {
    size_t at = 0;
    bool whole = true;
    while (at < bytes.size()) {
      ssize_t put = write(fd_, bytes.data() + at, bytes.size() - at);
      if (put > 0) {
        at += static_cast<size_t>(put);
        continue;
      }
      pollfd room = {fd_, POLLOUT, 0};
      if (put == 0 || errno != EAGAIN || poll(&room, 1, stuckMs) != 1 ||
          (room.revents & (POLLHUP | POLLERR))) {
        whole = false;
        break;
      }
    }
    if (written) *written += at;
    return whole;
  }

  // Up to `count` bytes: fewer if no more came within the wait.
  Bytes Read(size_t count, int waitMs = kWaitMs) {
    Deadline deadline(waitMs);
    Bytes bytes(count);
    size_t at = 0;
    pollfd data = {fd_, POLLIN, 0};
    while (at < count && poll(&data, 1, deadline.Left()) == 1) {
      ssize_t got = read(fd_, bytes.data() + at, count - at);
      if (got <= 0 && errno != EAGAIN) break;
      if (got > 0) at += static_cast<size_t>(got);
    }
    bytes.resize(at);
    return bytes;
  }

  bool HungUp() {
    pollfd hangUp = {fd_, 0, 0};
    return poll(&hangUp, 1, kWaitMs) == 1 && (hangUp.revents & POLLHUP);
  }

 private:
  int fd_;
};

// One server per test, its files in a directory of the test's own.
class PtyServer : public ::testing::Test {
 protected:
  PtyServer() {
    char pattern[] = "/tmp/vprinter-pty-test-XXXXXX";
    dir = mkdtemp(pattern);
    // Under Wine the link is the device's lower-cased name in dosdevices.
    link = dir + "/usb#vid_7c5e&pid_4a86#1#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}";
    record = dir + "/record.json";
    ready = dir + "/ready";
    // Watched before the server starts, so no event can come too early.
    changes = inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
    inotify_add_watch(changes, dir.c_str(), IN_MOVED_TO | IN_CLOSE_WRITE);
  }
  ~PtyServer() override {
    server.reset();
    close(changes);
    std::filesystem::remove_all(dir);
  }

  // Starts the server and waits until its ready file says the link is there.
  void Start(std::vector<std::string> args, bool ownProcessGroup = false) {
    args.insert(args.end(), {"--link", link, "--record", record, "--ready-file", ready});
    server.reset(new ServerProcess(args, ownProcessGroup));
    ASSERT_GT(server->pid(), 0) << "cannot start " VPRINTER_PTY;
    ASSERT_TRUE(WaitForReady()) << server->errorText();
    server->serving = std::atoi(ReadText(ready).c_str());
    ASSERT_TRUE(Exists(link));
  }

  bool WaitForReady() {
    Deadline deadline(kWaitMs);
    while (!deadline.Over()) {
      pollfd fds[2] = {{changes, POLLIN, 0}, {server->errors(), POLLIN, 0}};
      if (poll(fds, 2, deadline.Left()) <= 0) return false;
      if (fds[1].revents && !server->TakeErrors()) return false;
      alignas(inotify_event) char events[4096];
      ssize_t size = read(changes, events, sizeof events);
      for (ssize_t at = 0; at < size;) {
        const inotify_event *event = reinterpret_cast<const inotify_event *>(events + at);
        if (event->len > 0 && dir + "/" + event->name == ready) return true;
        at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
      }
    }
    return false;
  }

  int Stop(int signal = SIGTERM) {
    kill(server->pid(), signal);
    return server->WaitForExit();
  }

  std::string dir, link, record, ready;
  int changes = -1;
  std::unique_ptr<ServerProcess> server;
};

void WriteQuery(HostHandle &host) {
  ASSERT_TRUE(host.Write(host::Query()));
  ASSERT_TRUE(host.Write(host::QueryPayload()));
}

void WriteImage(HostHandle &host, const Bytes &image) {
  ASSERT_TRUE(host.Write(host::ImageHeader(image.size())));
  for (const Bytes &block : host::Blocks(image)) ASSERT_TRUE(host.Write(block));
}

TEST_F(PtyServer, TheSlaveIsRawAndTheServersOwnTerminal) {
  ASSERT_NO_FATAL_FAILURE(Start({}));
  pid_t pid = server->serving;
  EXPECT_EQ(pid, server->pid()) << "the ready file names the server";

  HostHandle host(link);
  ASSERT_GE(host.fd(), 0);
  termios mode;
  ASSERT_EQ(tcgetattr(host.fd(), &mode), 0);
  EXPECT_EQ(mode.c_iflag & (ICRNL | INLCR | IGNCR | IXON | ISTRIP | BRKINT | PARMRK), 0u);
  EXPECT_EQ(mode.c_oflag & OPOST, 0u);
  EXPECT_EQ(mode.c_lflag & (ICANON | ECHO | ECHONL | ISIG | IEXTEN), 0u);
  EXPECT_EQ(mode.c_cflag & (CSIZE | PARENB), static_cast<tcflag_t>(CS8));

  // /proc/<pid>/stat: "pid (name) state ppid pgrp session tty_nr ...".
  std::string line = ReadText("/proc/" + std::to_string(pid) + "/stat");
  std::istringstream fields(line.substr(line.rfind(')') + 1));
  char state;
  long parent, group, session, terminal;
  ASSERT_TRUE(fields >> state >> parent >> group >> session >> terminal) << line;
  EXPECT_EQ(session, pid) << "the server leads a session of its own";
  struct stat slave;
  ASSERT_EQ(stat(link.c_str(), &slave), 0);
  EXPECT_EQ((terminal >> 8) & 0xfff, static_cast<long>(major(slave.st_rdev)));
  EXPECT_EQ((terminal & 0xff) | ((terminal >> 12) & 0xfff00),
            static_cast<long>(minor(slave.st_rdev)))
      << "the slave is the server's controlling terminal";
}

TEST_F(PtyServer, ServesAWholeTransferWithTheModeSwitch) {
  Bytes image = host::FirmwareImage(200000);
  WriteBytes(dir + "/image.bin", image);
  ASSERT_NO_FATAL_FAILURE(
      Start({"--asks-for-switch", "--expect-image", dir + "/image.bin", "--exit-when-settled"}));
  HostHandle host(link);
  ASSERT_NO_FATAL_FAILURE(WriteQuery(host));
  EXPECT_EQ(host.Read(8), (Bytes{0x02, 0x02, 0x00, 0x00, 0x0A, 0x00, 0x00, 0x00}));
  Bytes payload = host.Read(10);
  ASSERT_EQ(payload.size(), 10u);
  EXPECT_EQ(payload[8], 1) << "the printer asks for the switch";
  ASSERT_TRUE(host.Write(host::Switch()));
  ASSERT_TRUE(host.Write(host::SwitchPayload()));
  ASSERT_NO_FATAL_FAILURE(WriteImage(host, image));

  ASSERT_EQ(server->WaitForExit(), 0) << "settled, it ends on its own";
  std::string json = ReadText(record);
  EXPECT_EQ(Field(json, "imageComplete"), "true") << json;
  EXPECT_EQ(Field(json, "imageMatches"), "true");
  EXPECT_EQ(Number(json, "announcedLength"), image.size());
  EXPECT_EQ(SumOf(json, "blockSizes"), image.size()) << "the pieces add up to the image";
  EXPECT_EQ(Number(json, "bytesReceived"), 16 + 18 + 64 + image.size());
  EXPECT_EQ(Number(json, "bytesSent"), 18u);
  EXPECT_EQ(Number(json, "queries"), 1u);
  EXPECT_EQ(Number(json, "switchRequests"), 1u);
  EXPECT_EQ(Field(json, "errors"), "[]");
  EXPECT_EQ(Field(json, "fault"), "\"none\"");
  EXPECT_FALSE(Exists(link));
  EXPECT_FALSE(Exists(ready));
}

TEST_F(PtyServer, EveryByteValuePassesBothWays) {
  Bytes every(256);
  std::iota(every.begin(), every.end(), 0);
  Bytes image;
  for (int i = 0; i < 64; ++i) image.insert(image.end(), every.begin(), every.end());
  WriteBytes(dir + "/image.bin", image);
  ASSERT_NO_FATAL_FAILURE(Start(
      {"--raw-reply", Hex(every), "--expect-image", dir + "/image.bin", "--exit-when-settled"}));
  HostHandle host(link);
  ASSERT_NO_FATAL_FAILURE(WriteQuery(host));
  EXPECT_EQ(host.Read(every.size()), every) << "printer to host";
  ASSERT_NO_FATAL_FAILURE(WriteImage(host, image));
  ASSERT_EQ(server->WaitForExit(), 0);
  std::string json = ReadText(record);
  EXPECT_EQ(Field(json, "imageMatches"), "true") << "host to printer: " << json;
  EXPECT_EQ(Number(json, "bytesReceived"), 16 + 64 + image.size());
}

// The updater opens the printer once to write and once to read, and closes
// both between its steps; the pty has to outlive every handle of the host.
TEST_F(PtyServer, OutlivesTheHostsHandles) {
  Bytes image = host::FirmwareImage(70000);
  WriteBytes(dir + "/image.bin", image);
  ASSERT_NO_FATAL_FAILURE(Start({"--expect-image", dir + "/image.bin", "--exit-when-settled"}));
  {
    HostHandle writer(link);
    ASSERT_NO_FATAL_FAILURE(WriteQuery(writer));
  }
  HostHandle reader(link);
  EXPECT_EQ(reader.Read(18).size(), 18u) << "the reply waited for the next handle";
  HostHandle writer(link);
  ASSERT_NO_FATAL_FAILURE(WriteImage(writer, image));
  ASSERT_EQ(server->WaitForExit(), 0) << server->errorText();
  std::string json = ReadText(record);
  EXPECT_EQ(Field(json, "imageMatches"), "true") << json;
  EXPECT_EQ(Field(json, "errors"), "[]");
}

class PtyServerStop : public PtyServer, public ::testing::WithParamInterface<int> {};

TEST_P(PtyServerStop, WritesTheRecordAndRemovesTheLink) {
  ASSERT_NO_FATAL_FAILURE(Start({}));
  HostHandle host(link);
  ASSERT_NO_FATAL_FAILURE(WriteQuery(host));
  ASSERT_EQ(host.Read(18).size(), 18u) << "a reply: the query has arrived";
  EXPECT_EQ(Stop(GetParam()), 0) << server->errorText();
  std::string json = ReadText(record);
  EXPECT_EQ(Number(json, "queries"), 1u) << json;
  EXPECT_EQ(Number(json, "bytesSent"), 18u);
  EXPECT_FALSE(Exists(link));
  EXPECT_FALSE(Exists(ready));
  EXPECT_TRUE(host.HungUp()) << "the printer is gone for the host";
}

INSTANTIATE_TEST_SUITE_P(Signals, PtyServerStop, ::testing::Values(SIGTERM, SIGINT),
                         [](const ::testing::TestParamInfo<int> &test) {
                           return test.param == SIGTERM ? "Term" : "Int";
                         });

// A stalled printer takes nothing more: the host's writes go on only while the
// pty has room, then block for good.
TEST_F(PtyServer, AStallBlocksTheHostsWrites) {
  Bytes image = host::FirmwareImage(1018816);
  ASSERT_NO_FATAL_FAILURE(Start({"--stall-after", "1064", "--exit-when-settled"}));
  HostHandle host(link);
  size_t written = 0;
  bool whole = host.Write(host::ImageHeader(image.size()), &written);
  for (const Bytes &block : host::Blocks(image)) {
    if (whole) whole = host.Write(block, &written, 500);
  }
  EXPECT_FALSE(whole) << "the host wrote the whole image to a stalled printer";
  EXPECT_LT(written, 1064 + 512 * 1024u);

  ASSERT_EQ(server->WaitForExit(), 0) << server->errorText();
  std::string json = ReadText(record);
  EXPECT_EQ(Field(json, "fault"), "\"stall\"") << json;
  EXPECT_EQ(Number(json, "faultOffset"), 1064u);
  EXPECT_EQ(SumOf(json, "blockSizes"), 1000u);
  EXPECT_EQ(Field(json, "imageComplete"), "false");
}

struct UnplugCase {
  const char *name;
  const char *option;
  const char *fault;
};

void PrintTo(const UnplugCase &fault, std::ostream *out) { *out << fault.name; }

class PtyServerUnplug : public PtyServer, public ::testing::WithParamInterface<UnplugCase> {};

// A pty cannot fail a write and take the next: a failing printer is pulled out
// as a disconnecting one is.
TEST_P(PtyServerUnplug, ThePrinterIsPulledOutAtItsByte) {
  Bytes image = host::FirmwareImage(3 * host::kBlock);
  ASSERT_NO_FATAL_FAILURE(Start({GetParam().option, "1064"}));
  HostHandle host(link);
  ASSERT_TRUE(host.Write(host::ImageHeader(image.size())));
  EXPECT_FALSE(host.Write(image)) << "the image went through";
  ASSERT_TRUE(host.HungUp());
  EXPECT_FALSE(Exists(link)) << "opening the printer again must fail";
  errno = 0;
  EXPECT_EQ(write(host.fd(), "x", 1), -1);
  EXPECT_EQ(errno, EIO);
  char byte;
  EXPECT_EQ(read(host.fd(), &byte, 1), 0);

  EXPECT_EQ(Stop(), 0) << server->errorText();
  std::string json = ReadText(record);
  EXPECT_EQ(Field(json, "fault"), std::string("\"") + GetParam().fault + "\"") << json;
  EXPECT_EQ(Number(json, "faultOffset"), 1064u);
  EXPECT_EQ(SumOf(json, "blockSizes"), 1000u);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, PtyServerUnplug,
    ::testing::Values(UnplugCase{"Fail", "--fail-after", "fail"},
                      UnplugCase{"Disconnect", "--disconnect-after", "disconnect"}),
    [](const ::testing::TestParamInfo<UnplugCase> &test) { return test.param.name; });

TEST_F(PtyServer, ADisconnectGoesOffWithTheLastByteItWaitsFor) {
  ASSERT_NO_FATAL_FAILURE(Start({"--disconnect-after", "64"}));
  HostHandle host(link);
  ASSERT_TRUE(host.Write(host::ImageHeader(1000)));
  EXPECT_TRUE(host.HungUp()) << "gone without another write of the host";
  EXPECT_EQ(Stop(), 0) << server->errorText();
  std::string json = ReadText(record);
  EXPECT_EQ(Field(json, "fault"), "\"disconnect\"") << json;
  EXPECT_EQ(Number(json, "faultOffset"), 64u);
  EXPECT_EQ(Number(json, "announcedLength"), 1000u);
}

TEST_F(PtyServer, ASlowLinkHoldsTheHostBack) {
  constexpr uint64_t kRate = 250000;
  Bytes image = host::FirmwareImage(200000);
  ASSERT_NO_FATAL_FAILURE(
      Start({"--bytes-per-second", std::to_string(kRate), "--exit-when-settled"}));
  HostHandle host(link);
  Clock::time_point start = Clock::now();
  ASSERT_NO_FATAL_FAILURE(WriteImage(host, image));
  auto took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
  // Only what the pty holds unread may pass faster than the rate: 13.5 KiB
  // each way on Linux 6, more on older kernels.
  constexpr uint64_t kHeld = 96 * 1024;
  EXPECT_GE(static_cast<uint64_t>(took), (64 + image.size() - kHeld) * 1000 / kRate);
  ASSERT_EQ(server->WaitForExit(), 0) << server->errorText();
  std::string json = ReadText(record);
  EXPECT_EQ(Field(json, "imageComplete"), "true");
  // The printer's own times of its first and last byte span the paced intake:
  // all but the last read waited for the link.
  uint64_t first = Number(json, "firstByteMicros");
  uint64_t last = Number(json, "lastByteMicros");
  EXPECT_GT(first, 0u) << json;
  constexpr uint64_t kOneRead = 64 * 1024;
  EXPECT_GE(last - first, (64 + image.size() - kOneRead) * 1000000 / kRate) << json;
}

TEST_F(PtyServer, BadArgumentsEndItWithAMessage) {
  struct {
    std::vector<std::string> args;
    const char *said;
  } cases[] = {
      {{}, "--link PATH is required"},
      {{"--link", link, "--stall-after", "ten"}, "--stall-after needs a byte count, not \"ten\""},
      {{"--link", link, "--expect-image", dir + "/none-such"}, "none-such"},
  };
  for (const auto &bad : cases) {
    ServerProcess refused(bad.args, false);
    EXPECT_EQ(refused.WaitForExit(), 2) << bad.said;
    EXPECT_NE(refused.errorText().find(bad.said), std::string::npos) << refused.errorText();
  }
  EXPECT_FALSE(Exists(link));
}

TEST_F(PtyServer, ReplacesALinkLeftBehindButNothingElse) {
  WriteBytes(link, {1, 2, 3});
  ServerProcess refused({"--link", link}, false);
  EXPECT_EQ(refused.WaitForExit(), 1);
  EXPECT_EQ(ReadText(link), "\x01\x02\x03") << "a file in the way stays as it was";

  // What a server killed outright leaves behind.
  ASSERT_EQ(unlink(link.c_str()), 0);
  ASSERT_EQ(symlink("/dev/pts/none-such", link.c_str()), 0);
  ASSERT_NO_FATAL_FAILURE(Start({}));
  HostHandle host(link);
  EXPECT_GE(host.fd(), 0);
  EXPECT_EQ(Stop(), 0);
}

// An interactive shell runs every job as a process group of its own.
TEST_F(PtyServer, ServesFromAProcessGroupOfItsOwn) {
  ASSERT_NO_FATAL_FAILURE(Start({}, true));
  EXPECT_NE(server->serving, server->pid()) << "a group's leader cannot start a session";
  HostHandle host(link);
  ASSERT_NO_FATAL_FAILURE(WriteQuery(host));
  ASSERT_EQ(host.Read(18).size(), 18u);
  EXPECT_EQ(Stop(), 0) << "the stop reaches whoever serves";
  EXPECT_EQ(Number(ReadText(record), "queries"), 1u);
  EXPECT_FALSE(Exists(link));
}

}  // namespace
