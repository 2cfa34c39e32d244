#include "ui/TrayIcon.h"

TrayIcon::TrayIcon(QObject* parent) : QObject(parent) {
  connect(&tray_, &QSystemTrayIcon::activated, this, &TrayIcon::OnActivated);
}

void TrayIcon::SetCaption(const QString& caption) {
  QStringList lines = caption.split(QLatin1Char('\n'));
  if (lines.size() > kTipLines) lines = lines.mid(0, kTipLines);
  for (QString& line : lines) line = line.left(kTipLength);
  caption_ = lines.join(QLatin1Char('\n'));
  if (iconAdded_) tray_.setToolTip(caption_);
}

void TrayIcon::Update(bool IconOn, const QIcon& img) {
  if (!IconOn) {
    if (iconAdded_) tray_.hide();
    iconAdded_ = false;
    return;
  }
  current_ = img;
  tray_.setIcon(img);
  tray_.setToolTip(caption_);
  if (!iconAdded_) tray_.show();
  iconAdded_ = true;
}

void TrayIcon::MouseMessage(int code) {
  if (code < kLeftDown || code > kRightDoubleClick || inCallback_ || !callback_) return;
  inCallback_ = true;
  callback_(code);
  inCallback_ = false;
}

void TrayIcon::OnActivated(QSystemTrayIcon::ActivationReason reason) {
  switch (reason) {
    case QSystemTrayIcon::Trigger:
      MouseMessage(kLeftUp);
      break;
    case QSystemTrayIcon::Context:
      MouseMessage(kRightUp);
      break;
    case QSystemTrayIcon::DoubleClick:
      MouseMessage(kLeftDoubleClick);
      break;
    default:
      break;
  }
}
