// The desktop part of the program: tray, menu and windows on a QApplication. It is
// built as a module that the program loads only for a desktop run, so a headless run
// never loads Qt Widgets and Gui. The program's own code comes from the executable.
#include <QApplication>
#include <QSystemTrayIcon>
#include <cstdio>
#include <memory>

#include "app/DesktopEntry.h"
#include "app/Run.h"
#include "ui/AppDesktop.h"

extern "C" __attribute__((visibility("default"))) int xapvyncid_run_desktop(
    int* argc, char** argv, const Application::Options* options) {
  QApplication qapp(*argc, argv);
  qapp.setQuitOnLastWindowClosed(false);  // the tray keeps the program alive
  std::unique_ptr<AppDesktop> desktop;
  return RunApplication(*options, [&desktop](Application& app) {
    const bool tray = QSystemTrayIcon::isSystemTrayAvailable();
    desktop = std::make_unique<AppDesktop>(app);
    app.SetShutdownUi([&desktop] {
      if (desktop) desktop->Unload();
    });
    desktop->Start();
    if (!tray) {
      // Without a tray the program would be invisible: say so and show the
      // traffic window once, so the user sees it runs.
      std::fputs("xapvynCID: no system tray available; showing the traffic window\n", stderr);
      app.LogEvent("xapvynCID", "No system tray available: the program runs without its icon");
      desktop->ShowTrafficOnce();
    }
  });
}
