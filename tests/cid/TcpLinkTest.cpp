// The TCP link against a real network caller-ID box on 127.0.0.1.
#include <gtest/gtest.h>

#include <QTcpServer>
#include <QTcpSocket>
#include <functional>
#include <string>

#include "CidRig.h"

namespace {

const std::string kFrame = "###DATE01011200...NMBR5551234567...NAMEJOE+++\r";

// A caller-ID box: answers each accepted connection with `onAccept`.
class Box {
 public:
  Box() {
    QObject::connect(&server_, &QTcpServer::newConnection, [this] {
      while (QTcpSocket* s = server_.nextPendingConnection()) {
        ++accepted;
        QObject::connect(s, &QTcpSocket::readyRead, [this, s] {
          const QByteArray b = s->readAll();
          received.append(b.constData(), static_cast<size_t>(b.size()));
        });
        QObject::connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
        last = s;
        if (onAccept) onAccept(s);
      }
    });
  }
  bool Listen(quint16 port = 0) {
    return server_.listen(QHostAddress(QHostAddress::LocalHost), port);
  }
  void Stop() { server_.close(); }
  quint16 Port() const { return server_.serverPort(); }
  std::string PortText() const { return "127.0.0.1:" + std::to_string(Port()); }

  std::function<void(QTcpSocket*)> onAccept;
  int accepted = 0;
  std::string received;
  QTcpSocket* last = nullptr;

 private:
  QTcpServer server_;
};

void SendAndClose(QTcpSocket* s, const std::string& text) {
  s->write(text.data(), static_cast<qint64>(text.size()));
  s->disconnectFromHost();
}

// A port on 127.0.0.1 where nothing listens.
quint16 ClosedPort() {
  QTcpServer probe;
  probe.listen(QHostAddress(QHostAddress::LocalHost), 0);
  const quint16 port = probe.serverPort();
  probe.close();
  return port;
}

class TcpLinkTest : public ::testing::Test {
 protected:
  CidRig rig;
};

TEST_F(TcpLinkTest, BoxThatAcceptsOpensTheLinkWithZeroTries) {
  Box box;
  ASSERT_TRUE(box.Listen());
  rig.settings.CIDCommPort = box.PortText();
  rig.link->InitLink();
  EXPECT_TRUE(rig.link->NetworkLink());
  EXPECT_EQ(rig.link->PortStatus(), "Port " + box.PortText() + " Open / 0 tries");
  EXPECT_EQ(rig.Count("xapvynCID Modem Comm Port " + box.PortText() + " Opened"), 1)
      << rig.AllLines();
  ASSERT_TRUE(WaitFor([&] { return box.received == "AT#CID=1\r\n"; })) << box.received;
  EXPECT_EQ(box.accepted, 1);
  // An open link is used as it is.
  EXPECT_TRUE(rig.link->PortOpen(rig.settings.CIDCommPort));
  Spin(50);
  EXPECT_EQ(box.accepted, 1);
}

TEST_F(TcpLinkTest, FrameThenCloseGivesACallAndReconnects) {
  Box box;
  ASSERT_TRUE(box.Listen());
  box.onAccept = [&](QTcpSocket* s) {
    if (box.accepted == 1) SendAndClose(s, kFrame);
  };
  rig.settings.CIDCommPort = box.PortText();
  ASSERT_TRUE(rig.link->PortOpen(rig.settings.CIDCommPort));
  ASSERT_TRUE(WaitFor([&] { return !rig.calls.empty() && box.accepted >= 2; })) << rig.AllLines();
  ASSERT_TRUE(
      WaitFor([&] { return rig.link->Winsock2().state() == QAbstractSocket::ConnectedState; }));
  Spin(50);
  ASSERT_EQ(rig.calls.size(), 1u);
  EXPECT_EQ(rig.calls[0].number, "(555) 123-4567");
  EXPECT_EQ(rig.calls[0].name, "JOE");
  EXPECT_EQ(rig.Count("TCP Port Connect Closed"), 1) << rig.AllLines();
  EXPECT_EQ(box.accepted, 2);
  EXPECT_EQ(rig.Count("Winsock2_Error"), 0) << rig.AllLines();
}

TEST_F(TcpLinkTest, PortNotAvailableClosesAreReportedThreeTimes) {
  Box box;
  ASSERT_TRUE(box.Listen());
  std::string answer = "Port not available.\r\n";
  box.onAccept = [&](QTcpSocket* s) { SendAndClose(s, answer); };
  rig.settings.CIDCommPort = box.PortText();
  rig.link->PortOpen(rig.settings.CIDCommPort);
  ASSERT_TRUE(WaitFor([&] { return box.accepted >= 8; })) << rig.AllLines();
  EXPECT_EQ(rig.Count("TCP Port Connect Closed"), 3) << rig.AllLines();

  // Text without that answer resets the count: the reports start again.
  answer = "hello\r\n";
  const int before = box.accepted;
  ASSERT_TRUE(WaitFor([&] { return box.accepted >= before + 3; }));
  EXPECT_GT(rig.Count("TCP Port Connect Closed"), 3);
}

TEST_F(TcpLinkTest, BoxThatHangsUpAtOnceIsNotHammered) {
  Box box;
  ASSERT_TRUE(box.Listen());
  box.onAccept = [&](QTcpSocket* s) { SendAndClose(s, "Port not available.\r\n"); };
  rig.link->SetConnectInterval(100);
  rig.settings.CIDCommPort = box.PortText();
  rig.link->PortOpen(rig.settings.CIDCommPort);
  Spin(600);
  // About one connection per interval; an immediate reconnect would make hundreds.
  EXPECT_GE(box.accepted, 3);
  EXPECT_LE(box.accepted, 10);
}

TEST_F(TcpLinkTest, BoxThatIsOffGetsSixAttemptsThenUnableToConnectThenBackoff) {
  const quint16 number = ClosedPort();
  const std::string port = "127.0.0.1:" + std::to_string(number);
  rig.settings.CIDCommPort = port;
  rig.settings.CIDModemInitString = "AT#CID=1";
  rig.link->SetBoxRetryMax(80);
  int attempts = 0;
  QObject::connect(&rig.link->Winsock2(), &QAbstractSocket::stateChanged,
                   [&](QAbstractSocket::SocketState s) {
                     if (s == QAbstractSocket::ConnectingState) ++attempts;
                   });
  rig.link->InitLink();
  EXPECT_EQ(attempts, 6);
  EXPECT_EQ(rig.link->ConnectTries(), 6);
  EXPECT_EQ(rig.Count("Unable to connect to CM11A via TCP " + port), 1) << rig.AllLines();
  EXPECT_EQ(rig.Count("Error Opening xapvynCID Modem Comm Port number  " + port), 1);
  EXPECT_EQ(rig.Count("Winsock2_Error"), 0) << rig.AllLines();
  EXPECT_EQ(rig.link->PortStatus(), "Port " + port + " Not Connected");
  // Having given up the wait, the link keeps trying by itself, backing off
  // (40, 80, 80 ... ms here), without a line per attempt.
  Spin(450);
  EXPECT_GE(attempts, 8);
  EXPECT_LE(attempts, 14);
  EXPECT_EQ(rig.lines.size(), 2u) << rig.AllLines();
  EXPECT_TRUE(rig.link->Retrying());

  // The box comes up: connected within the backoff, one line, the init string again.
  Box box;
  ASSERT_TRUE(box.Listen(number));
  ASSERT_TRUE(WaitFor([&] { return box.last != nullptr; }, 1000)) << rig.AllLines();
  EXPECT_EQ(rig.Count("xapvynCID network caller-ID box " + port + " back"), 1) << rig.AllLines();
  ASSERT_TRUE(WaitFor([&] { return box.received.find("AT#CID=1\r\n") != std::string::npos; }));
  EXPECT_FALSE(rig.link->Retrying());
  EXPECT_EQ(rig.lines.size(), 3u) << rig.AllLines();
}

TEST_F(TcpLinkTest, ReconnectGoesOnWhileTheBoxIsAwayWithoutAStorm) {
  Box box;
  ASSERT_TRUE(box.Listen());
  const quint16 port = box.Port();
  rig.settings.CIDCommPort = box.PortText();
  rig.link->SetBoxRetryMax(80);
  ASSERT_TRUE(rig.link->PortOpen(rig.settings.CIDCommPort));
  int attempts = 0;
  QObject::connect(&rig.link->Winsock2(), &QAbstractSocket::stateChanged,
                   [&](QAbstractSocket::SocketState s) {
                     if (s == QAbstractSocket::ConnectingState) ++attempts;
                   });
  ASSERT_TRUE(WaitFor([&] { return box.last != nullptr; }));
  box.Stop();
  box.last->disconnectFromHost();

  // Retries go on, from a connect interval (20 ms) apart backing off to 80 ms,
  // with one report of the close and one of the first failed attempt.
  Spin(400);
  EXPECT_GE(attempts, 5);
  EXPECT_LE(attempts, 12);
  EXPECT_EQ(rig.Count("TCP Port Connect Closed"), 1) << rig.AllLines();
  EXPECT_EQ(rig.Count("Winsock2_Error at State "), 1) << rig.AllLines();

  // The box comes back on the same port: the link finds it by itself.
  ASSERT_TRUE(box.Listen(port));
  ASSERT_TRUE(WaitFor([&] { return box.accepted == 2; })) << rig.AllLines();
  EXPECT_EQ(rig.Count("xapvynCID network caller-ID box"), 1) << rig.AllLines();
  box.last->write(kFrame.data(), static_cast<qint64>(kFrame.size()));
  ASSERT_TRUE(WaitFor([&] { return !rig.calls.empty(); }));
}

TEST_F(TcpLinkTest, NoReconnectWhileShuttingDown) {
  Box box;
  ASSERT_TRUE(box.Listen());
  rig.settings.CIDCommPort = box.PortText();
  ASSERT_TRUE(rig.link->PortOpen(rig.settings.CIDCommPort));
  ASSERT_TRUE(WaitFor([&] { return box.last != nullptr; }));
  rig.shuttingDown = true;
  box.last->disconnectFromHost();
  Spin(150);
  EXPECT_EQ(box.accepted, 1);
  EXPECT_EQ(rig.Count("TCP Port Connect Closed"), 0);
}

TEST_F(TcpLinkTest, ClosePortStopsTheLink) {
  Box box;
  ASSERT_TRUE(box.Listen());
  rig.settings.CIDCommPort = box.PortText();
  ASSERT_TRUE(rig.link->PortOpen(rig.settings.CIDCommPort));
  rig.link->ClosePort();
  EXPECT_EQ(rig.link->Winsock2().state(), QAbstractSocket::UnconnectedState);
  Spin(150);
  EXPECT_EQ(box.accepted, 1);
  EXPECT_EQ(rig.Count("TCP Port Connect Closed"), 0);
}

TEST_F(TcpLinkTest, PortThatIsNotANumberIsLogged) {
  rig.settings.CIDCommPort = "127.0.0.1:abc";
  EXPECT_FALSE(rig.link->PortOpen(rig.settings.CIDCommPort));
  EXPECT_EQ(rig.Count("NetCallerID OpenCommPort 127.0.0.1:abc Line 1 TCP port"), 1)
      << rig.AllLines();
  EXPECT_EQ(rig.link->PortStatus(), "Port 127.0.0.1:abc Not Connected");
}

}  // namespace
