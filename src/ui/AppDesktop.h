#pragma once
// AppDesktop: the tray icon and windows of a running program. It connects the
// desktop (which knows nothing of the program) to the Application: settings,
// reloads, the caller record, the traffic texts and the client service, the link
// state (tray tooltip and picture) and the completed calls (recent calls window and
// desktop notices, from Application::Calls()).
//
// The recent calls window shows the calls of this run until SetHistoryProvider gives
// it the stored history; "Add to contacts" fails with a message until SetAddContact
// gives it the contact-book writer.
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
  // The stored history: at most limit calls matching search, newest first.
  void SetHistoryProvider(RecentCallsWindow::Provider provider);
  // Writes a contact (name, display number); false when it could not.
  void SetAddContact(RecentCallsWindow::AddContact hook);

 private:
  void WatchServiceLog();
  void ShowLinkState();

  Application& app_;
  std::unique_ptr<Desktop> desktop_;
  UdpClientService* watched_ = nullptr;
};
