#pragma once
// ClientServiceWindow: the window of the display-client service, titled "xapvynCID":
// the service log (txtArray0, in the frame "Logging"), the debug switch (chkArray0),
// "&OK" (cmdArray0), "&Cancel" (cmdArray1), "&Send Test Message" and
// "&Advanced Information".
//
// What callers may rely on:
//  - The log box shows the service log of the ClientServiceSource. The window "loads"
//    when it is first shown or when a log piece arrives while it is not loaded: the
//    title is set, the check box follows the stored "Debug" value and the box gets the
//    whole log text. While loaded, each piece given to LogAppended is added at the end.
//  - "&OK" sets the in-memory debug flag from the check box, stores it and closes the
//    window; "&Cancel" only closes it. Closing it in any way (the close box too) hides
//    it and discards the log text (ClearLog): the next piece loads it afresh.
//  - "&Send Test Message" logs "Sending Test Message." at level 0, sets the in-memory
//    debug flag from the stored value and sends the test call ("Test Caller",
//    "(123)456-7890") to the clients.
//  - "&Advanced Information" appends the information block (ClientServiceText.h) to the
//    service log through AppendLog; it reaches the box as a log piece.
//  - A double-click on the log box empties it and the service log.
//  - Enter presses "&OK" and Escape "&Cancel".
//  - The line beside the buttons tells whether the service runs and how many displays
//    are registered (RegisteredDisplays of ClientSlots); it is read again every
//    kStatePollMs while the window shows, since a subscription with debug off logs
//    nothing.
#include <QTimer>
#include <QWidget>
#include <string>

#include "ui/UiHost.h"

class QCheckBox;
class QLabel;
class QPlainTextEdit;

class ClientServiceWindow : public QWidget {
  Q_OBJECT
 public:
  static constexpr int kStatePollMs = 1000;

  explicit ClientServiceWindow(const UiHost& host, QWidget* parent = nullptr);

  // Shows the window (the tray menu's "OCID"), loading it first when needed.
  void Open();
  // One piece was appended to the service log.
  void LogAppended(const std::string& piece);
  bool Loaded() const { return loaded_; }
  QString StateText() const;
  void SetStatePollInterval(int ms);

  // The buttons' actions.
  void OkPressed();
  void CancelPressed();
  void SendTestMessage();
  void AdvancedInformation();
  void ClearLogBox();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Load();
  void ShowServiceState();

  const UiHost& host_;
  QPlainTextEdit* log_ = nullptr;
  QCheckBox* debug_ = nullptr;
  QLabel* state_ = nullptr;
  QTimer stateTimer_;
  bool loaded_ = false;
};
