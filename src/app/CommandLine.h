#pragma once
// CommandLine: the program's options, read from argv (pure, no Qt).
//   xapvynCID [--home DIR] [--headless] [--calls [N] [--json]] [--help] [--version]
// The home folder is returned without a trailing "/" and, when relative, made
// absolute against the working folder, so a later change of folder cannot move it.
#include <string>

struct CommandLine {
  enum class Action { Run, Calls, Help, Version, Error };
  Action action = Action::Run;
  std::string home;       // program folder
  bool headless = false;  // asked for with --headless
  int calls = 20;         // --calls N: how many calls to list
  bool json = false;      // --json: the list as a JSON array
  std::string error;      // one line, for Action::Error

  static const char* Usage();
};

// defaultHome is used when --home is not given; cwd makes a relative home absolute.
CommandLine ParseCommandLine(int argc, const char* const* argv, const std::string& defaultHome,
                             const std::string& cwd);
