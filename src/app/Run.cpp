#include "app/Run.h"

#include <QCoreApplication>
#include <QNetworkProxyFactory>

#include "service/ServiceSignals.h"
#include "service/SystemdNotify.h"

int RunApplication(Application::Options options, const std::function<void(Application&)>& attach) {
  QCoreApplication::setApplicationName("xapvynCID");
  // The program talks to its own network only (xAP, displays, the caller-ID box, the
  // reverse-lookup server as configured); the system's proxy settings are never asked,
  // which also spares the thread Qt would start to ask them.
  QNetworkProxyFactory::setUseSystemConfiguration(false);
  ServiceSignals service;
  if (!service.Install()) return 1;

  SystemdNotify notify;
  Application app(std::move(options));
  QObject::connect(&service, &ServiceSignals::stopRequested, &app, [&] {
    notify.Stopping();
    app.Shutdown();
  });
  QObject::connect(&service, &ServiceSignals::reloadRequested, &app, [&] {
    notify.Reloading();
    app.Reload();
    notify.Ready();
  });
  bool finished = false;
  int exitCode = 0;
  QObject::connect(&app, &Application::finished, &app, [&](int code) {
    finished = true;
    exitCode = code;
    QCoreApplication::exit(code);
  });

  const int rc = app.Start();
  if (rc != 0) return rc;
  // A stop that arrived during start-up (inside a nested wait) has already shut the
  // program down; its exit request came before the event loop, so return now.
  if (finished) return exitCode;
  // The transport is up and the caller-ID link has been tried.
  notify.Ready();
  if (attach) attach(app);
  return QCoreApplication::exec();
}
