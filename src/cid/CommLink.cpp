#include "cid/CommLink.h"

#include <QEventLoop>
#include <QFile>
#include <algorithm>

#include "host/LocalClock.h"

namespace {

QSerialPort::Parity ToQt(Parity p) {
  switch (p) {
    case Parity::Even:
      return QSerialPort::EvenParity;
    case Parity::Odd:
      return QSerialPort::OddParity;
    case Parity::Mark:
      return QSerialPort::MarkParity;
    case Parity::Space:
      return QSerialPort::SpaceParity;
    case Parity::None:
      break;
  }
  return QSerialPort::NoParity;
}

QSerialPort::StopBits ToQt(StopBits s) {
  switch (s) {
    case StopBits::OneAndHalf:
      return QSerialPort::OneAndHalfStop;
    case StopBits::Two:
      return QSerialPort::TwoStop;
    case StopBits::One:
      break;
  }
  return QSerialPort::OneStop;
}

std::string ToLocal(const QString& s) { return s.toLocal8Bit().toStdString(); }

std::string ToStd(const QByteArray& bytes) {
  return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

}  // namespace

CommLink::CommLink(const Settings& settings, CallerRecord& record, HostHooks log,
                   ShuttingDown shuttingDown, QObject* parent)
    : QObject(parent),
      settings_(settings),
      log_(std::move(log)),
      shuttingDown_(std::move(shuttingDown)),
      parser_(settings, record) {
  clock_ = &LocalTimeOfDay;

  CallerIdParser::LinkHooks hooks;
  hooks.StartTimer5 = [this] { timer5_.start(timer5Interval_); };
  hooks.StopTimer5 = [this] { timer5_.stop(); };
  hooks.AppendCommData = [this](const std::string& text) {
    if (holdTraffic_) {
      heldTraffic_ += text;
      return;
    }
    traffic_.AppendCommData(text);
    ScrollEchoWindows();
  };
  hooks.LogFailure = [this](const std::string& text, int location, const std::string& what) {
    LogFailure(text, location, what);
  };
  hooks.CallReady = [this](const CallerIdCall& ready) {
    CallerIdCall call = ready;
    if (networkLink_) {
      call.source = CallSource::NetworkBox;
      call.sourceDetail = tcpHost_ + ":" + std::to_string(tcpPort_);
    } else {
      call.source = CallSource::Serial;
      call.sourceDetail = serialDevice_;
    }
    emit callReceived(call);
  };
  parser_.SetLinkHooks(std::move(hooks));

  restTimer_.setSingleShot(true);
  reconnectTimer_.setSingleShot(true);
  serialRetryTimer_.setSingleShot(true);
  connect(&serialRetryTimer_, &QTimer::timeout, this, &CommLink::OnSerialRetry);
  connect(&deviceFolder_, &QFileSystemWatcher::directoryChanged, this,
          &CommLink::OnDeviceFolderChanged);
  connect(&timer5_, &QTimer::timeout, this, [this] { parser_.Timer5Expired(); });
  connect(&connectTimer_, &QTimer::timeout, this, &CommLink::OnConnectTimer);
  connect(&restTimer_, &QTimer::timeout, this,
          [this] { buffer_.TakeRest(BufferRules(false), BufferSink()); });
  connect(&reconnectTimer_, &QTimer::timeout, this, [this] {
    if (!networkLink_ || IsShuttingDown()) return;
    StartConnect();
    if (boxLost_) {
      // The next attempt, which also ends one that never gets an answer.
      boxRetryDelay_ = std::min(boxRetryDelay_ * 2, boxRetryMax_);
      reconnectTimer_.start(boxRetryDelay_);
    }
  });

  connect(&com1_, &QSerialPort::readyRead, this, &CommLink::OnSerialReadyRead);
  connect(&com1_, &QSerialPort::errorOccurred, this, &CommLink::OnSerialError);
  connect(&winsock2_, &QTcpSocket::connected, this, &CommLink::OnTcpConnected);
  connect(&winsock2_, &QTcpSocket::readyRead, this, &CommLink::OnTcpReadyRead);
  connect(&winsock2_, &QTcpSocket::disconnected, this, &CommLink::OnTcpDisconnected);
  connect(&winsock2_, &QTcpSocket::errorOccurred, this, &CommLink::OnTcpError);
}

CommLink::~CommLink() {
  // The controls are destroyed after this body; none of their signals may reach
  // a half-destroyed link.
  com1_.disconnect(this);
  winsock2_.disconnect(this);
  if (connectWait_) connectWait_->quit();
  winsock2_.abort();
  if (com1_.isOpen()) com1_.close();
}

bool CommLink::PortOpen(const std::string& portText) {
  const LinkTarget target = ParseCommPort(portText);
  bool open = false;
  if (target.kind == LinkKind::Serial)
    open = !networkLink_ && com1_.isOpen() && serialDevice_ == target.device;
  else if (target.kind == LinkKind::Tcp)
    open = networkLink_ && winsock2_.state() == QAbstractSocket::ConnectedState &&
           tcpHost_ == target.host && tcpPort_ == target.port;
  if (open) return true;
  return OpenCommPort(portText, settings_.CIDPortString);
}

bool CommLink::OpenCommPort(const std::string& portText, const std::string& portSettings) {
  const LinkTarget target = ParseCommPort(portText);
  tries_ = 0;
  if (target.kind == LinkKind::Tcp) return OpenTcp(portText, target);
  return OpenSerial(portText, target, portSettings);
}

bool CommLink::OpenSerial(const std::string& portText, const LinkTarget& target,
                          const std::string& portSettings, bool quiet) {
  networkLink_ = false;
  boxLost_ = false;
  CloseTcp();
  const std::string failure = "NetCallerID OpenCommPort " + portText;
  if (!target.Usable()) {
    serialLost_ = false;
    LogFailure(failure, 1, target.reason);
    SetPortStatus(portText, false);
    return false;
  }
  if (com1_.isOpen() && serialDevice_ != target.device) CloseSerial();
  if (!com1_.isOpen()) {
    const PortSettingsResult line = ParsePortSettings(portSettings);
    if (!line.settings) {
      serialLost_ = false;
      LogFailure(failure, 2, line.reason);
      SetPortStatus(portText, false);
      return false;
    }
    com1_.setPortName(QFile::decodeName(QByteArray::fromStdString(target.device)));
    com1_.setBaudRate(line.settings->speed);
    com1_.setParity(ToQt(line.settings->parity));
    com1_.setDataBits(static_cast<QSerialPort::DataBits>(line.settings->dataBits));
    com1_.setStopBits(ToQt(line.settings->stopBits));
    com1_.setFlowControl(QSerialPort::NoFlowControl);
    // The UUCP lock tells other programs (and another copy of this one) that the
    // device is taken; a device another process holds is left alone.
    if (!uucpLock_) uucpLock_ = std::make_unique<UucpLock>(lockFolder_);
    const UucpLockResult lock = uucpLock_->Acquire(target.device);
    if (!lock.Locked() && lockReport_ != lock.Describe()) {
      lockReport_ = lock.Describe();
      Log(lockReport_);
    }
    if (lock.outcome == UucpLockOutcome::HeldByOther) {
      SetPortStatus(portText, false);
      return false;
    }
    if (!com1_.open(QIODevice::ReadWrite)) {
      uucpLock_->Release();
      if (!quiet) LogFailure(failure, 3, ToLocal(com1_.errorString()));
      SetPortStatus(portText, false);
      return false;
    }
    lockReport_.clear();
    serialDevice_ = target.device;
  }
  SetPortStatus(portText, true);
  if (serialLost_) LinkBack("Modem Comm Port " + portText);
  return true;
}

void CommLink::SerialLost() {
  if (IsShuttingDown()) return;
  if (!serialLost_) {
    serialRetryDelay_ = serialRetryFirst_;
    const LinkTarget target = ParseCommPort(settings_.CIDCommPort);
    const QString device = QFile::decodeName(QByteArray::fromStdString(target.device));
    const qsizetype slash = device.lastIndexOf(QLatin1Char('/'));
    if (slash > 0) deviceFolder_.addPath(device.left(slash));
  }
  serialLost_ = true;
  serialRetryTimer_.start(serialRetryDelay_);
}

void CommLink::StopSerialRetry() {
  serialRetryTimer_.stop();
  quickTries_ = 0;
  const QStringList folders = deviceFolder_.directories();
  if (!folders.isEmpty()) deviceFolder_.removePaths(folders);
}

void CommLink::OnDeviceFolderChanged() {
  if (!serialLost_ || networkLink_ || IsShuttingDown()) return;
  // A device node may appear before its permissions are set: a second try follows.
  quickTries_ = 2;
  if (!serialRetryTimer_.isActive() || serialRetryTimer_.remainingTime() > kQuickRetryMs)
    serialRetryTimer_.start(kQuickRetryMs);
}

void CommLink::OnSerialRetry() {
  if (!serialLost_ || networkLink_ || IsShuttingDown()) return;
  const std::string port = settings_.CIDCommPort;
  const LinkTarget target = ParseCommPort(port);
  if (target.kind != LinkKind::Serial) {
    serialLost_ = false;
    return;
  }
  tries_ = 0;
  if (OpenSerial(port, target, settings_.CIDPortString, true)) {
    if (!settings_.CIDModemInitString.empty()) ModemSend(settings_.CIDModemInitString + "\r\n");
    return;
  }
  if (!serialLost_) return;  // the settings no longer name a usable device
  if (quickTries_ > 0 && --quickTries_ > 0) {
    serialRetryTimer_.start(kQuickRetryMs * 10);
    return;
  }
  serialRetryDelay_ = std::min(serialRetryDelay_ * 2, serialRetryMax_);
  serialRetryTimer_.start(serialRetryDelay_);
}

void CommLink::BoxLost() {
  if (IsShuttingDown()) return;
  if (boxLost_) {
    if (!reconnectTimer_.isActive()) reconnectTimer_.start(boxRetryDelay_);
    return;
  }
  boxLost_ = true;
  // Later failures are not reported one by one: one line when the box is back.
  errorReports_ = kReportLimit;
  boxRetryDelay_ = connectInterval_;
  reconnectTimer_.start(boxRetryDelay_);
}

void CommLink::LinkBack(const std::string& what) {
  serialLost_ = boxLost_ = false;
  StopSerialRetry();
  Log("xapvynCID " + what + " back");
}

bool CommLink::OpenTcp(const std::string& portText, const LinkTarget& target) {
  networkLink_ = true;
  serialLost_ = false;
  StopSerialRetry();
  CloseSerial();
  if (!target.Usable()) {
    LogFailure("NetCallerID OpenCommPort " + portText, 1, target.reason);
    SetPortStatus(portText, false);
    return false;
  }
  bool result = false;
  if (winsock2_.state() == QAbstractSocket::ConnectedState && tcpHost_ == target.host &&
      tcpPort_ == target.port) {
    result = true;
  } else if (connectWait_ == nullptr) {
    // (A call made while a connect wait is already running gives up at once
    // instead of restarting that wait from inside it.)
    reconnectTimer_.stop();
    tcpHost_ = target.host;
    tcpPort_ = static_cast<quint16>(target.port);
    connectTimer_.start(connectInterval_);
    StartConnect();
    if (winsock2_.state() == QAbstractSocket::ConnectedState) connectTimer_.stop();
    if (connectTimer_.isActive()) {
      QEventLoop wait;
      connectWait_ = &wait;
      wait.exec();
      connectWait_ = nullptr;
    }
    result = winsock2_.state() == QAbstractSocket::ConnectedState;
    if (!result) {
      connectTimer_.stop();
      if (!IsShuttingDown()) {
        Log("Unable to connect to CM11A via TCP " + portText);
        BoxLost();
      }
    }
  }
  SetPortStatus(portText, result);
  return result;
}

void CommLink::StartConnect() {
  ownClose_ = true;
  winsock2_.abort();
  ownClose_ = false;
  tcpEstablished_ = false;
  winsock2_.connectToHost(
      QString::fromLatin1(tcpHost_.data(), static_cast<qsizetype>(tcpHost_.size())), tcpPort_);
}

void CommLink::ScheduleReconnect(int delayMs) {
  if (IsShuttingDown()) return;
  if (reconnectTimer_.isActive() && reconnectTimer_.remainingTime() <= delayMs) return;
  reconnectTimer_.start(delayMs);
}

void CommLink::CloseSerial() {
  if (com1_.isOpen()) com1_.close();
  if (uucpLock_) uucpLock_->Release();
  serialDevice_.clear();
}

void CommLink::CloseTcp() {
  connectTimer_.stop();
  reconnectTimer_.stop();
  if (connectWait_) connectWait_->quit();
  ownClose_ = true;
  winsock2_.abort();
  ownClose_ = false;
}

void CommLink::ClosePort() {
  CloseSerial();
  CloseTcp();
  serialLost_ = boxLost_ = false;
  StopSerialRetry();
  restTimer_.stop();
}

void CommLink::ModemSend(const std::string& text) {
  if (!PortOpen(settings_.CIDCommPort)) {
    Log("Unable to Send to NetCallerID, Port not open");
    return;
  }
  traffic_.AppendSent(text);
  ScrollEchoWindows();
  const QByteArray bytes(text.data(), static_cast<qsizetype>(text.size()));
  if (networkLink_) {
    closeReports_ = 0;
    if (winsock2_.write(bytes) < 0) LogFailure("ModemSend: ", 3, ToLocal(winsock2_.errorString()));
  } else {
    if (com1_.write(bytes) < 0) LogFailure("ModemSend: ", 3, ToLocal(com1_.errorString()));
  }
}

void CommLink::ProcessCommData(const std::string& text, int eventCode) {
  // Received text is cut and parsed first, so a call it completes is announced before the
  // traffic texts are written; the parser's notes made meanwhile are held and follow the
  // text, in the order they always had.
  const bool received = eventCode == 2;
  const bool outer = holdTraffic_;
  CommBuffer::FeedResult fed;
  if (received) {
    holdTraffic_ = true;
    fed = buffer_.Feed(text, BufferRules(restDelay_ > 0), BufferSink());
    holdTraffic_ = outer;
  }
  traffic_.AppendEventCode(eventCode);
  traffic_.AppendReceived(text, clock_ ? clock_() : std::string());
  if (!outer && !heldTraffic_.empty()) {
    traffic_.AppendCommData(heldTraffic_);
    heldTraffic_.clear();
  }
  ScrollEchoWindows();
  if (!received) return;
  if (fed.dropped > 0)
    Log("ProcessCommData receive buffer full: " + std::to_string(fed.dropped) +
        " characters without line end dropped");
  if (fed.restWaiting)
    restTimer_.start(restDelay_);
  else
    restTimer_.stop();
}

void CommLink::InitLink() {
  const std::string port = settings_.CIDCommPort;
  if (PortOpen(port)) {
    if (!settings_.CIDModemInitString.empty()) ModemSend(settings_.CIDModemInitString + "\r\n");
    if (!openedReported_) {
      Log("xapvynCID Modem Comm Port " + port + " Opened");
      openedReported_ = true;
    }
  } else if (!IsShuttingDown()) {
    Log("Error Opening xapvynCID Modem Comm Port number  " + port);
    openedReported_ = false;
    // A modem not plugged in yet is waited for like one that went away.
    if (!networkLink_ && ParseCommPort(port).kind == LinkKind::Serial &&
        ParseCommPort(port).Usable())
      SerialLost();
  }
}

CommBuffer::Rules CommLink::BufferRules(bool deferRest) const {
  CommBuffer::Rules rules;
  rules.insertModemCrLf = settings_.InsertModemCrLf;
  rules.numberPrefix = settings_.CIDNumberPrefix;
  rules.namePrefix = settings_.CIDNamePrefix;
  rules.deferRest = deferRest;
  return rules;
}

CommBuffer::Sink CommLink::BufferSink() {
  CommBuffer::Sink sink;
  sink.line = [this](const std::string& line) { parser_.DoModem(line); };
  sink.frame = [this](const std::string& frame) { parser_.DoModemNetCallerID(frame); };
  return sink;
}

void CommLink::SetPortStatus(const std::string& portText, bool open) {
  portStatus_ = PortStatusText(portText, open, tries_);
  emit PortStatusChanged();
}

void CommLink::Log(const std::string& text) { log_.Report("xapvynCID", text); }

void CommLink::LogFailure(const std::string& text, int location, const std::string& description) {
  if (log_.setError) log_.setError(location, description);
  if (log_.logEvent) log_.logEvent("xapvynCID", text);
}

void CommLink::OnSerialReadyRead() {
  // Read straight into the text the parser takes, without a QByteArray in between.
  std::string text(static_cast<std::size_t>(std::max<qint64>(com1_.bytesAvailable(), 0)), '\0');
  const qint64 got = com1_.read(text.data(), static_cast<qint64>(text.size()));
  text.resize(static_cast<std::size_t>(std::max<qint64>(got, 0)));
  ProcessCommData(text, 2);
}

void CommLink::OnSerialError(QSerialPort::SerialPortError error) {
  if (error == QSerialPort::NoError) return;
  ProcessCommData(std::string(), 1000 + static_cast<int>(error));
  if ((error == QSerialPort::ReadError || error == QSerialPort::ResourceError) && com1_.isOpen()) {
    // Left open, a port whose device went away reports the same error again
    // and again at full speed; closed, it waits for the next PortOpen.
    const std::string device = serialDevice_;
    const std::string description = ToLocal(com1_.errorString());
    CloseSerial();
    Log("CommERROR " + device + ": error " + std::to_string(1000 + static_cast<int>(error)) + " " +
        description + "; port closed");
    SerialLost();
  }
}

void CommLink::OnTcpConnected() {
  connectTimer_.stop();
  tcpEstablished_ = true;
  connectedAt_.start();
  errorReports_ = 0;
  if (connectWait_) connectWait_->quit();
  if (boxLost_) {
    reconnectTimer_.stop();
    LinkBack("network caller-ID box " + tcpHost_ + ":" + std::to_string(tcpPort_));
    if (!settings_.CIDModemInitString.empty()) ModemSend(settings_.CIDModemInitString + "\r\n");
  }
}

void CommLink::OnTcpReadyRead() {
  const std::string text = ToStd(winsock2_.readAll());
  if (text.empty()) return;
  ProcessCommData(text, 2);
  if (text.find("Port not available.") == std::string::npos) closeReports_ = 0;
}

void CommLink::OnTcpDisconnected() {
  if (ownClose_ || IsShuttingDown()) return;
  // Text that came with the close is still in the socket's buffer.
  if (winsock2_.bytesAvailable() > 0) OnTcpReadyRead();
  if (closeReports_ < kReportLimit) {
    ++closeReports_;
    Log("TCP Port Connect Closed");
  }
  // Reconnecting from inside the socket's own disconnect signal would be undone
  // by the socket's clean-up after it; the timer starts it right after. A box
  // that hangs up at once (its port busy, "Port not available.") is retried after
  // the connect interval, so the link does not spin connecting and closing.
  const bool quickClose = connectedAt_.isValid() && connectedAt_.elapsed() < kQuickCloseMs;
  ScheduleReconnect(quickClose ? connectInterval_ : 0);
}

void CommLink::OnTcpError(QAbstractSocket::SocketError error) {
  if (ownClose_ || IsShuttingDown()) return;
  // A peer close is reported and followed up by the disconnect handler.
  if (error == QAbstractSocket::RemoteHostClosedError) return;
  // While ConnectTimer runs it makes the next attempt itself.
  if (connectTimer_.isActive()) return;
  if (errorReports_ < kReportLimit) {
    ++errorReports_;
    Log("Winsock2_Error at State " + std::to_string(static_cast<int>(winsock2_.state())) + ", " +
        std::to_string(static_cast<int>(error)) + " " + ToLocal(winsock2_.errorString()));
  }
  // An established connection that broke is retried at once; a failed attempt
  // only after the connect interval, backing off, so an unreachable box is not
  // hammered. While the box is lost the retry timer is already running.
  if (boxLost_) return;
  if (tcpEstablished_)
    ScheduleReconnect(0);
  else
    BoxLost();
}

void CommLink::OnConnectTimer() {
  ++tries_;
  if (winsock2_.state() != QAbstractSocket::ConnectedState && tries_ < kConnectAttempts) {
    StartConnect();
  } else {
    connectTimer_.stop();
    if (connectWait_) connectWait_->quit();
  }
}
