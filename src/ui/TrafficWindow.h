#pragma once
// TrafficWindow: the "Modem Communications Window", a diagnostic view of the caller-ID
// link: CommData (received text, commands sent, parsing notes), CommStatus (the link's
// event codes), aOpenStatus (the port status) and Label1 ("Status").
//
// What callers may rely on:
//  - The texts come from the TrafficSource; the window keeps no copy of its own, so
//    whatever was collected while it was hidden shows when it is shown again.
//  - Refresh() reloads the three texts; while the window is hidden it only marks them
//    stale and the reload happens when it is shown. After a reload the last line of
//    both text boxes is in view from its start (the boxes never scroll sideways).
//  - "Close", Escape and the close box hide the window; it is not destroyed.
#include <QWidget>

#include "ui/UiHost.h"

class QLabel;
class QPlainTextEdit;

class TrafficWindow : public QWidget {
  Q_OBJECT
 public:
  explicit TrafficWindow(const UiHost& host, QWidget* parent = nullptr);

  void Refresh();

 protected:
  void showEvent(QShowEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void Reload();

  const UiHost& host_;
  QPlainTextEdit* commData_ = nullptr;
  QPlainTextEdit* commStatus_ = nullptr;
  QLabel* openStatus_ = nullptr;
  bool stale_ = true;
};
