#include "ui/TrafficWindow.h"

#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QKeyEvent>
#include <QShowEvent>
#include <QVBoxLayout>

#include "ui/TrayArt.h"
#include "ui/UiText.h"

namespace {

QPlainTextEdit* MakeLog(QWidget* owner, const char* name) {
  auto* box = new QPlainTextEdit(owner);
  box->setObjectName(QLatin1String(name));
  box->setReadOnly(true);
  box->setLineWrapMode(QPlainTextEdit::NoWrap);
  box->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  return box;
}

// Sets the text only when it changed, then puts its last line in view from its start:
// the cursor goes to the start of the last line (not its end, which would scroll a
// long line sideways and hide the time stamps at the start of every line).
void ShowText(QPlainTextEdit* box, const QString& text) {
  if (box->toPlainText() != text) box->setPlainText(text);
  QTextCursor cursor(box->document());
  cursor.movePosition(QTextCursor::End);
  cursor.movePosition(QTextCursor::StartOfBlock);
  box->setTextCursor(cursor);
  box->verticalScrollBar()->setValue(box->verticalScrollBar()->maximum());
  box->horizontalScrollBar()->setValue(0);
}

std::string Get(const std::function<std::string()>& getter) { return getter ? getter() : ""; }

}  // namespace

TrafficWindow::TrafficWindow(const UiHost& host, QWidget* parent) : QWidget(parent), host_(host) {
  setWindowFlag(Qt::Window);
  setObjectName(QStringLiteral("frmComm"));
  setWindowTitle(QStringLiteral("Modem Communications Window"));
  setWindowIcon(ProgramIcon());

  commData_ = MakeLog(this, "CommData");
  commStatus_ = MakeLog(this, "CommStatus");
  // The event codes are short: a narrow column beside the traffic is enough.
  const int codeWidth = commStatus_->fontMetrics().horizontalAdvance(QLatin1Char('0')) * 12;
  commStatus_->setFixedWidth(codeWidth + 2 * commStatus_->frameWidth() + 24);

  auto* label1 = new QLabel(QStringLiteral("Status"), this);
  label1->setObjectName(QStringLiteral("Label1"));
  label1->setBuddy(commStatus_);
  auto* dataLabel = new QLabel(QStringLiteral("Traffic"), this);
  dataLabel->setBuddy(commData_);

  openStatus_ = new QLabel(QStringLiteral("Port Status"), this);
  openStatus_->setObjectName(QStringLiteral("aOpenStatus"));
  openStatus_->setTextInteractionFlags(Qt::TextSelectableByMouse);

  auto* close = new QPushButton(QStringLiteral("Close"), this);
  close->setObjectName(QStringLiteral("CommClose"));
  connect(close, &QPushButton::clicked, this, &QWidget::hide);

  auto* dataColumn = new QVBoxLayout;
  dataColumn->addWidget(dataLabel);
  dataColumn->addWidget(commData_, 1);
  auto* statusColumn = new QVBoxLayout;
  statusColumn->addWidget(label1);
  statusColumn->addWidget(commStatus_, 1);
  auto* boxes = new QHBoxLayout;
  boxes->addLayout(dataColumn, 1);
  boxes->addLayout(statusColumn);

  auto* bottom = new QHBoxLayout;
  bottom->addWidget(openStatus_, 1);
  bottom->addWidget(close);

  auto* outer = new QVBoxLayout(this);
  outer->setContentsMargins(12, 10, 12, 10);
  outer->addLayout(boxes, 1);
  outer->addLayout(bottom);

  const int lineHeight = commData_->fontMetrics().lineSpacing();
  const int charWidth = commData_->fontMetrics().horizontalAdvance(QLatin1Char('0'));
  resize(charWidth * 72 + codeWidth + 80, lineHeight * 18 + 90);
}

void TrafficWindow::Refresh() {
  stale_ = true;
  if (isVisible()) Reload();
}

void TrafficWindow::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (stale_) Reload();
}

void TrafficWindow::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier)
    hide();
  else
    QWidget::keyPressEvent(event);
}

void TrafficWindow::Reload() {
  stale_ = false;
  ShowText(commData_, ForDisplay(Get(host_.Traffic.CommData)));
  ShowText(commStatus_, ForDisplay(Get(host_.Traffic.CommStatus)));
  const std::string status = Get(host_.Traffic.PortStatus);
  openStatus_->setText(status.empty() ? QStringLiteral("Port Status") : ToQ(status));
}
