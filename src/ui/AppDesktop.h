#pragma once
// AppDesktop: the tray icon and windows of a running program. It connects the
// desktop (which knows nothing of the program) to the Application: settings,
// reloads, the caller record, the traffic texts and the client service.
#include <memory>

#include "app/Application.h"
#include "ui/Desktop.h"

class AppDesktop {
 public:
  explicit AppDesktop(Application& app);
  ~AppDesktop();
  // Puts the icon in the tray.
  void Start();
  // Removes the icon and closes the windows without saving anything.
  void Unload();
  // Shows the traffic window (used once when there is no tray to reach it from).
  void ShowTrafficOnce();
  Desktop& Ui() { return *desktop_; }

 private:
  void WatchServiceLog();

  Application& app_;
  std::unique_ptr<Desktop> desktop_;
  UdpClientService* watched_ = nullptr;
};
