// faults_save_loop HOME FIRST KEYS: saves one setting after another into
// HOME/Config/vynRinglet.ini through the host object, for ever, so that a test can
// kill it at any moment of a save. Save number n, from FIRST on, writes
// FillerValue(n) into key FillerKey(n % KEYS). Prints "go" before the first save;
// a failed save ends the program with status 3 and the reason on stderr.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "SaveLoopValues.h"
#include "host/Homeseer.h"

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: faults_save_loop HOME FIRST KEYS\n");
    return 2;
  }
  const long first = std::atol(argv[2]);
  const long keys = std::atol(argv[3]);
  if (first < 1 || keys < 1) return 2;
  HostHooks hooks;
  hooks.setError = [](int location, const std::string& description) {
    std::fprintf(stderr, "error at %d: %s\n", location, description.c_str());
  };
  hooks.logEvent = [](const std::string& type, const std::string& text) {
    std::fprintf(stderr, "%s: %s\n", type.c_str(), text.c_str());
  };
  Homeseer host(argv[1], hooks);
  std::printf("go\n");
  std::fflush(stdout);
  for (long n = first;; ++n) {
    if (!host.SaveIniSetting(faults::kFillerSection, faults::FillerKey(n % keys),
                             faults::FillerValue(n), "vynRinglet.ini"))
      return 3;
  }
}
