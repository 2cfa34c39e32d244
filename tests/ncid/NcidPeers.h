#pragma once
// Small NCID peers for the tests, on 127.0.0.1: a client that keeps every line it gets, a
// client that never reads, and a server that sends what the test tells it to.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QTcpServer>
#include <QTcpSocket>
#include <string>
#include <vector>

#include "Loopback.h"

// A client as NCID clients behave: it answers the "210" line with its HELLO lines (if any)
// and keeps each line it receives, without the CR LF. A line that ends in LF alone counts in
// badEnds.
class TestNcidClient {
 public:
  explicit TestNcidClient(quint16 port, std::string hello = {}) : hello_(std::move(hello)) {
    QObject::connect(&socket, &QTcpSocket::readyRead, [this] { Read(); });
    socket.connectToHost(QHostAddress(QHostAddress::LocalHost), port);
  }

  void Send(const std::string& text) {
    socket.write(text.data(), static_cast<qint64>(text.size()));
    socket.flush();
  }
  bool WaitLines(std::size_t n, int timeoutMs = 3000) {
    return WaitFor([&] { return lines.size() >= n; }, timeoutMs);
  }
  // Waits for the end of the connection start.
  bool WaitStarted(int timeoutMs = 3000) {
    return WaitFor([&] { return Has("300 End of connection startup"); }, timeoutMs);
  }
  bool Has(const std::string& line) const {
    for (const auto& l : lines)
      if (l == line) return true;
    return false;
  }
  int CountPrefix(const std::string& prefix) const {
    int n = 0;
    for (const auto& l : lines)
      if (l.rfind(prefix, 0) == 0) ++n;
    return n;
  }
  bool Connected() const { return socket.state() == QAbstractSocket::ConnectedState; }

  QTcpSocket socket;
  std::vector<std::string> lines;
  int badEnds = 0;

 private:
  void Read() {
    const QByteArray b = socket.readAll();
    partial_.append(b.constData(), static_cast<std::size_t>(b.size()));
    std::size_t lf;
    while ((lf = partial_.find('\n')) != std::string::npos) {
      std::string line = partial_.substr(0, lf);
      partial_.erase(0, lf + 1);
      if (!line.empty() && line.back() == '\r')
        line.pop_back();
      else
        ++badEnds;
      lines.push_back(line);
      if (line.rfind("210 ", 0) == 0 && !hello_.empty()) Send(hello_);
    }
  }

  std::string hello_;
  std::string partial_;
};

// A client that connects and never reads, with a small receive buffer so that little fits
// into the system's buffers before the server has to hold the rest. Without `wait` the
// connect is only started (connected tells nothing then).
class SilentClient {
 public:
  explicit SilentClient(quint16 port, bool wait = true) {
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    if (!wait) ::fcntl(fd_, F_SETFL, O_NONBLOCK);
    int size = 1024;
    ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    connected = ::connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
  }
  ~SilentClient() {
    if (fd_ >= 0) ::close(fd_);
  }
  SilentClient(const SilentClient&) = delete;
  SilentClient& operator=(const SilentClient&) = delete;
  bool connected = false;

 private:
  int fd_ = -1;
};

// An NCID server of the test: sends `greeting` to each client it accepts, then whatever
// Broadcast is given; keeps what clients send in `received`.
class TestNcidServer {
 public:
  TestNcidServer() {
    QObject::connect(&server_, &QTcpServer::newConnection, [this] {
      while (QTcpSocket* s = server_.nextPendingConnection()) {
        ++accepted;
        clients_.push_back(s);
        QObject::connect(s, &QTcpSocket::readyRead, [this, s] {
          const QByteArray b = s->readAll();
          received.append(b.constData(), static_cast<std::size_t>(b.size()));
        });
        Write(s, greeting);
      }
    });
  }
  bool Listen(quint16 port = 0) {
    return server_.listen(QHostAddress(QHostAddress::LocalHost), port);
  }
  quint16 Port() const { return server_.serverPort(); }
  // Stops listening and drops every client, as a server that goes down.
  void Stop() {
    server_.close();
    for (QTcpSocket* s : clients_) {
      s->abort();
      s->deleteLater();
    }
    clients_.clear();
  }
  void Broadcast(const std::string& text) {
    for (QTcpSocket* s : clients_) Write(s, text);
  }
  int Connected() const {
    int n = 0;
    for (QTcpSocket* s : clients_)
      if (s->state() == QAbstractSocket::ConnectedState) ++n;
    return n;
  }

  std::string greeting =
      "200 Server: test ncidd\r\n210 API 1.0 Feature Set 1\r\n252 Call log empty\r\n"
      "300 End of connection startup\r\n";
  int accepted = 0;
  std::string received;

 private:
  static void Write(QTcpSocket* s, const std::string& text) {
    s->write(text.data(), static_cast<qint64>(text.size()));
    s->flush();
  }

  QTcpServer server_;
  std::vector<QTcpSocket*> clients_;
};
