// The command line of the pseudo-terminal server: how the one printer it
// serves behaves, and where it shows itself to the host and to the scripts
// that drive it.
#pragma once

#include <string>
#include <vector>

#include "printer_config.h"

namespace vprinter {

struct ServerOptions {
  // Where the host looks for the printer: the symbolic link to the slave.
  std::string linkPath;
  // The file holding the image the printer should end up with; LoadExpectedImage
  // puts its bytes into config.
  std::string expectImagePath;
  // Where the record goes as JSON when the server ends; empty: nowhere.
  std::string recordPath;
  // Written once the link exists, so that a script can wait for it; empty: none.
  std::string readyPath;
  bool exitWhenSettled = false;
  bool help = false;

  PrinterConfig config;
};

// `args` without the program's name. Returns whether they make a server; if
// not, `error` says what is wrong in terms of the command line.
bool ParseServerOptions(const std::vector<std::string> &args, ServerOptions *options,
                        std::string *error);

// Reads the image named by --expect-image, if any, into the config.
bool LoadExpectedImage(ServerOptions *options, std::string *error);

const char *ServerUsage();

}  // namespace vprinter
