// Options are strict on purpose: a test script with a typo in a fault
// threshold would otherwise run a healthy printer and pass for the wrong reason.
#include "server_options.h"

#include <cstdint>
#include <fstream>
#include <iterator>
#include <limits>
#include <set>

namespace vprinter {
namespace {

bool ParseCount(const std::string &text, uint64_t max, uint64_t *value) {
  if (text.empty()) return false;
  uint64_t result = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    unsigned digit = static_cast<unsigned>(c - '0');
    if (result > (max - digit) / 10) return false;
    result = result * 10 + digit;
  }
  *value = result;
  return true;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// An empty text is a reply of no bytes at all: a printer that never answers.
bool ParseHex(const std::string &text, std::vector<uint8_t> *bytes) {
  if (text.size() % 2 != 0) return false;
  bytes->clear();
  for (size_t i = 0; i < text.size(); i += 2) {
    int high = HexDigit(text[i]);
    int low = HexDigit(text[i + 1]);
    if (high < 0 || low < 0) return false;
    bytes->push_back(static_cast<uint8_t>(high << 4 | low));
  }
  return true;
}

typedef bool (*Apply)(ServerOptions &options, const std::string &value);

bool Threshold(std::optional<uint64_t> &threshold, const std::string &value) {
  uint64_t count = 0;
  if (!ParseCount(value, std::numeric_limits<uint64_t>::max(), &count)) return false;
  threshold = count;
  return true;
}

bool Path(std::string &path, const std::string &value) {
  path = value;
  return !value.empty();
}

struct Option {
  const char *name;
  // What the value must look like, for the message when it does not; nullptr:
  // the option is a flag.
  const char *value;
  Apply apply;
};

const Option kOptions[] = {
    {"--link", "a path",
     [](ServerOptions &o, const std::string &v) { return Path(o.linkPath, v); }},
    {"--expect-image", "a path",
     [](ServerOptions &o, const std::string &v) { return Path(o.expectImagePath, v); }},
    {"--asks-for-switch", nullptr,
     [](ServerOptions &o, const std::string &) {
       o.config.asksForSwitch = true;
       return true;
     }},
    {"--raw-reply", "pairs of hex digits",
     [](ServerOptions &o, const std::string &v) {
       std::vector<uint8_t> reply;
       if (!ParseHex(v, &reply)) return false;
       o.config.rawReply = reply;
       return true;
     }},
    {"--reply-limit", "a byte count",
     [](ServerOptions &o, const std::string &v) {
       uint64_t limit = 0;
       if (!ParseCount(v, std::numeric_limits<size_t>::max(), &limit)) return false;
       o.config.replyLimit = static_cast<size_t>(limit);
       return true;
     }},
    {"--stall-after", "a byte count",
     [](ServerOptions &o, const std::string &v) { return Threshold(o.config.stallAfterBytes, v); }},
    {"--fail-after", "a byte count",
     [](ServerOptions &o, const std::string &v) { return Threshold(o.config.failAfterBytes, v); }},
    {"--disconnect-after", "a byte count",
     [](ServerOptions &o, const std::string &v) {
       return Threshold(o.config.disconnectAfterBytes, v);
     }},
    {"--bytes-per-second", "a rate up to 4294967295",
     [](ServerOptions &o, const std::string &v) {
       uint64_t rate = 0;
       if (!ParseCount(v, std::numeric_limits<uint32_t>::max(), &rate)) return false;
       o.config.bytesPerSecond = static_cast<uint32_t>(rate);
       return true;
     }},
    {"--record", "a path",
     [](ServerOptions &o, const std::string &v) { return Path(o.recordPath, v); }},
    {"--ready-file", "a path",
     [](ServerOptions &o, const std::string &v) { return Path(o.readyPath, v); }},
    {"--exit-when-settled", nullptr,
     [](ServerOptions &o, const std::string &) {
       o.exitWhenSettled = true;
       return true;
     }},
    {"--help", nullptr,
     [](ServerOptions &o, const std::string &) {
       o.help = true;
       return true;
     }},
};

const Option *Find(const std::string &name) {
  for (const Option &option : kOptions) {
    if (name == option.name) return &option;
  }
  return nullptr;
}

}  // namespace

bool ParseServerOptions(const std::vector<std::string> &args, ServerOptions *options,
                        std::string *error) {
  *options = ServerOptions();
  std::set<std::string> seen;
  for (size_t i = 0; i < args.size(); ++i) {
    // Both "--name value" and "--name=value".
    std::string name = args[i];
    std::string value;
    size_t equals = name.find('=');
    bool joined = name.compare(0, 2, "--") == 0 && equals != std::string::npos;
    if (joined) {
      value = name.substr(equals + 1);
      name.resize(equals);
    }
    const Option *option = Find(name);
    if (!option) {
      *error = name.compare(0, 2, "--") == 0 ? "unknown option " + name
                                             : "unexpected argument \"" + name + "\"";
      return false;
    }
    if (!seen.insert(name).second) {
      *error = name + " given twice";
      return false;
    }
    if (!option->value && joined) {
      *error = name + " takes no value";
      return false;
    }
    if (option->value && !joined) {
      if (i + 1 == args.size()) {
        *error = name + " needs " + option->value;
        return false;
      }
      value = args[++i];
    }
    if (!option->apply(*options, value)) {
      *error = name + " needs " + option->value + ", not \"" + value + "\"";
      return false;
    }
  }
  if (!options->help && options->linkPath.empty()) {
    *error = "--link PATH is required";
    return false;
  }
  return true;
}

// An empty file would mean "compare with nothing" to the engine, which is not
// what a script naming a file wants.
bool LoadExpectedImage(ServerOptions *options, std::string *error) {
  if (options->expectImagePath.empty()) return true;
  std::ifstream file(options->expectImagePath, std::ios::binary);
  if (!file) {
    *error = "cannot read the expected image " + options->expectImagePath;
    return false;
  }
  std::vector<uint8_t> &image = options->config.expectedImage;
  image.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  if (file.bad()) {
    *error = "cannot read the expected image " + options->expectImagePath;
    return false;
  }
  if (image.empty()) {
    *error = "the expected image " + options->expectImagePath + " is empty";
    return false;
  }
  return true;
}

const char *ServerUsage() {
  return "usage: vprinter-pty --link PATH [options]\n"
         "Serves one virtual printer on a pseudo-terminal whose slave PATH links to.\n"
         "  --link PATH              the symbolic link the host opens (removed on exit)\n"
         "  --expect-image FILE      the bytes the image must equal\n"
         "  --asks-for-switch        the reply to the query asks for the mode switch\n"
         "  --raw-reply HEX          the whole reply to a query, byte for byte\n"
         "  --reply-limit N          only the first N bytes of each reply leave the printer\n"
         "  --stall-after N          take no more data after N bytes\n"
         "  --fail-after N           fail (unplug the pty) after N bytes\n"
         "  --disconnect-after N     disconnect (unplug the pty) after N bytes\n"
         "  --bytes-per-second N     a slow link; 0: as fast as the host goes\n"
         "  --record FILE            the record of the session as JSON, written on exit\n"
         "  --ready-file FILE        written with the server's pid once the link exists\n"
         "  --exit-when-settled      exit once the session has settled and the link is quiet\n"
         "SIGTERM or SIGINT ends the server; it writes the record and removes the link.\n";
}

}  // namespace vprinter
