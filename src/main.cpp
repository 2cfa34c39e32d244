// xapvynCID: caller-ID connector for xAP home-automation networks.
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "app/Application.h"
#include "app/Paths.h"
#ifdef VYN_GUI
#include <QApplication>
#include <QSystemTrayIcon>

#include "ui/AppDesktop.h"
#endif

namespace {

int gSignalPipe[2] = {-1, -1};

void OnSignal(int) {
  char c = 1;
  [[maybe_unused]] auto n = write(gSignalPipe[1], &c, 1);
}

const char* kUsage =
    "Usage: xapvynCID [--home DIR] [--headless] [--help] [--version]\n"
    "  --home DIR   program folder holding Config/ and Data/\n"
    "               (default ${XDG_CONFIG_HOME:-$HOME/.config}/xapvynCID)\n"
    "  --headless   run without tray icon or windows\n"
    "  --help       show this help and exit\n"
    "  --version    show the version and exit\n";

}  // namespace

int main(int argc, char** argv) {
  Application::Options options;
  options.home = DefaultProgramFolder();
  options.headless = false;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (arg == "--version") {
      std::printf("xapvynCID %s\n", XAPVYNCID_VERSION);
      return 0;
    } else if (arg == "--headless") {
      options.headless = true;
    } else if (arg == "--home") {
      if (i + 1 >= argc || argv[i + 1][0] == '\0') {
        std::fprintf(stderr, "xapvynCID: --home needs a folder (see --help)\n");
        return 2;
      }
      options.home = argv[++i];
    } else if (arg.rfind("--home=", 0) == 0 && arg.size() > 7) {
      options.home = arg.substr(7);
    } else {
      std::fprintf(stderr, "xapvynCID: unknown option '%s' (see --help)\n", arg.c_str());
      return 2;
    }
  }
  options.home = WithoutTrailingSlash(options.home);
  // No display: run headless all the same.
  if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY") && !std::getenv("QT_QPA_PLATFORM"))
    options.headless = true;

#ifdef VYN_GUI
  std::unique_ptr<QCoreApplication> qapp;
  if (options.headless) {
    qapp = std::make_unique<QCoreApplication>(argc, argv);
  } else {
    auto gui = std::make_unique<QApplication>(argc, argv);
    gui->setQuitOnLastWindowClosed(false);  // the tray keeps the program alive
    qapp = std::move(gui);
  }
#else
  options.headless = true;
  auto qapp = std::make_unique<QCoreApplication>(argc, argv);
#endif
  QCoreApplication::setApplicationName("xapvynCID");

  // SIGINT and SIGTERM run the orderly shutdown on the event loop.
  if (socketpair(AF_UNIX, SOCK_STREAM, 0, gSignalPipe) != 0) return 1;
  struct sigaction sa {};
  sa.sa_handler = OnSignal;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESTART;
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);

  Application app(options);
  QSocketNotifier notifier(gSignalPipe[0], QSocketNotifier::Read);
  QObject::connect(&notifier, &QSocketNotifier::activated, qapp.get(), [&] {
    char c;
    [[maybe_unused]] auto n = read(gSignalPipe[0], &c, 1);
    app.Shutdown();
  });
  QObject::connect(&app, &Application::finished, qapp.get(),
                   [](int code) { QCoreApplication::exit(code); });

  int rc = app.Start();
  if (rc != 0) return rc;
#ifdef VYN_GUI
  std::unique_ptr<AppDesktop> desktop;
  if (!options.headless) {
    if (!QSystemTrayIcon::isSystemTrayAvailable())
      app.LogEvent("xapvynCID", "No system tray available: the program runs without its icon");
    desktop = std::make_unique<AppDesktop>(app);
    app.SetShutdownUi([&desktop] {
      if (desktop) desktop->Unload();
    });
    desktop->Start();
  }
#endif
  return qapp->exec();
}
