#pragma once
// Helpers for tests on loopback: a UDP listener on a free port, waiting on the
// event loop, and finding runs of free UDP ports.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QNetworkDatagram>
#include <QUdpSocket>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// Runs the event loop until pred() holds or timeoutMs passes; returns pred().
inline bool WaitFor(const std::function<bool()>& pred, int timeoutMs = 3000) {
  QElapsedTimer t;
  t.start();
  while (!pred() && t.elapsed() < timeoutMs)
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  return pred();
}

// Keeps the event loop running for ms milliseconds.
inline void Spin(int ms) {
  QElapsedTimer t;
  t.start();
  while (t.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

// Collects every datagram sent to it, in arrival order.
class UdpCollector {
 public:
  explicit UdpCollector(quint16 port = 0) {
    socket_.bind(QHostAddress(QHostAddress::LocalHost), port, QAbstractSocket::DontShareAddress);
    QObject::connect(&socket_, &QUdpSocket::readyRead, [this] {
      while (socket_.hasPendingDatagrams()) {
        QByteArray d = socket_.receiveDatagram().data();
        messages.emplace_back(d.constData(), static_cast<std::size_t>(d.size()));
      }
    });
  }
  bool Bound() const { return socket_.state() == QAbstractSocket::BoundState; }
  quint16 Port() const { return socket_.localPort(); }
  bool WaitCount(std::size_t n, int timeoutMs = 3000) {
    return WaitFor([&] { return messages.size() >= n; }, timeoutMs);
  }
  std::vector<std::string> messages;

 private:
  QUdpSocket socket_;
};

// Sends one datagram to 127.0.0.1:port.
inline void SendUdp(quint16 port, const std::string& text) {
  QUdpSocket s;
  s.writeDatagram(text.data(), static_cast<qint64>(text.size()), QHostAddress(QHostAddress::LocalHost), port);
}

// Binds `count` consecutive UDP ports on 127.0.0.1 starting at the returned
// port, holding them in `holders`, so a search from there finds them all taken.
inline quint16 TakeUdpPorts(int count, std::vector<std::unique_ptr<QUdpSocket>>& holders,
                            quint16 from = 41000) {
  for (quint16 base = from; base < 60000; base = static_cast<quint16>(base + count + 7)) {
    holders.clear();
    bool ok = true;
    for (int i = 0; i < count && ok; ++i) {
      auto s = std::make_unique<QUdpSocket>();
      ok = s->bind(QHostAddress(QHostAddress::LocalHost), static_cast<quint16>(base + i),
                   QAbstractSocket::DontShareAddress);
      holders.push_back(std::move(s));
    }
    if (ok) return base;
  }
  holders.clear();
  return 0;
}
