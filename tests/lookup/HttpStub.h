#pragma once
// HttpStub: a small HTTP/1.1 server on 127.0.0.1 for the reverse-lookup tests. It
// reads each request's head, records its path and answers it as the handler says:
// at once, after a delay, or never (the connection is then left open). Every
// answer closes its connection.
#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class HttpStub : public QObject {
 public:
  struct Answer {
    bool respond = true;
    int delayMs = 0;
    int status = 200;
    std::string body;
  };
  using Handler = std::function<Answer(const std::string& path)>;

  HttpStub() {
    server_.listen(QHostAddress(QHostAddress::LocalHost), 0);
    QObject::connect(&server_, &QTcpServer::newConnection, this, [this] { Accept(); });
  }

  bool Listening() const { return server_.isListening(); }
  std::string BaseURL() const { return "http://127.0.0.1:" + std::to_string(server_.serverPort()); }

  Handler handler = [](const std::string&) { return Answer{}; };
  std::vector<std::string> paths;  // every request's path, in arrival order
  int closedByClient = 0;          // connections the client closed before an answer

 private:
  void Accept() {
    while (QTcpSocket* s = server_.nextPendingConnection()) {
      auto head = std::make_shared<QByteArray>();
      auto answered = std::make_shared<bool>(false);
      auto handled = std::make_shared<bool>(false);
      QObject::connect(s, &QTcpSocket::readyRead, this, [this, s, head, answered, handled] {
        head->append(s->readAll());
        if (*handled || !head->contains("\r\n\r\n")) return;
        *handled = true;
        const QList<QByteArray> parts = head->left(head->indexOf("\r\n")).split(' ');
        const std::string path = parts.size() > 1 ? parts[1].toStdString() : std::string();
        paths.push_back(path);
        const Answer a = handler(path);
        if (!a.respond) return;
        auto send = [s, a, answered] {
          *answered = true;
          QByteArray reply = "HTTP/1.1 " + QByteArray::number(a.status) + " X\r\n";
          reply += "Content-Type: text/html\r\nConnection: close\r\nContent-Length: ";
          reply += QByteArray::number(static_cast<qsizetype>(a.body.size())) + "\r\n\r\n";
          reply += QByteArray(a.body.data(), static_cast<qsizetype>(a.body.size()));
          s->write(reply);
          s->disconnectFromHost();
        };
        if (a.delayMs > 0) {
          QTimer::singleShot(a.delayMs, s, send);
        } else {
          send();
        }
      });
      QObject::connect(s, &QTcpSocket::disconnected, this, [this, s, answered] {
        if (!*answered) ++closedByClient;
        s->deleteLater();
      });
    }
  }

  QTcpServer server_;
};

// A page in the layout of the reverse-lookup service, listing one name.
inline std::string ListingPage(const std::string& listing) {
  return "<HTML><BODY><H1>Results</H1><B>Reverse Telephone Listings</B>"
         "<TABLE><TR><TD><B>" +
         listing + "</B><BR>1 Main St</TD></TR></TABLE></BODY></HTML>";
}
