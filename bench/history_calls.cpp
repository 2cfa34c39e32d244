// history_calls HOME [N] [--json]: the `--calls` listing as a process of its own, so that
// bench_history can time the whole command from start to exit.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "history/CallsCommand.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: history_calls HOME [N] [--json]\n");
    return 2;
  }
  const int n = argc > 2 ? std::atoi(argv[2]) : kDefaultCallsShown;
  const bool json = argc > 3 && std::strcmp(argv[3], "--json") == 0;
  return RunCallsCommand(argv[1], n, json, stdout, stderr);
}
