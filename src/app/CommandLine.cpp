#include "app/CommandLine.h"

#include "app/Paths.h"

const char* CommandLine::Usage() {
  return "Usage: xapvynCID [--home DIR] [--headless] [--calls [N] [--json]] [--help] [--version]\n"
         "  --home DIR   program folder holding Config/ and Data/\n"
         "               (default ${XDG_CONFIG_HOME:-$HOME/.config}/xapvynCID)\n"
         "  --headless   run without tray icon or windows\n"
         "  --calls [N]  print the last N calls of the history (default 20) and exit\n"
         "  --json       with --calls: print them as a JSON array\n"
         "  --help       show this help and exit\n"
         "  --version    show the version and exit\n";
}

CommandLine ParseCommandLine(int argc, const char* const* argv, const std::string& defaultHome,
                             const std::string& cwd) {
  CommandLine c;
  c.home = defaultHome;
  auto fail = [&c](std::string message) {
    c.action = CommandLine::Action::Error;
    c.error = std::move(message);
    return c;
  };
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      c.action = CommandLine::Action::Help;
      return c;
    } else if (arg == "--version") {
      c.action = CommandLine::Action::Version;
      return c;
    } else if (arg == "--headless") {
      c.headless = true;
    } else if (arg == "--calls") {
      c.action = CommandLine::Action::Calls;
      if (i + 1 < argc && argv[i + 1][0] >= '0' && argv[i + 1][0] <= '9') {
        const std::string n = argv[++i];
        if (n.find_first_not_of("0123456789") != std::string::npos || n.size() > 6 || std::stoi(n) < 1)
          return fail("--calls needs a count from 1 to 999999 (see --help)");
        c.calls = std::stoi(n);
      }
    } else if (arg == "--json") {
      c.json = true;
    } else if (arg == "--home") {
      if (i + 1 >= argc || argv[i + 1][0] == '\0') return fail("--home needs a folder (see --help)");
      c.home = argv[++i];
    } else if (arg.rfind("--home=", 0) == 0 && arg.size() > 7) {
      c.home = arg.substr(7);
    } else {
      return fail("unknown option '" + arg + "' (see --help)");
    }
  }
  if (c.json && c.action != CommandLine::Action::Calls) return fail("--json goes with --calls (see --help)");
  if (!c.home.empty() && c.home[0] != '/' && !cwd.empty()) c.home = cwd + "/" + c.home;
  c.home = WithoutTrailingSlash(c.home);
  return c;
}
