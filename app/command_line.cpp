#include "command_line.h"

namespace {

constexpr int kArgumentSize = kLogPathSize;

// One argument, cut short at the buffer's size; `length` counts it whole, so
// that "/quietly" is never taken for "/quiet".
struct Argument {
  WCHAR text[kArgumentSize];
  int length;
};

bool IsBlank(WCHAR c) { return c == ' ' || c == '\t'; }

void Put(Argument *argument, WCHAR c, int times) {
  for (int i = 0; i < times; ++i, ++argument->length)
    if (argument->length < kArgumentSize) argument->text[argument->length] = c;
}

// The program's name runs to its closing quote when it begins with one (no
// backslash escapes anything in it), and to the first blank otherwise.
LPCWSTR SkipProgramName(LPCWSTR at) {
  if (*at != '"') {
    while (*at != 0 && !IsBlank(*at)) ++at;
    return at;
  }
  ++at;
  while (*at != 0 && *at != '"') ++at;
  return *at == '"' ? at + 1 : at;
}

// Reads the argument at `at` (no blank there); returns what follows it.
LPCWSTR NextArgument(LPCWSTR at, Argument *argument) {
  argument->length = 0;
  bool quoted = false;
  for (;;) {
    int backslashes = 0;
    while (at[backslashes] == '\\') ++backslashes;
    at += backslashes;
    if (*at == '"') {
      // 2n backslashes and a quote: n backslashes, and the quote opens or
      // closes; 2n + 1: n backslashes and a quote that is part of the text.
      Put(argument, '\\', backslashes / 2);
      if (backslashes % 2 == 1)
        Put(argument, '"', 1);
      else
        quoted = !quoted;
      ++at;
      continue;
    }
    Put(argument, '\\', backslashes);
    if (*at == 0 || (!quoted && IsBlank(*at))) return at;
    Put(argument, *at++, 1);
  }
}

// Letter case folded for ASCII only: the same in every locale.
WCHAR Folded(WCHAR c) { return c >= 'A' && c <= 'Z' ? static_cast<WCHAR>(c - 'A' + 'a') : c; }

bool IsOption(const Argument &argument, const char *name) {
  int length = 0;
  while (name[length] != 0) ++length;
  if (argument.length != length + 1 || (argument.text[0] != '/' && argument.text[0] != '-'))
    return false;
  for (int i = 0; i < length; ++i)
    if (Folded(argument.text[i + 1]) != static_cast<WCHAR>(name[i])) return false;
  return true;
}

void KeepForTheLog(const Argument &argument, char *shown) {
  int shownLength = argument.length < kShownArgumentSize ? argument.length : kShownArgumentSize - 1;
  for (int i = 0; i < shownLength; ++i) {
    WCHAR c = argument.text[i];
    shown[i] = c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '?';
  }
  shown[shownLength] = 0;
}

void KeepLogPath(const Argument &argument, CommandLine *command) {
  int length = argument.length < kLogPathSize ? argument.length : 0;
  for (int i = 0; i < length; ++i) command->logPath[i] = argument.text[i];
  command->logPath[length] = 0;
}

// Returns whether a path must follow: a later /log replaces an earlier one.
bool Take(const Argument &argument, CommandLine *command) {
  if (IsOption(argument, "log")) {
    command->log = 1;
    command->logPath[0] = 0;
    return true;
  }
  if (IsOption(argument, "quiet"))
    command->quiet = 1;
  else if (IsOption(argument, "accept-licence") || IsOption(argument, "accept-license"))
    command->acceptLicence = 1;
  else if (IsOption(argument, "check"))
    command->check = 1;
  else if (command->unknownCount++ == 0)
    KeepForTheLog(argument, command->firstUnknown);
  return false;
}

}  // namespace

void ReadCommandLine(LPCWSTR line, CommandLine *command) {
  *command = CommandLine{};
  if (line == nullptr) return;
  LPCWSTR at = SkipProgramName(line);
  // The argument after /log is its path, whatever it looks like.
  bool pathNext = false;
  for (;;) {
    while (IsBlank(*at)) ++at;
    if (*at == 0) return;
    Argument argument;
    at = NextArgument(at, &argument);
    if (pathNext) {
      KeepLogPath(argument, command);
      pathNext = false;
    } else {
      pathNext = Take(argument, command);
    }
  }
}
