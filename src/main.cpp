// xapvynCID: caller-ID connector for xAP home-automation networks.
#include <unistd.h>

#include <QCoreApplication>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/CommandLine.h"
#include "app/Paths.h"
#include "app/Run.h"
#include "history/CallsCommand.h"
#ifdef VYN_GUI
#include <QApplication>
#include <QSystemTrayIcon>
#include <memory>

#include "ui/AppDesktop.h"
#endif

namespace {

std::string WorkingFolder() {
  char buf[4096];
  return getcwd(buf, sizeof buf) ? std::string(buf) : std::string();
}

bool DisplayAvailable() {
  return std::getenv("DISPLAY") || std::getenv("WAYLAND_DISPLAY") || std::getenv("QT_QPA_PLATFORM");
}

}  // namespace

int main(int argc, char** argv) {
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
  Application::Options options;
  options.home = cl.home;
  options.headless = cl.headless || !DisplayAvailable();

#ifdef VYN_GUI
  if (!options.headless) {
    QApplication qapp(argc, argv);
    qapp.setQuitOnLastWindowClosed(false);  // the tray keeps the program alive
    std::unique_ptr<AppDesktop> desktop;
    return RunApplication(options, [&desktop](Application& app) {
      if (!QSystemTrayIcon::isSystemTrayAvailable())
        app.LogEvent("xapvynCID", "No system tray available: the program runs without its icon");
      desktop = std::make_unique<AppDesktop>(app);
      app.SetShutdownUi([&desktop] {
        if (desktop) desktop->Unload();
      });
      desktop->Start();
    });
  }
#endif
  options.headless = true;
  QCoreApplication qapp(argc, argv);
  return RunApplication(options);
}
