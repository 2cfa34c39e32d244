#include "ui/ClientServiceWindow.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QFontDatabase>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QKeyEvent>
#include <QVBoxLayout>

#include "ui/ClientServiceText.h"
#include "ui/TrayArt.h"
#include "ui/UiText.h"

namespace {

// The service log drops old lines itself; the box reloads from it when it has grown
// well past that size, so a long run cannot fill the memory through the box.
constexpr int kBoxReloadChars = 320 * 1024;

QPushButton* MakeButton(QWidget* owner, const char* name, const char* caption) {
  auto* button = new QPushButton(QLatin1String(caption), owner);
  button->setObjectName(QLatin1String(name));
  button->setAutoDefault(false);
  return button;
}

}  // namespace

ClientServiceWindow::ClientServiceWindow(const UiHost& host, QWidget* parent)
    : QWidget(parent), host_(host) {
  setWindowFlag(Qt::Window);
  setObjectName(QStringLiteral("frmOptions"));
  setWindowTitle(QStringLiteral("xapvynCID"));
  setWindowIcon(ProgramIcon());

  auto* logging = new QGroupBox(QStringLiteral("Logging"), this);
  log_ = new QPlainTextEdit(logging);
  log_->setObjectName(QStringLiteral("txtArray0"));
  log_->setReadOnly(true);
  log_->setLineWrapMode(QPlainTextEdit::NoWrap);
  log_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  log_->setToolTip(QStringLiteral("Double-click to empty the log"));
  log_->viewport()->installEventFilter(this);
  auto* loggingLayout = new QVBoxLayout(logging);
  loggingLayout->addWidget(log_);

  debug_ = new QCheckBox(QStringLiteral("Turn Debug Mode On"), this);
  debug_->setObjectName(QStringLiteral("chkArray0"));

  QPushButton* ok = MakeButton(this, "cmdArray0", "&OK");
  ok->setDefault(true);
  QPushButton* cancel = MakeButton(this, "cmdArray1", "&Cancel");
  QPushButton* test = MakeButton(this, "TestMessageButton", "&Send Test Message");
  QPushButton* info = MakeButton(this, "AdvancedInfoButton", "&Advanced Information");
  connect(ok, &QPushButton::clicked, this, &ClientServiceWindow::OkPressed);
  connect(cancel, &QPushButton::clicked, this, &ClientServiceWindow::CancelPressed);
  connect(test, &QPushButton::clicked, this, &ClientServiceWindow::SendTestMessage);
  connect(info, &QPushButton::clicked, this, &ClientServiceWindow::AdvancedInformation);

  state_ = new QLabel(this);
  state_->setObjectName(QStringLiteral("serviceState"));

  // A display subscribing logs nothing while debug is off, so the count is read again
  // while the window shows.
  stateTimer_.setInterval(kStatePollMs);
  connect(&stateTimer_, &QTimer::timeout, this, &ClientServiceWindow::ShowServiceState);

  auto* tools = new QHBoxLayout;
  tools->addWidget(debug_);
  tools->addStretch(1);
  tools->addWidget(test);
  tools->addWidget(info);

  auto* bottom = new QHBoxLayout;
  bottom->addWidget(state_);
  bottom->addStretch(1);
  bottom->addWidget(ok);
  bottom->addWidget(cancel);

  auto* outer = new QVBoxLayout(this);
  outer->setContentsMargins(12, 10, 12, 10);
  outer->addWidget(logging, 1);
  outer->addLayout(tools);
  outer->addSpacing(4);
  outer->addLayout(bottom);

  const QFontMetrics metrics(log_->font());
  resize(metrics.horizontalAdvance(QLatin1Char('0')) * 94 + 60, metrics.lineSpacing() * 20 + 130);
}

void ClientServiceWindow::Load() {
  loaded_ = true;
  setWindowTitle(QStringLiteral("xapvynCID"));
  debug_->setChecked(host_.ClientService.StoredDebug && host_.ClientService.StoredDebug());
  log_->setPlainText(ForDisplay(host_.ClientService.LogText ? host_.ClientService.LogText() : ""));
  log_->verticalScrollBar()->setValue(log_->verticalScrollBar()->maximum());
  ShowServiceState();
}

void ClientServiceWindow::ShowServiceState() {
  const bool active = host_.ClientService.ServiceActive && host_.ClientService.ServiceActive();
  if (!active) {
    state_->setText(QStringLiteral("Client service not running"));
    return;
  }
  const int displays = RegisteredDisplays(
      host_.ClientService.ClientSlots ? host_.ClientService.ClientSlots()
                                      : std::vector<std::string>{});
  state_->setText(QStringLiteral("Client service running, %1 display%2 registered")
                      .arg(displays)
                      .arg(displays == 1 ? QString() : QStringLiteral("s")));
}

void ClientServiceWindow::keyPressEvent(QKeyEvent* event) {
  // A QWidget window has no default button of its own: keys that reach the window
  // unhandled press OK (Enter) or Cancel (Escape), as in a dialog.
  if (event->modifiers() == Qt::NoModifier || event->modifiers() == Qt::KeypadModifier) {
    switch (event->key()) {
      case Qt::Key_Return:
      case Qt::Key_Enter:
        OkPressed();
        return;
      case Qt::Key_Escape:
        CancelPressed();
        return;
      default:
        break;
    }
  }
  QWidget::keyPressEvent(event);
}

void ClientServiceWindow::SetStatePollInterval(int ms) { stateTimer_.setInterval(ms); }

void ClientServiceWindow::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  ShowServiceState();
  stateTimer_.start();
}

void ClientServiceWindow::hideEvent(QHideEvent* event) {
  stateTimer_.stop();
  QWidget::hideEvent(event);
}

void ClientServiceWindow::Open() {
  if (!loaded_) Load();
  ShowServiceState();
  show();
  raise();
  activateWindow();
}

void ClientServiceWindow::LogAppended(const std::string& piece) {
  if (!loaded_) {
    Load();
    return;
  }
  if (log_->document()->characterCount() > kBoxReloadChars) {
    Load();
    return;
  }
  QScrollBar* bar = log_->verticalScrollBar();
  QTextCursor end(log_->document());
  end.movePosition(QTextCursor::End);
  end.insertText(ForDisplay(piece));
  bar->setValue(bar->maximum());
}

void ClientServiceWindow::OkPressed() {
  const bool on = debug_->isChecked();
  if (host_.ClientService.SetServiceDebug) host_.ClientService.SetServiceDebug(on);
  if (host_.ClientService.SaveDebug) host_.ClientService.SaveDebug(on);
  close();
}

void ClientServiceWindow::CancelPressed() { close(); }

void ClientServiceWindow::SendTestMessage() {
  const ClientServiceSource& service = host_.ClientService;
  if (service.ServerLog) service.ServerLog(kTestMessageLine, 0);
  if (service.SetServiceDebug)
    service.SetServiceDebug(service.StoredDebug && service.StoredDebug());
  if (service.SendCIDSentry) service.SendCIDSentry(kTestCallerName, kTestCallerNumber);
}

void ClientServiceWindow::AdvancedInformation() {
  const ClientServiceSource& service = host_.ClientService;
  const std::vector<std::string> clientSlots =
      service.ClientSlots ? service.ClientSlots() : std::vector<std::string>{};
  if (service.AppendLog) service.AppendLog(InformationBlock(clientSlots));
}

void ClientServiceWindow::ClearLogBox() {
  if (host_.ClientService.ClearLog) host_.ClientService.ClearLog();
  log_->clear();
}

void ClientServiceWindow::closeEvent(QCloseEvent* event) {
  // Closing discards the window with its log; the next log line loads it again.
  if (host_.ClientService.ClearLog) host_.ClientService.ClearLog();
  log_->clear();
  loaded_ = false;
  event->accept();
}

bool ClientServiceWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched == log_->viewport() && event->type() == QEvent::MouseButtonDblClick) {
    ClearLogBox();
    return true;
  }
  return QWidget::eventFilter(watched, event);
}

QString ClientServiceWindow::StateText() const { return state_->text(); }
