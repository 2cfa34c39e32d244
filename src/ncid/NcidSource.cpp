#include "ncid/NcidSource.h"

#include <algorithm>

#include "ncid/NcidProtocol.h"

NcidSource::NcidSource(std::string host, int port, Log log, QObject* parent)
    : QObject(parent), host_(std::move(host)), port_(port), log_(std::move(log)) {
  retryTimer_.setSingleShot(true);
  connectTimer_.setSingleShot(true);
  // Bounds what one turn of the event loop reads from a server that floods.
  socket_.setReadBufferSize(64 * 1024);
  connect(&retryTimer_, &QTimer::timeout, this, &NcidSource::Connect);
  connect(&keepAliveTimer_, &QTimer::timeout, this, &NcidSource::OnKeepAlive);
  connect(&connectTimer_, &QTimer::timeout, this, &NcidSource::OnConnectTimeout);
  connect(&socket_, &QTcpSocket::connected, this, &NcidSource::OnConnected);
  connect(&socket_, &QTcpSocket::readyRead, this, &NcidSource::OnReadyRead);
  connect(&socket_, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError) {
    lastError_ = socket_.errorString().toStdString();
  });
  connect(&socket_, &QTcpSocket::stateChanged, this, [this](QAbstractSocket::SocketState s) {
    if (s == QAbstractSocket::UnconnectedState) OnUnconnected();
  });
}

NcidSource::~NcidSource() {
  running_ = false;
  disconnect(&socket_, nullptr, this, nullptr);
  socket_.abort();
}

std::string NcidSource::Target() const {
  const bool v6 = host_.find(':') != std::string::npos;
  return (v6 ? "[" + host_ + "]" : host_) + ":" + std::to_string(port_);
}

std::string NcidSource::State() const {
  if (!running_) return "NCID source stopped (" + Target() + ")";
  switch (socket_.state()) {
    case QAbstractSocket::ConnectedState:
      return "NCID source connected to " + Target();
    case QAbstractSocket::UnconnectedState:
      return "NCID source waiting to reconnect to " + Target() +
             (lastError_.empty() ? std::string() : " (" + lastError_ + ")");
    default:
      return "NCID source connecting to " + Target();
  }
}

void NcidSource::Start() {
  if (running_) return;
  running_ = true;
  nextRetryMs_ = retryFirstMs_;
  Connect();
}

void NcidSource::Stop() {
  running_ = false;
  retryTimer_.stop();
  keepAliveTimer_.stop();
  connectTimer_.stop();
  socket_.abort();
  up_ = false;
  downReported_ = false;
}

void NcidSource::Connect() {
  if (!running_ || socket_.state() != QAbstractSocket::UnconnectedState) return;
  lastError_.clear();
  cutter_.Clear();
  overlongLogged_ = false;
  connectTimer_.start(connectTimeoutMs_);
  socket_.connectToHost(QString::fromStdString(host_), static_cast<quint16>(port_));
}

void NcidSource::OnConnected() {
  connectTimer_.stop();
  nextRetryMs_ = retryFirstMs_;
  socket_.setSocketOption(QAbstractSocket::LowDelayOption, 1);
  socket_.setSocketOption(QAbstractSocket::KeepAliveOption, 1);
  keepAliveTimer_.start(keepAliveMs_);
  if (!up_) Report("NCID source: connected to " + Target());
  up_ = true;
  downReported_ = false;
}

void NcidSource::OnUnconnected() {
  connectTimer_.stop();
  keepAliveTimer_.stop();
  if (!running_) return;
  // A failed connect sets the error before the state change but reports it after.
  if (lastError_.empty() && socket_.error() != QAbstractSocket::UnknownSocketError)
    lastError_ = socket_.errorString().toStdString();
  const std::string why = lastError_.empty() ? std::string() : " (" + lastError_ + ")";
  if (up_) {
    Report("NCID source: lost the link to " + Target() + why + "; reconnecting");
    up_ = false;
    downReported_ = true;
  } else if (!downReported_) {
    Report("NCID source: cannot connect to " + Target() + why + "; retrying");
    downReported_ = true;
  }
  if (retryTimer_.isActive()) return;
  retryTimer_.start(nextRetryMs_);
  nextRetryMs_ = std::min(nextRetryMs_ * 2, std::max(retryMaxMs_, retryFirstMs_));
}

void NcidSource::OnReadyRead() {
  const QByteArray bytes = socket_.readAll();
  const ncid::LineCutter::FeedResult fed =
      cutter_.Feed(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())),
                   [this](std::string_view line) {
                     if (!running_) return;
                     if (auto call = ncid::ParseCidLine(line))
                       emit callReceived(call->number, call->name);
                   });
  if (fed.overlong > 0 && !overlongLogged_ && running_) {
    overlongLogged_ = true;
    Report("NCID source: dropped a line of over " + std::to_string(ncid::LineCutter::kMaxLine) +
           " bytes from " + Target());
  }
}

void NcidSource::OnKeepAlive() {
  if (!Connected()) return;
  socket_.write("\n", 1);
  socket_.flush();
}

void NcidSource::OnConnectTimeout() {
  if (Connected()) return;
  lastError_ = "no answer within " + std::to_string(connectTimeoutMs_) + " ms";
  socket_.abort();
}

void NcidSource::Report(const std::string& text) const {
  if (log_) log_(text);
}
