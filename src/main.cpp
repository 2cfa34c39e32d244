// xapvynCID: caller-ID connector for xAP home-automation networks.
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QCoreApplication>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/CommandLine.h"
#include "app/Paths.h"
#include "app/Run.h"
#include "history/CallsCommand.h"
#include "service/InstanceLock.h"
#include "service/ServiceSignals.h"
#ifdef VYN_GUI
#include <dlfcn.h>

#include "app/DesktopEntry.h"
#endif

namespace {

std::string WorkingFolder() {
  char buf[4096];
  return getcwd(buf, sizeof buf) ? std::string(buf) : std::string();
}

#ifdef VYN_GUI

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v ? std::string(v) : std::string();
}

bool ConnectUnix(const std::string& path) {
  sockaddr_un a{};
  if (path.empty() || path.size() >= sizeof a.sun_path) return false;
  a.sun_family = AF_UNIX;
  std::memcpy(a.sun_path, path.data(), path.size());
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
  ::close(fd);
  return ok;
}

// A TCP connect with a short limit, so a display host that does not answer
// cannot hold up the start.
bool ConnectTcp(const std::string& host, int port) {
  addrinfo hints{};
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* list = nullptr;
  if (getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &list) != 0) return false;
  bool ok = false;
  for (addrinfo* ai = list; ai && !ok; ai = ai->ai_next) {
    const int fd = ::socket(ai->ai_family, ai->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) continue;
    if (::connect(fd, ai->ai_addr, ai->ai_addrlen) == 0) {
      ok = true;
    } else if (errno == EINPROGRESS) {
      pollfd p{fd, POLLOUT, 0};
      int err = 0;
      socklen_t len = sizeof err;
      ok = ::poll(&p, 1, 1000) == 1 && ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) == 0 &&
           err == 0;
    }
    ::close(fd);
  }
  freeaddrinfo(list);
  return ok;
}

// Whether a display named in the environment can be reached: a Wayland socket,
// or an X display (":n" -> /tmp/.X11-unix/Xn, "host:n" -> TCP 6000+n). A platform
// chosen through QT_QPA_PLATFORM is trusted. Empty: reachable; else why not.
std::string DisplayProblem() {
  if (!Env("QT_QPA_PLATFORM").empty()) return {};
  const std::string wayland = Env("WAYLAND_DISPLAY");
  if (!wayland.empty()) {
    const std::string path =
        wayland[0] == '/' ? wayland : Env("XDG_RUNTIME_DIR") + "/" + wayland;
    if (ConnectUnix(path)) return {};
  }
  const std::string display = Env("DISPLAY");
  if (display.empty()) return "cannot open Wayland display " + wayland;
  const std::size_t colon = display.rfind(':');
  if (colon != std::string::npos) {
    std::string host = display.substr(0, colon);
    const std::string number = display.substr(colon + 1, display.find('.', colon) - colon - 1);
    char* end = nullptr;
    const long n = std::strtol(number.c_str(), &end, 10);
    if (!number.empty() && *end == '\0' && n >= 0 && n < 1000) {
      if (host.rfind("unix", 0) == 0 || host.empty()) {
        if (ConnectUnix("/tmp/.X11-unix/X" + std::to_string(n))) return {};
        if (host.empty() && ConnectTcp("127.0.0.1", 6000 + static_cast<int>(n))) return {};
      } else if (ConnectTcp(host, 6000 + static_cast<int>(n))) {
        return {};
      }
    } else if (display[0] == '/' && ConnectUnix(display.substr(0, colon))) {
      return {};  // a socket path, as some systems set it
    }
  }
  return "cannot open display " + display;
}

// The folder of the running program, from /proc/self/exe.
std::string ProgramDirectory() {
  char buf[4096];
  const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return {};
  std::string path(buf, static_cast<std::size_t>(n));
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

// The desktop module: beside the program (a build folder), else where it is installed.
// Null, with the reason, when it cannot be loaded.
DesktopEntry LoadDesktop(std::string& why) {
  for (const std::string& folder : {ProgramDirectory(), std::string(VYN_DESKTOP_DIR)}) {
    const std::string path = folder + "/" + kDesktopModuleFile;
    if (folder.empty() || ::access(path.c_str(), F_OK) != 0) continue;
    void* module = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!module) {
      const char* error = ::dlerror();
      why = "cannot load the desktop part " + path + ": " + (error ? error : "unknown error");
      return nullptr;
    }
    if (void* entry = ::dlsym(module, kDesktopEntry)) return reinterpret_cast<DesktopEntry>(entry);
    why = "the desktop part " + path + " has no entry point";
    return nullptr;
  }
  why = std::string("the desktop part ") + kDesktopModuleFile + " is not installed (looked in " +
        ProgramDirectory() + " and " + VYN_DESKTOP_DIR + ")";
  return nullptr;
}
#endif

}  // namespace

int main(int argc, char** argv) {
  // SIGTERM and SIGINT are caught from here on; they take effect once the event
  // loop runs, and always end the program with status 0.
  ServiceSignals::CatchEarly();
  const CommandLine cl = ParseCommandLine(argc, argv, DefaultProgramFolder(), WorkingFolder());
  switch (cl.action) {
    case CommandLine::Action::Help:
      std::fputs(CommandLine::Usage(), stdout);
      return 0;
    case CommandLine::Action::Version:
      std::printf("xapvynCID %s\n", XAPVYNCID_VERSION);
      return 0;
    case CommandLine::Action::Error:
      std::fprintf(stderr, "xapvynCID: %s\n", cl.error.c_str());
      return 2;
    case CommandLine::Action::Calls:
      return RunCallsCommand(cl.home, cl.calls, cl.json, stdout, stderr);
    case CommandLine::Action::Run:
      break;
  }
  // One running program per program folder, checked before any other file or socket.
  InstanceLock lock;
  const InstanceLock::Result locked = lock.Take(cl.home);
  if (!locked.taken && locked.holder != 0) {
    std::fprintf(stderr, "xapvynCID: program folder %s is already in use (%s); not starting\n",
                 cl.home.c_str(), locked.error.c_str());
    return 1;
  }
  if (!locked.taken)
    std::fprintf(stderr, "xapvynCID: running without the one-instance lock of %s (%s)\n",
                 cl.home.c_str(), locked.error.c_str());

  Application::Options options;
  options.home = cl.home;
  options.headless = cl.headless;

#ifdef VYN_GUI
  if (!options.headless) {
    const bool named = !Env("DISPLAY").empty() || !Env("WAYLAND_DISPLAY").empty() ||
                       !Env("QT_QPA_PLATFORM").empty();
    const std::string problem = named ? DisplayProblem() : std::string();
    if (!named) {
      options.headless = true;  // no display at all: a service run
    } else if (!problem.empty()) {
      std::fprintf(stderr, "xapvynCID: %s; running headless\n", problem.c_str());
      options.headless = true;
    }
  }
  if (!options.headless) {
    std::string why;
    if (const DesktopEntry runDesktop = LoadDesktop(why)) return runDesktop(&argc, argv, &options);
    std::fprintf(stderr, "xapvynCID: %s; running headless\n", why.c_str());
    options.headless = true;
  }
#endif
  options.headless = true;
  // Qt's own event loop rather than GLib's: a headless run needs no GLib integration,
  // and each wake-up (every piece of caller-ID text) costs less.
  if (qEnvironmentVariableIsEmpty("QT_NO_GLIB")) qputenv("QT_NO_GLIB", "1");
  QCoreApplication qapp(argc, argv);
  return RunApplication(options);
}
