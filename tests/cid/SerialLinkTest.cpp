// The serial link against a real pseudo-terminal standing in for the modem.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <ostream>
#include <string>

#include <QFile>
#include <QTemporaryDir>

#include "CidRig.h"
#include "cid/UucpLock.h"

namespace {

// A pseudo-terminal pair; the test talks through the master, the link opens
// the slave by its path.
class Pty {
 public:
  Pty() {
    if (openpty(&master_, &slave_, nullptr, nullptr, nullptr) != 0) return;
    termios tio{};
    tcgetattr(slave_, &tio);
    cfmakeraw(&tio);
    tcsetattr(slave_, TCSANOW, &tio);
    path_ = ttyname(slave_);
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
  }
  ~Pty() {
    CloseMaster();
    if (slave_ >= 0) close(slave_);
  }
  bool Ok() const { return master_ >= 0 && !path_.empty(); }
  const std::string& Path() const { return path_; }
  void Write(const std::string& text) {
    ASSERT_EQ(write(master_, text.data(), text.size()), static_cast<ssize_t>(text.size()));
  }
  void CloseMaster() {
    if (master_ >= 0) close(master_);
    master_ = -1;
  }
  // Reads from the master while the event loop runs until `expected` has
  // arrived or the time is up; returns everything read.
  std::string ReadUntil(const std::string& expected, int timeoutMs = 3000) {
    WaitFor(
        [&] {
          char buf[256];
          ssize_t n;
          while ((n = read(master_, buf, sizeof buf)) > 0) got_.append(buf, static_cast<size_t>(n));
          return got_.find(expected) != std::string::npos;
        },
        timeoutMs);
    return got_;
  }

 private:
  int master_ = -1;
  int slave_ = -1;
  std::string path_;
  std::string got_;
};

class SerialLinkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(pty.Ok());
    rig.settings.CIDCommPort = pty.Path();
  }
  Pty pty;
  CidRig rig;
};

TEST_F(SerialLinkTest, InitLinkOpensSendsInitStringAndReportsOnce) {
  rig.link->InitLink();
  EXPECT_EQ(rig.Count("xapvynCID Modem Comm Port " + pty.Path() + " Opened"), 1) << rig.AllLines();
  EXPECT_EQ(rig.link->PortStatus(), "Port " + pty.Path() + " Open / 0 tries");
  EXPECT_FALSE(rig.link->NetworkLink());
  EXPECT_NE(pty.ReadUntil("AT#CID=1\r\n").find("AT#CID=1\r\n"), std::string::npos);
  EXPECT_NE(rig.link->CommData().find("\r\n[Sent to Modem:     AT#CID=1<crlf> ]\r\n"),
            std::string::npos);

  rig.link->InitLink();
  EXPECT_EQ(rig.Count("xapvynCID Modem Comm Port "), 1);
  EXPECT_NE(pty.ReadUntil("AT#CID=1\r\nAT#CID=1\r\n").find("AT#CID=1\r\nAT#CID=1\r\n"),
            std::string::npos);
}

struct PiecesCase {
  const char* name;
  std::vector<std::string> pieces;
};
void PrintTo(const PiecesCase& c, std::ostream* os) { *os << c.name; }

class ModemCallTest : public SerialLinkTest, public ::testing::WithParamInterface<PiecesCase> {};

TEST_P(ModemCallTest, GivesExactlyOneCall) {
  ASSERT_TRUE(rig.link->PortOpen(rig.settings.CIDCommPort)) << rig.AllLines();
  for (const auto& piece : GetParam().pieces) {
    pty.Write(piece);
    Spin(15);
  }
  ASSERT_TRUE(WaitFor([&] { return !rig.calls.empty(); })) << rig.link->CommData();
  Spin(150);  // past Timer5 and the quiet time: nothing more may follow
  ASSERT_EQ(rig.calls.size(), 1u);
  EXPECT_EQ(rig.calls[0].number, "(555) 123-4567");
  EXPECT_EQ(rig.calls[0].name, "JOHN DOE");
  EXPECT_NE(rig.link->CommData().find("RING\r\n12:34:56 |  DATE = 0101"), std::string::npos);
  EXPECT_NE(rig.link->CommStatus().find("\r\n2"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ModemCallTest,
    ::testing::Values(PiecesCase{"AllAtOnce",
                                 {"RING\r\nDATE = 0101\r\nTIME = 1200\r\nNMBR = 5551234567\r\n"
                                  "NAME = JOHN DOE\r\nRING\r\n"}},
                      PiecesCase{"LineByLine",
                                 {"RING\r\n", "DATE = 0101\r\n", "TIME = 1200\r\n",
                                  "NMBR = 5551234567\r\n", "NAME = JOHN DOE\r\n", "RING\r\n"}},
                      PiecesCase{"PiecesCutInsideLines",
                                 {"RI", "NG\r", "\nDATE = 0101\r\nTIME = 1200\r\nNMB", "R = 555",
                                  "1234567", "\r\nNAME = JO", "HN DOE\r\n", "RING\r\n"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SerialLinkTest, NumberAloneCompletesAfterTimer5) {
  ASSERT_TRUE(rig.link->PortOpen(rig.settings.CIDCommPort));
  pty.Write("NMBR = 5551234567\r\n");
  ASSERT_TRUE(WaitFor([&] { return !rig.calls.empty(); }));
  EXPECT_EQ(rig.calls[0].number, "(555) 123-4567");
  EXPECT_EQ(rig.calls[0].name, "");
}

TEST_F(SerialLinkTest, NameWithoutLineEndIsTakenWhenTheDeviceGoesQuiet) {
  rig.link->SetRestDelay(40);
  rig.link->SetTimer5Interval(400);  // the quiet time is far shorter than Timer5
  ASSERT_TRUE(rig.link->PortOpen(rig.settings.CIDCommPort));
  pty.Write("NMBR = 5551234567\r\nNAME = JO");
  Spin(10);
  pty.Write("E");
  ASSERT_TRUE(WaitFor([&] { return !rig.calls.empty(); }));
  EXPECT_EQ(rig.calls[0].name, "JOE");
  EXPECT_EQ(rig.link->CommBufferText(), "");
}

TEST_F(SerialLinkTest, ClosedMasterIsLoggedOnceAndANewPortOpens) {
  ASSERT_TRUE(rig.link->PortOpen(rig.settings.CIDCommPort));
  pty.CloseMaster();
  ASSERT_TRUE(WaitFor([&] { return rig.Count("CommERROR ") > 0; })) << rig.link->CommStatus();
  Spin(300);
  EXPECT_EQ(rig.Count("CommERROR " + pty.Path()), 1) << rig.AllLines();
  EXPECT_FALSE(rig.link->Com1().isOpen());
  // The loss is one read or resource error in the status, not a storm of them; a quiet
  // reopen attempt of the gone device (another test's new terminal in /dev/pts wakes the
  // folder watch) may add a code or two.
  const std::string status(rig.link->CommStatus());
  const std::string read = "\r\n" + std::to_string(1000 + QSerialPort::ReadError);
  const std::string resource = "\r\n" + std::to_string(1000 + QSerialPort::ResourceError);
  EXPECT_TRUE(status.rfind(read, 0) == 0 || status.rfind(resource, 0) == 0) << status;
  EXPECT_LE(std::count(status.begin(), status.end(), '\n'), 5) << status;

  // The old device is gone: sending fails and says so.
  rig.link->ModemSend("AT\r\n");
  EXPECT_EQ(rig.Count("Unable to Send to NetCallerID, Port not open"), 1) << rig.AllLines();

  Pty second;
  ASSERT_TRUE(second.Ok());
  rig.settings.CIDCommPort = second.Path();
  ASSERT_TRUE(rig.link->PortOpen(rig.settings.CIDCommPort)) << rig.AllLines();
  second.Write("NMBR = 5551234567\r\nNAME = JANE\r\n");
  ASSERT_TRUE(WaitFor([&] { return !rig.calls.empty(); }));
  EXPECT_EQ(rig.calls[0].name, "JANE");
}

TEST_F(SerialLinkTest, ChangedPortSettingTakesEffectOnNextOpen) {
  ASSERT_TRUE(rig.link->PortOpen(rig.settings.CIDCommPort));
  Pty second;
  ASSERT_TRUE(second.Ok());
  rig.settings.CIDCommPort = second.Path();
  rig.link->ModemSend("ATZ\r\n");
  EXPECT_NE(second.ReadUntil("ATZ\r\n").find("ATZ\r\n"), std::string::npos);
  EXPECT_EQ(rig.link->PortStatus(), "Port " + second.Path() + " Open / 0 tries");
}

TEST_F(SerialLinkTest, MalformedPortStringIsAClearErrorAndThePortStaysClosed) {
  rig.settings.CIDPortString = "9600,x,8,1";
  rig.link->InitLink();
  EXPECT_FALSE(rig.link->Com1().isOpen());
  EXPECT_EQ(rig.Count("NetCallerID OpenCommPort " + pty.Path() +
                      " Line 2 CIDPortString \"9600,x,8,1\": parity"),
            1)
      << rig.AllLines();
  EXPECT_EQ(rig.Count("Error Opening xapvynCID Modem Comm Port number  " + pty.Path()), 1);
  EXPECT_EQ(rig.link->PortStatus(), "Port " + pty.Path() + " Not Connected");
}

TEST_F(SerialLinkTest, PortWithoutNumberCannotBeOpened) {
  for (const char* port : {"0", "COM3", ""}) {
    rig.settings.CIDCommPort = port;
    EXPECT_FALSE(rig.link->PortOpen(port));
  }
  rig.settings.CIDCommPort = "COM3";
  rig.link->InitLink();
  EXPECT_EQ(rig.Count("Error Opening xapvynCID Modem Comm Port number  COM3"), 1);
  rig.link->ModemSend("AT\r\n");
  EXPECT_EQ(rig.Count("Unable to Send to NetCallerID, Port not open"), 1);
  EXPECT_EQ(rig.link->CommData(), "");
}

TEST_F(SerialLinkTest, FullBufferIsDroppedWithOneLogLine) {
  ASSERT_TRUE(rig.link->PortOpen(rig.settings.CIDCommPort));
  pty.Write(std::string(1990, 'x'));
  ASSERT_TRUE(WaitFor([&] { return rig.link->CommBufferText().size() == 1990; }));
  pty.Write(std::string(20, 'x'));
  ASSERT_TRUE(WaitFor([&] { return rig.link->CommBufferText().size() == 2010; }));
  pty.Write("RING\r\n");
  ASSERT_TRUE(WaitFor([&] { return rig.Count("ProcessCommData receive buffer full") == 1; }));
  EXPECT_EQ(rig.link->CommBufferText(), "");
  pty.Write("NMBR = 5551234567\r\nNAME = JOE\r\n");
  ASSERT_TRUE(WaitFor([&] { return !rig.calls.empty(); }));
  EXPECT_NE(rig.link->CommData().find("RING"), std::string::npos);
}

// A call goes on before its text reaches the traffic view; the view then shows the text
// and the parser's notes in their usual order.
TEST_F(SerialLinkTest, CallGoesOnBeforeItsTextIsShown) {
  ASSERT_TRUE(rig.link->PortOpen(rig.settings.CIDCommPort));
  std::string shownAtCall;
  QObject::connect(rig.link.get(), &CommLink::callReceived,
                   [&](const CallerIdCall&) { shownAtCall = rig.link->CommData(); });
  pty.Write("NMBR = 5551234567\r\nNAME = JOE\r\n");
  ASSERT_TRUE(WaitFor([&] { return !rig.calls.empty(); }));
  EXPECT_EQ(shownAtCall.find("NAME = JOE"), std::string::npos) << shownAtCall;
  const std::string shown(rig.link->CommData());
  const std::size_t name = shown.find("NAME = JOE");
  ASSERT_NE(name, std::string::npos) << shown;
  EXPECT_NE(shown.find(" ... CID Detected ... ", name), std::string::npos) << shown;
}

TEST_F(SerialLinkTest, ClosePortClosesTheDevice) {
  ASSERT_TRUE(rig.link->PortOpen(rig.settings.CIDCommPort));
  rig.link->ClosePort();
  EXPECT_FALSE(rig.link->Com1().isOpen());
}

}  // namespace

namespace {

// The port is opened under its UUCP lock, which goes when the port closes; a lock
// a live other process holds keeps the port closed, with one line however often it
// is tried.
TEST_F(SerialLinkTest, PortIsOpenedUnderItsUucpLock) {
  QTemporaryDir locks;
  rig.link->SetLockFolder(locks.path().toStdString());
  const std::string lockFile =
      locks.path().toStdString() + "/" + UucpLock::LockFileName(rig.settings.CIDCommPort);
  ASSERT_TRUE(rig.link->PortOpen(rig.settings.CIDCommPort)) << rig.AllLines();
  EXPECT_TRUE(QFile::exists(QString::fromStdString(lockFile)));
  rig.link->ClosePort();
  EXPECT_FALSE(QFile::exists(QString::fromStdString(lockFile)));

  // pid 1 is always alive: its lock is respected.
  {
    QFile held(QString::fromStdString(lockFile));
    ASSERT_TRUE(held.open(QIODevice::WriteOnly));
    held.write(UucpLock::LockText(1).c_str());
  }
  for (int i = 0; i < 3; ++i) EXPECT_FALSE(rig.link->PortOpen(rig.settings.CIDCommPort));
  EXPECT_EQ(rig.Count("Serial port " + rig.settings.CIDCommPort), 1) << rig.AllLines();
}

}  // namespace
