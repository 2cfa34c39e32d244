// The reverse-lookup server answering slowly, with garbage, or not at all: every
// call with an unknown ten-digit number starts a lookup, and every call goes on
// being announced at once, whatever the server does with the lookups.
#include <gtest/gtest.h>

#include <QTcpSocket>
#include <random>

#include "FaultRig.h"

namespace faults {
namespace {

enum class Behaviour { Slow, GarbageBytes, GarbageHttp, Silent, Refused };

// The stand-in for the reverse-lookup service on 127.0.0.1.
class LookupServer : public QObject {
 public:
  static constexpr int kSlowMs = 3000;

  explicit LookupServer(Behaviour b) : behaviour_(b) {
    server_.listen(QHostAddress(QHostAddress::LocalHost), 0);
    port_ = server_.serverPort();
    // Refused: the port was free a moment ago and nothing listens on it now.
    if (b == Behaviour::Refused) server_.close();
    connect(&server_, &QTcpServer::newConnection, this, [this] { Accept(); });
  }
  std::string BaseURL() const { return "http://127.0.0.1:" + std::to_string(port_); }

  int requests = 0;

 private:
  void Accept() {
    while (QTcpSocket* s = server_.nextPendingConnection()) {
      connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
      auto head = std::make_shared<QByteArray>();
      connect(s, &QTcpSocket::readyRead, s, [this, s, head] {
        if (head->contains("\r\n\r\n")) return;
        head->append(s->readAll());
        if (head->contains("\r\n\r\n")) Answer(s);
      });
    }
  }
  void Answer(QTcpSocket* s) {
    ++requests;
    switch (behaviour_) {
      case Behaviour::Slow:
        QTimer::singleShot(kSlowMs, s, [s] {
          const QByteArray page =
              "<html><B>Reverse Telephone Listings</B><p><B>DOE, JANE</B></p></html>";
          s->write(
              "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nConnection: close\r\n"
              "Content-Length: " +
              QByteArray::number(page.size()) + "\r\n\r\n" + page);
          s->disconnectFromHost();
        });
        break;
      case Behaviour::GarbageBytes:
        s->write(Garbage(4096));
        s->disconnectFromHost();
        break;
      case Behaviour::GarbageHttp: {
        // A valid head, then a body that is neither the promised length nor a page.
        s->write("HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: 100000\r\n\r\n" +
                 Garbage(3000));
        QTimer::singleShot(200, s, [s] { s->disconnectFromHost(); });
        break;
      }
      case Behaviour::Silent:
      case Behaviour::Refused:
        break;  // the request is read and never answered; the connection stays open
    }
  }
  QByteArray Garbage(int n) {
    QByteArray out;
    for (int i = 0; i < n; ++i) out += static_cast<char>(random_() & 0xff);
    return out;
  }

  Behaviour behaviour_;
  QTcpServer server_;
  quint16 port_ = 0;
  std::mt19937 random_{7};
};

struct Row {
  const char* name;
  Behaviour behaviour;
};

TEST(ReverseLookupFaults, CallsGoOnBeingAnnouncedAtOnce) {
  const Row rows[] = {
      {"Slow", Behaviour::Slow},
      {"GarbageBytes", Behaviour::GarbageBytes},
      {"GarbageHttp", Behaviour::GarbageHttp},
      {"Silent", Behaviour::Silent},
      {"Refused", Behaviour::Refused},
  };
  constexpr int kCalls = 5;
  constexpr int kCallGapMs = 400;
  // Well under every time-out of the lookup (3 s slow answers, the 45 s watchdog).
  constexpr int kAtOnceMs = 1000;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Hub hub;
    ASSERT_TRUE(hub.Bound()) << "127.0.0.1:3639 is in use";
    LookupServer server(row.behaviour);
    Modem modem;
    ASSERT_FALSE(modem.device.empty());
    Program p("OCID=0\r\nOutlook=0\r\nCIDCommPort=" + modem.device + "\r\n",
              "[ReverseLookup]\r\nBaseURL=" + server.BaseURL() + "\r\n");
    ASSERT_TRUE(p.Start());
    ASSERT_TRUE(modem.WaitText("AT#CID=1\r\n", 5000));

    qint64 slowest = 0;
    for (int i = 0; i < kCalls; ++i) {
      const std::string number = "20155501" + std::to_string(10 + i);
      const std::size_t before = hub.messages.size();
      QElapsedTimer rung;
      rung.start();
      ASSERT_TRUE(modem.Write(RingText(number, "CALLER " + std::to_string(i))));
      ASSERT_TRUE(Wait([&] { return !hub.Phones(before).empty(); }, kAtOnceMs))
          << "call " << i << " not announced within " << kAtOnceMs << " ms\n"
          << p.stderrText;
      slowest = std::max(slowest, rung.elapsed());
      EXPECT_EQ(hub.Phones(before)[0], number);
      Pause(kCallGapMs);
    }
    RecordProperty(std::string(row.name) + "SlowestAnnounceMs", static_cast<int>(slowest));
    if (row.behaviour != Behaviour::Refused) {
      // (The HTTP client may send a request again once when the server broke the answer off.)
      EXPECT_GE(server.requests, kCalls) << "every unknown number starts a lookup";
    }
    if (row.behaviour == Behaviour::Slow) {
      // Each call cancels the lookup before it; the last one is answered and the
      // call is announced a second time under the listed name.
      ASSERT_TRUE(
          Wait([&] { return hub.Phones().size() == kCalls + 1; }, LookupServer::kSlowMs + 2000));
      const std::string again = hub.OfClass("CID.Incoming").back();
      EXPECT_EQ(Item(again, "CID.Incoming", "Name"), "JANE DOE");
      EXPECT_NE(Item(again, "CID.Incoming", "Phone").find("0114"), std::string::npos) << again;
    } else {
      Pause(500);
      EXPECT_EQ(hub.Phones().size(), static_cast<std::size_t>(kCalls));
    }
    EXPECT_TRUE(p.Running());
    EXPECT_EQ(p.Terminate(2000), 0);
  }
}

}  // namespace
}  // namespace faults
