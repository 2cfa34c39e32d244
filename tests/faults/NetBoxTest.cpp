// A network caller-ID box that drops the connection every few seconds for a minute,
// sending one caller-ID frame on each connection: the program reconnects each time,
// does not crash, and announces every call the box sent.
#include <gtest/gtest.h>

#include <QTcpSocket>
#include <set>

#include "FaultRig.h"

namespace faults {
namespace {

constexpr int kRunMs = 60000;
constexpr int kConnectionMs = 3000;

std::string Digits(const std::string& s) {
  std::string out;
  for (char c : s)
    if (c >= '0' && c <= '9') out += c;
  return out;
}

// The box: each accepted connection gets one frame and is closed kConnectionMs
// later. Every third connection sends its frame just before the close, so the
// text arrives together with the end of the connection.
class DroppingBox : public QObject {
 public:
  DroppingBox() {
    server_.listen(QHostAddress(QHostAddress::LocalHost), 0);
    connect(&server_, &QTcpServer::newConnection, this, [this] { Accept(); });
  }
  quint16 Port() const { return server_.serverPort(); }
  // Stops dropping: the connection open now stays up, new ones get no frame.
  void Stop() { stopped_ = true; }

  std::vector<std::string> sent;  // numbers, in order
  int connections = 0;

 private:
  void Accept() {
    while (QTcpSocket* s = server_.nextPendingConnection()) {
      connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
      if (stopped_) continue;
      ++connections;
      const std::string number = "555" + std::to_string(1000000 + connections);
      const bool late = connections % 3 == 0;
      auto send = [this, s, number] {
        sent.push_back(number);
        s->write(QByteArray::fromStdString(NetFrame(number, "BOX CALL")));
      };
      if (!late) send();
      QTimer::singleShot(kConnectionMs, s, [this, s, late, send] {
        if (stopped_) return;
        if (late) send();
        s->disconnectFromHost();
      });
    }
  }

  QTcpServer server_;
  bool stopped_ = false;
};

TEST(NetBox, EveryCallFromABoxThatKeepsDroppingIsAnnounced) {
  Hub hub;
  ASSERT_TRUE(hub.Bound()) << "127.0.0.1:3639 is in use";
  DroppingBox box;
  ASSERT_NE(box.Port(), 0);
  Program p("OCID=0\r\nCIDCommPort=127.0.0.1:" + std::to_string(box.Port()) + "\r\n");
  ASSERT_TRUE(p.Start());
  ASSERT_TRUE(Wait([&] { return hub.CountEvents(" Opened") == 1; }, 10000)) << p.stderrText;

  QElapsedTimer run;
  run.start();
  while (run.elapsed() < kRunMs) {
    Pause(500);
    ASSERT_TRUE(p.Running()) << p.stderrText;
  }
  box.Stop();
  const std::size_t sent = box.sent.size();
  ASSERT_TRUE(Wait([&] { return hub.Phones().size() >= sent; }, 5000))
      << hub.Phones().size() << " of " << sent << " calls announced\n"
      << p.stderrText;
  Pause(500);

  // A new connection after each drop, each with its call (a little slack for a busy machine).
  EXPECT_GE(box.connections, kRunMs / kConnectionMs * 3 / 4);
  std::multiset<std::string> announced;
  for (const std::string& phone : hub.Phones()) announced.insert(Digits(phone));
  EXPECT_EQ(announced, std::multiset<std::string>(box.sent.begin(), box.sent.end()));
  EXPECT_EQ(p.Terminate(2000), 0);
}

}  // namespace
}  // namespace faults
