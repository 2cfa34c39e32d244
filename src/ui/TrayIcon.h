#pragma once
// TrayIcon: the program's entry in the notification area, with the caption as tooltip.
// It turns clicks on the icon into mouse message codes for its owner:
// 513/514/515 left button down/up/double-click, 516/517/518 the same for the right
// button. Qt reports a click once, so a left click arrives as 514 and a right click as
// 517; a double-click adds 515.
//
// What callers may rely on:
//  - SetCaption keeps at most kTipLines lines of the caption, each cut to kTipLength
//    characters.
//  - Update(true, img) shows the icon with img and the caption,
//    adding it when it is not there yet; Update(false, ...) removes it when it was
//    added and does nothing otherwise. IconAdded() tells which.
//  - MouseMessage(code) passes codes 513 to 518 to the callback and drops the rest;
//    a code that arrives while the callback still runs is dropped too.
#include <QIcon>
#include <QObject>
#include <QString>
#include <QSystemTrayIcon>
#include <functional>

class TrayIcon : public QObject {
  Q_OBJECT
 public:
  static constexpr int kLeftDown = 513;
  static constexpr int kLeftUp = 514;
  static constexpr int kLeftDoubleClick = 515;
  static constexpr int kRightDown = 516;
  static constexpr int kRightUp = 517;
  static constexpr int kRightDoubleClick = 518;
  static constexpr int kTipLength = 63;
  static constexpr int kTipLines = 4;

  explicit TrayIcon(QObject* parent = nullptr);

  void SetCallback(std::function<void(int code)> callback) { callback_ = std::move(callback); }
  void SetCaption(const QString& caption);
  void Update(bool IconOn, const QIcon& img);
  void MouseMessage(int code);

  bool IconAdded() const { return iconAdded_; }
  const QIcon& CurrentIcon() const { return current_; }
  QString ToolTip() const { return tray_.toolTip(); }
  const QString& Caption() const { return caption_; }
  QSystemTrayIcon& Tray() { return tray_; }

 private:
  void OnActivated(QSystemTrayIcon::ActivationReason reason);

  QSystemTrayIcon tray_;
  QString caption_;
  QIcon current_;
  std::function<void(int)> callback_;
  bool iconAdded_ = false;
  bool inCallback_ = false;
};
