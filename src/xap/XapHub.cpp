#include "xap/XapHub.h"

#include <QHostAddress>
#include <QNetworkDatagram>
#include <chrono>

XapHub::XapHub(Config config, QObject* parent)
    : QObject(parent), config_(std::move(config)), socket_(this), out_(this) {
  connect(&socket_, &QUdpSocket::readyRead, this, &XapHub::Relay);
}

XapHub::~XapHub() = default;

std::int64_t XapHub::Now() const {
  if (clock_) return clock_();
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

bool XapHub::Start() {
  socket_.close();
  const QHostAddress address(QString::fromStdString(config_.address));
  if (address.isNull()) return false;
  if (!socket_.bind(address, config_.port, QAbstractSocket::DontShareAddress)) {
    socket_.close();
    return false;
  }
  return true;
}

void XapHub::Close() {
  socket_.close();
  out_.close();
}

void XapHub::Relay() {
  const QHostAddress local(QHostAddress::LocalHost);
  for (int n = 0; n < kDatagramsPerPass && socket_.hasPendingDatagrams(); ++n) {
    const QNetworkDatagram d = socket_.receiveDatagram();
    if (!d.isValid()) break;
    const QByteArray& bytes = d.data();
    const std::string_view text(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    const std::int64_t now = Now();
    // Only applications on this machine register: a heartbeat from elsewhere is relayed only.
    bool mapped = false;
    const QHostAddress sender(d.senderAddress().toIPv4Address(&mapped));
    if (mapped && (sender.isLoopback() || sender == socket_.localAddress()))
      table_.Heard(text, now);
    for (const std::uint16_t port : table_.Ports(now))
      out_.writeDatagram(bytes.constData(), bytes.size(), local, port);
  }
  // The rest waits for the next pass; the socket reports it again.
}
