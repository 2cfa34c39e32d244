// xapvyn_soak: runs the real xapvynCID for a long time under steady load on
// loopback and reports whether it kept up.
//
// The load: a call every 100 ms on a pseudo-terminal modem (each a complete
// number + name pair, so each completes at once); random valid and invalid xAP
// traffic to the program's port; display clients subscribing, leaving and
// sending junk to the client-service port; a reverse-lookup server that answers
// after a delay. The harness stands in for the xAP hub (127.0.0.1:3639) and for a
// display (the client service's remote port), and counts what comes back.
//
// Usage: xapvyn_soak --exe PATH [--minutes M] [--out DIR]
// Exit status 0 when every call rung was announced, no reply went missing, the
// program ran to the end and stopped cleanly, and its resident memory at the end
// is within 10 % of its memory after the first minute; 1 otherwise; 2 for a bad
// command line or a set-up failure.
#include <fcntl.h>
#include <pty.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QNetworkDatagram>
#include <QProcess>
#include <QSocketNotifier>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUdpSocket>
#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "xap/XapMessage.h"

namespace {

constexpr int kCallMs = 100;          // one call per tick
constexpr int kLookupEvery = 20;      // every 20th call has an unknown ten-digit number
constexpr int kLookupDelayMs = 1000;  // the slow reverse-lookup server
constexpr int kXapMs = 50;            // one random xAP datagram per tick
constexpr int kDisplayEvery = 7;      // a display request after every 7th call, mid-way to the next
constexpr int kSampleMs = 30000;      // memory samples for the report
constexpr int kSettleMs = 3000;       // after the load: outstanding answers come in

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
}

std::string Digits(const std::string& s) {
  std::string out;
  for (char c : s)
    if (c >= '0' && c <= '9') out += c;
  return out;
}

// Resident memory of a process in KiB; -1 when it cannot be read.
long VmRssKb(qint64 pid) {
  const std::string status = ReadFile("/proc/" + std::to_string(pid) + "/status");
  const auto p = status.find("\nVmRSS:");
  return p == std::string::npos ? -1 : std::atol(status.c_str() + p + 7);
}

// Utime + stime of a process in clock ticks; -1 when it cannot be read.
long CpuTicks(qint64 pid) {
  const std::string stat = ReadFile("/proc/" + std::to_string(pid) + "/stat");
  const auto close = stat.rfind(')');
  if (close == std::string::npos) return -1;
  std::istringstream in(stat.substr(close + 2));
  std::string field;
  long utime = -1, stime = -1;
  for (int i = 3; i <= 15 && in >> field; ++i) {
    if (i == 14) utime = std::stol(field);
    if (i == 15) stime = std::stol(field);
  }
  return utime < 0 || stime < 0 ? -1 : utime + stime;
}

quint16 FreeUdpPort() {
  QUdpSocket s;
  s.bind(QHostAddress(QHostAddress::LocalHost), 0, QAbstractSocket::DontShareAddress);
  return s.localPort();
}

// Call numbers: seq n has digits "9" + six digits of n (seven-digit, no lookup), or
// "201" + those seven (ten-digit and unknown: a reverse lookup) for every
// kLookupEvery-th call. The digits of an announcement lead back to its call.
std::string SevenDigits(long seq) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "9%06ld", seq % 1000000);
  return buf;
}
bool IsLookupCall(long seq) { return seq % kLookupEvery == 0; }
std::string CallDigits(long seq) { return (IsLookupCall(seq) ? "201" : "") + SevenDigits(seq); }
long SeqOf(const std::string& digits) {
  if (digits.size() == 7 && digits[0] == '9') return std::atol(digits.c_str() + 1);
  if (digits.size() == 10 && digits.rfind("2019", 0) == 0) return std::atol(digits.c_str() + 4);
  return -1;
}

struct Options {
  QString exe;
  double minutes = 10;
  QString out;
};

class Soak : public QObject {
 public:
  explicit Soak(Options o) : o_(std::move(o)), random_(std::random_device{}()) {}

  // Sets everything up and starts the program; false (with a reason on stderr) on failure.
  bool Start();
  int exitCode = 2;

 private:
  // Set-up.
  bool OpenModem();
  void StartLoad();
  void Finish();
  void Report();

  // Load.
  void Ring();
  void FlushModem();
  void SendRandomXap();
  void DisplayRequest();
  void Sample();

  // What comes back.
  void HubDatagram(const QByteArray& bytes);
  void DisplayDatagram(const QByteArray& bytes);
  void LookupConnection(QTcpSocket* s);

  std::string Header(const std::string& cls, const std::string& target = "") const {
    return "xap-header\n{\nv=12\nhop=1\nuid=FF00AB00\nclass=" + cls +
           "\nsource=soak.harness.load\n" + (target.empty() ? "" : "target=" + target + "\n") +
           "}\n";
  }
  std::string RandomBytes(int n) {
    std::string s;
    for (int i = 0; i < n; ++i) s += static_cast<char>(random_() & 0xff);
    return s;
  }
  long Elapsed() const { return clock_.elapsed(); }
  void Progress(const std::string& line) {
    std::fprintf(stderr, "[soak %6.1f s] %s\n", Elapsed() / 1000.0, line.c_str());
  }

  Options o_;
  std::mt19937 random_;
  std::string home_;
  QProcess program_;
  qint64 pid_ = 0;
  std::string stderrPath_;
  std::ofstream stderrFile_;

  // The modem.
  int master_ = -1;
  int slave_ = -1;
  std::string device_;
  std::string modemOut_;
  std::unique_ptr<QSocketNotifier> modemRead_;
  std::unique_ptr<QSocketNotifier> modemWrite_;

  // Stand-ins.
  QUdpSocket hub_;
  QUdpSocket display_;
  std::vector<std::unique_ptr<QUdpSocket>> clients_;
  QUdpSocket xapOut_;
  QTcpServer lookup_;
  quint16 localPort_ = 0;
  quint16 remotePort_ = 0;
  quint16 programPort_ = 0;
  std::string programSource_;

  QTimer callTimer_, xapTimer_, sampleTimer_;
  QElapsedTimer clock_;
  qint64 loadStartMs_ = 0;
  qint64 loadEndMs_ = 0;
  bool loadRunning_ = false;
  bool joined_ = false;
  bool opened_ = false;

  // Counts.
  long rung_ = 0;
  std::vector<char> announced_;         // by seq: CID.Incoming seen for the call
  std::vector<char> displayed_;         // by seq: Message.Display seen
  std::vector<char> subscribedAtRing_;  // by seq: the display was subscribed when rung
  std::vector<char> datagram_;          // by seq: the display got the call datagram
  long duplicateCid_ = 0;
  long unexpectedCid_ = 0;
  long voice_ = 0;
  long lookupCid_ = 0, lookupDisplay_ = 0, lookupDatagrams_ = 0;
  long lookupRequests_ = 0, lookupAnswered_ = 0, lookupAborted_ = 0;
  std::set<std::string> echoWaiting_;
  long echoSent_ = 0, echoReplies_ = 0;
  long roleSent_ = 0, roleReplies_ = 0;
  long bscSent_ = 0, bscReplies_ = 0;
  long otherValidSent_ = 0, invalidSent_ = 0;
  long heartbeats_ = 0;
  long otherMessages_ = 0;
  std::map<std::string, long> events_;  // event-log texts (numbers blanked) and how often
  bool subscribed_ = false;
  long subscribes_ = 0, leaves_ = 0, junkRequests_ = 0;
  long strayDatagrams_ = 0;

  // Figures.
  long rssStart_ = -1, rssMinute_ = -1, rssEnd_ = -1;
  std::vector<std::pair<long, long>> rssSamples_;  // (seconds, KiB)
  long ticksStart_ = -1, ticksEnd_ = -1;
  rusage selfStart_{};
  int programExit_ = -1;
  bool programCrashed_ = false;
  bool programEndedEarly_ = false;
};

bool Soak::OpenModem() {
  char name[256] = {};
  if (openpty(&master_, &slave_, name, nullptr, nullptr) != 0) return false;
  ::fcntl(master_, F_SETFD, FD_CLOEXEC);
  ::fcntl(slave_, F_SETFD, FD_CLOEXEC);
  ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
  termios tio{};
  tcgetattr(slave_, &tio);
  cfmakeraw(&tio);
  tcsetattr(slave_, TCSANOW, &tio);
  device_ = name;
  // What the program sends to the modem (its init string) is read and dropped.
  modemRead_ = std::make_unique<QSocketNotifier>(master_, QSocketNotifier::Read);
  connect(modemRead_.get(), &QSocketNotifier::activated, this, [this] {
    char buf[512];
    while (::read(master_, buf, sizeof buf) > 0) {
    }
  });
  modemWrite_ = std::make_unique<QSocketNotifier>(master_, QSocketNotifier::Write);
  modemWrite_->setEnabled(false);
  connect(modemWrite_.get(), &QSocketNotifier::activated, this, [this] { FlushModem(); });
  return true;
}

bool Soak::Start() {
  clock_.start();
  getrusage(RUSAGE_SELF, &selfStart_);
  QDir().mkpath(o_.out);
  home_ = (o_.out + "/home").toStdString();
  const std::string xdg = (o_.out + "/xdg").toStdString();
  QDir().mkpath(QString::fromStdString(home_ + "/Config"));
  QDir().mkpath(QString::fromStdString(xdg + "/xapvynCID"));

  if (!hub_.bind(QHostAddress(QHostAddress::LocalHost), 3639, QAbstractSocket::DontShareAddress)) {
    std::fprintf(
        stderr,
        "xapvyn_soak: 127.0.0.1:3639 is in use (run it in a network namespace: soak/run)\n");
    return false;
  }
  // Datagrams lost by a slow harness must not count against the program.
  hub_.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 8 << 20);
  connect(&hub_, &QUdpSocket::readyRead, this, [this] {
    while (hub_.hasPendingDatagrams()) HubDatagram(hub_.receiveDatagram().data());
  });
  localPort_ = FreeUdpPort();
  remotePort_ = FreeUdpPort();
  if (!display_.bind(QHostAddress(QHostAddress::LocalHost), remotePort_,
                     QAbstractSocket::DontShareAddress)) {
    std::fprintf(stderr, "xapvyn_soak: cannot bind the display port\n");
    return false;
  }
  display_.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 8 << 20);
  connect(&display_, &QUdpSocket::readyRead, this, [this] {
    while (display_.hasPendingDatagrams()) DisplayDatagram(display_.receiveDatagram().data());
  });
  for (int i = 0; i < 4; ++i) {
    clients_.push_back(std::make_unique<QUdpSocket>());
    clients_.back()->bind(QHostAddress(QHostAddress::LocalHost), 0);
  }
  xapOut_.bind(QHostAddress(QHostAddress::LocalHost), 0);
  if (!lookup_.listen(QHostAddress(QHostAddress::LocalHost), 0)) {
    std::fprintf(stderr, "xapvyn_soak: cannot listen for the lookup server\n");
    return false;
  }
  connect(&lookup_, &QTcpServer::newConnection, this, [this] {
    while (QTcpSocket* s = lookup_.nextPendingConnection()) LookupConnection(s);
  });
  if (!OpenModem()) {
    std::fprintf(stderr, "xapvyn_soak: no pseudo-terminal\n");
    return false;
  }

  WriteFile(home_ + "/Config/vynXap.ini",
            "[Interface]\r\nBroadcastAddress=127.0.0.1\r\nInterfaceAddress=127.0.0.1\r\n");
  // Outlook off: names found by the lookup are announced but not stored, so the
  // phonebook does not grow with the run.
  WriteFile(home_ + "/Config/vynRinglet.ini", "[General]\r\nCIDCommPort=" + device_ +
                                                  "\r\nOCID=1\r\nOutlook=0\r\nXAPNode=soak\r\n"
                                                  "[ReverseLookup]\r\nBaseURL=http://127.0.0.1:" +
                                                  std::to_string(lookup_.serverPort()) + "\r\n");
  WriteFile(xdg + "/xapvynCID/xapvynCID.conf",
            "[Options]\nLocalPort=" + std::to_string(localPort_) +
                "\nRemotePort=" + std::to_string(remotePort_) + "\n");

  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("XDG_CONFIG_HOME", QString::fromStdString(xdg));
  env.remove("DISPLAY");
  env.remove("WAYLAND_DISPLAY");
  program_.setProcessEnvironment(env);
  stderrPath_ = (o_.out + "/program-stderr.txt").toStdString();
  stderrFile_.open(stderrPath_, std::ios::binary);
  connect(&program_, &QProcess::readyReadStandardError, this, [this] {
    const QByteArray b = program_.readAllStandardError();
    stderrFile_.write(b.constData(), b.size());
  });
  connect(&program_, &QProcess::finished, this, [this](int code, QProcess::ExitStatus status) {
    programExit_ = code;
    programCrashed_ = status != QProcess::NormalExit;
    if (loadRunning_ || !joined_) {
      programEndedEarly_ = true;
      Progress("the program ended during the run");
      if (loadRunning_)
        Finish();
      else
        QCoreApplication::exit(1);
    }
  });
  program_.start(o_.exe, {"--headless", "--home", QString::fromStdString(home_)});
  if (!program_.waitForStarted(5000)) {
    std::fprintf(stderr, "xapvyn_soak: cannot start %s\n", qPrintable(o_.exe));
    return false;
  }
  pid_ = program_.processId();
  Progress("program started, pid " + std::to_string(pid_) + ", modem " + device_);
  QTimer::singleShot(15000, this, [this] {
    if (!joined_) {
      Progress("the program did not join the network and open the modem within 15 s");
      exitCode = 2;
      QCoreApplication::exit(2);
    }
  });
  return true;
}

void Soak::StartLoad() {
  // A moment of rest after start-up, so the first memory figure is the settled program.
  QTimer::singleShot(1000, this, [this] {
    rssStart_ = VmRssKb(pid_);
    ticksStart_ = CpuTicks(pid_);
    loadStartMs_ = Elapsed();
    loadRunning_ = true;
    Progress("load on: VmRSS " + std::to_string(rssStart_) + " KiB");
    callTimer_.setTimerType(Qt::PreciseTimer);
    connect(&callTimer_, &QTimer::timeout, this, [this] { Ring(); });
    connect(&xapTimer_, &QTimer::timeout, this, [this] { SendRandomXap(); });
    connect(&sampleTimer_, &QTimer::timeout, this, [this] { Sample(); });
    callTimer_.start(kCallMs);
    xapTimer_.start(kXapMs);
    sampleTimer_.start(kSampleMs);
    // The "first minute" figure: after one minute, or half-way through a shorter run.
    const int minuteMs = std::min(60000, static_cast<int>(std::lround(o_.minutes * 30000)));
    QTimer::singleShot(minuteMs, this, [this] {
      if (loadRunning_) rssMinute_ = VmRssKb(pid_);
    });
    QTimer::singleShot(static_cast<int>(std::lround(o_.minutes * 60000)), this,
                       [this] { Finish(); });
  });
}

void Soak::Ring() {
  const long seq = ++rung_;
  if (announced_.size() <= static_cast<std::size_t>(seq)) {
    announced_.resize(seq + 1024, 0);
    displayed_.resize(seq + 1024, 0);
    subscribedAtRing_.resize(seq + 1024, 0);
    datagram_.resize(seq + 1024, 0);
  }
  subscribedAtRing_[seq] = subscribed_;
  modemOut_ += "RING\r\n\r\nDATE = 0101\r\nTIME = 1200\r\nNMBR = " + CallDigits(seq) +
               "\r\nNAME = SOAK " + std::to_string(seq) + "\r\n\r\n";
  FlushModem();
  if (seq % kDisplayEvery == 0) QTimer::singleShot(kCallMs / 2, this, [this] { DisplayRequest(); });
}

void Soak::FlushModem() {
  while (!modemOut_.empty()) {
    const ssize_t n = ::write(master_, modemOut_.data(), modemOut_.size());
    if (n <= 0) break;
    modemOut_.erase(0, static_cast<std::size_t>(n));
  }
  // A full pseudo-terminal (the program stopped reading) waits for room.
  modemWrite_->setEnabled(!modemOut_.empty());
}

void Soak::SendRandomXap() {
  if (programPort_ == 0) return;
  std::string text;
  const int kind = static_cast<int>(random_() % 100);
  if (kind < 20) {
    const std::string token = "Echo-" + std::to_string(++echoSent_) + "-MiXeD";
    std::string lower = token;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    echoWaiting_.insert(lower);
    text = Header("WDT.Echo") + "Echo.Query\n{\nQuery=" + token + "\n}\n";
  } else if (kind < 30) {
    ++roleSent_;
    text = Header("Homeseer.Role") + "Role.Query\n{\nRole=application\n}\n";
  } else if (kind < 40) {
    ++bscSent_;
    text = Header("xAPBSC.query", programSource_) + "request\n{\n}\n";
  } else if (kind < 55) {
    // Valid traffic the program ignores: other devices' heartbeats, events and queries.
    ++otherValidSent_;
    static const char* kClasses[] = {"xAPBSC.event", "Message.Display", "x10.request",
                                     "Homeseer.Event", "WDT.Echo"};
    const char* cls = kClasses[random_() % 5];
    if (random_() % 3 == 0)
      text =
          "xap-hbeat\n{\nv=12\nhop=1\nuid=FF00AC00\nclass=xap-hbeat.alive\nsource=soak.other.dev\n"
          "interval=60\nport=40000\n}\n";
    else
      text = Header(cls, "some.other.device") + "Body\n{\nText=hello\n}\n";
  } else {
    ++invalidSent_;
    switch (random_() % 8) {
      case 0:
        text = RandomBytes(static_cast<int>(random_() % 600));
        break;
      case 1:
        text = "xap-header\n{\nv=12\nclass=WDT.Echo";
        break;  // cut short
      case 2:
        text = Header("WDT.Echo") + "Echo.Query\n{\nQuery";
        break;
      case 3:
        text = "";
        break;
      case 4:
        text = "xap-header\n" + RandomBytes(2000);
        break;
      case 5: {
        text = Header("x.many");
        for (int i = 0; i < 300; ++i) text += "S" + std::to_string(i) + "\n{\na=b\n}\n";
        break;
      }
      case 6:
        text = Header("x.big") + "Big\n{\nText=" + std::string(30000, 'z') + "\n}\n";
        break;
      default:
        text = "xap-header\n{\n}\n}\n}\n{{{{\n==\n=\n";
        break;
    }
  }
  xapOut_.writeDatagram(text.data(), static_cast<qint64>(text.size()),
                        QHostAddress(QHostAddress::LocalHost), programPort_);
}

void Soak::DisplayRequest() {
  // Requests go out mid-way between two calls, so the state at each ring is known.
  const int r = static_cast<int>(random_() % 10);
  QUdpSocket& client = *clients_[random_() % clients_.size()];
  QByteArray bytes;
  if (r < 4) {
    bytes = QByteArray("\x01", 1) + QByteArray(static_cast<int>(random_() % 3), 'x');
    subscribed_ = true;
    ++subscribes_;
  } else if (r < 8) {
    bytes = QByteArray("\x02", 1);
    subscribed_ = false;
    ++leaves_;
  } else {
    bytes = r == 8 ? QByteArray("\x07junk", 5) : QByteArray();
    ++junkRequests_;
  }
  client.writeDatagram(bytes, QHostAddress(QHostAddress::LocalHost), localPort_);
}

void Soak::Sample() {
  const long rss = VmRssKb(pid_);
  rssSamples_.emplace_back((Elapsed() - loadStartMs_) / 1000, rss);
  long announced = 0;
  for (long s = 1; s <= rung_; ++s) announced += announced_[s];
  Progress("rung " + std::to_string(rung_) + ", announced " + std::to_string(announced) +
           ", VmRSS " + std::to_string(rss) + " KiB");
}

void Soak::HubDatagram(const QByteArray& bytes) {
  const std::string text(bytes.constData(), static_cast<std::size_t>(bytes.size()));
  if (text.rfind("xap-hbeat", 0) == 0) {
    ++heartbeats_;
    const auto p = text.find("\nport=");
    const auto s = text.find("\nsource=");
    if (programPort_ == 0 && p != std::string::npos && s != std::string::npos) {
      programPort_ = static_cast<quint16>(std::stoi(text.substr(p + 6)));
      programSource_ = text.substr(s + 8, text.find('\n', s + 8) - s - 8);
    }
    return;
  }
  XapMessage m;
  m.FromXap(text);
  const std::string cls = m.msgClass();
  if (cls == "CID.Incoming") {
    const std::string name = m.GetItem("CID.Incoming", "Name");
    const long seq = SeqOf(m.GetItem("CID.Incoming", "Phone"));
    if (name.rfind("LOOKUP ", 0) == 0) {
      ++lookupCid_;
    } else if (seq > 0 && seq <= rung_) {
      if (announced_[seq]) ++duplicateCid_;
      announced_[seq] = 1;
    } else {
      ++unexpectedCid_;
    }
  } else if (cls == "Message.Display") {
    const std::string line1 = m.GetItem("Display.Text", "Line1");
    const long seq = SeqOf(Digits(line1.substr(0, line1.find("  "))));
    if (m.GetItem("Display.Text", "Line2").rfind("LOOKUP ", 0) == 0)
      ++lookupDisplay_;
    else if (seq > 0 && seq <= rung_)
      displayed_[seq] = 1;
  } else if (cls == "xAP.Voice") {
    ++voice_;
  } else if (cls == "WDT.Echo") {
    if (echoWaiting_.erase(m.GetItem("Echo.Response", "Response"))) ++echoReplies_;
  } else if (cls == "Homeseer.Role") {
    ++roleReplies_;
  } else if (cls == "xAPBSC.info") {
    ++bscReplies_;
  } else if (cls == "Homeseer.Event") {
    std::string data = m.GetItem("Event.Log", "Data");
    for (char& c : data)
      if (c >= '0' && c <= '9') c = '#';
    ++events_[data];
    if (!opened_ && data.find(" Opened") != std::string::npos) opened_ = true;
  } else {
    ++otherMessages_;
  }
  if (!joined_ && programPort_ != 0 && opened_) {
    joined_ = true;
    Progress("joined the network on port " + std::to_string(programPort_) + " as " +
             programSource_);
    StartLoad();
  }
}

void Soak::DisplayDatagram(const QByteArray& bytes) {
  if (bytes.size() < 136 || bytes[0] != '\x03') {
    ++strayDatagrams_;
    return;
  }
  const std::string name(bytes.constData() + 8, ::strnlen(bytes.constData() + 8, 64));
  const std::string number(bytes.constData() + 72, ::strnlen(bytes.constData() + 72, 64));
  const long seq = SeqOf(Digits(number));
  if (name.rfind("LOOKUP ", 0) == 0)
    ++lookupDatagrams_;
  else if (seq > 0 && seq <= rung_)
    datagram_[seq] = 1;
  else
    ++strayDatagrams_;
}

void Soak::LookupConnection(QTcpSocket* s) {
  auto head = std::make_shared<QByteArray>();
  auto answered = std::make_shared<bool>(false);
  connect(s, &QTcpSocket::disconnected, s, [this, s, answered] {
    if (!*answered) ++lookupAborted_;
    s->deleteLater();
  });
  connect(s, &QTcpSocket::readyRead, s, [this, s, head, answered] {
    if (head->contains("\r\n\r\n")) return;
    head->append(s->readAll());
    if (!head->contains("\r\n\r\n")) return;
    ++lookupRequests_;
    const QByteArray first = head->left(head->indexOf("\r\n"));
    auto field = [&](const QByteArray& key) {
      const int p = first.indexOf(key);
      if (p < 0) return QByteArray();
      const int e = first.indexOf('&', p);
      return first.mid(p + key.size(), e < 0 ? -1 : e - p - key.size());
    };
    const QByteArray listing = "N" + field("npa=") + field("telephone=") + ", LOOKUP";
    QTimer::singleShot(kLookupDelayMs, s, [this, s, answered, listing] {
      const QByteArray page =
          "<html><B>Reverse Telephone Listings</B><p><B>" + listing + "</B></p></html>";
      s->write(
          "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nConnection: close\r\nContent-Length: " +
          QByteArray::number(page.size()) + "\r\n\r\n" + page);
      *answered = true;
      ++lookupAnswered_;
      s->disconnectFromHost();
    });
  });
}

void Soak::Finish() {
  if (!loadRunning_) return;
  loadRunning_ = false;
  callTimer_.stop();
  xapTimer_.stop();
  sampleTimer_.stop();
  loadEndMs_ = Elapsed();
  if (program_.state() == QProcess::Running) {
    rssEnd_ = VmRssKb(pid_);
    ticksEnd_ = CpuTicks(pid_);
  }
  Progress("load off; waiting for the last answers");
  QTimer::singleShot(kSettleMs, this, [this] {
    if (program_.state() == QProcess::Running) {
      ::kill(static_cast<pid_t>(pid_), SIGTERM);
      program_.waitForFinished(5000);
    }
    stderrFile_.flush();
    Report();
    QCoreApplication::exit(exitCode);
  });
}

void Soak::Report() {
  long announced = 0, displayed = 0, expectedDatagrams = 0, datagrams = 0, unexpectedDatagrams = 0;
  std::vector<long> missing;
  for (long s = 1; s <= rung_; ++s) {
    announced += announced_[s];
    displayed += displayed_[s];
    if (!announced_[s] && missing.size() < 10) missing.push_back(s);
    if (subscribedAtRing_[s]) {
      ++expectedDatagrams;
      datagrams += datagram_[s];
    } else {
      unexpectedDatagrams += datagram_[s];
    }
  }
  const double loadSeconds = (loadEndMs_ - loadStartMs_) / 1000.0;
  const double tick = static_cast<double>(sysconf(_SC_CLK_TCK));
  const double cpuSeconds =
      ticksEnd_ >= 0 && ticksStart_ >= 0 ? (ticksEnd_ - ticksStart_) / tick : -1;
  rusage self{};
  getrusage(RUSAGE_SELF, &self);
  const double selfCpu = (self.ru_utime.tv_sec - selfStart_.ru_utime.tv_sec) +
                         (self.ru_stime.tv_sec - selfStart_.ru_stime.tv_sec) +
                         (self.ru_utime.tv_usec - selfStart_.ru_utime.tv_usec) / 1e6 +
                         (self.ru_stime.tv_usec - selfStart_.ru_stime.tv_usec) / 1e6;
  const long lostCid = rung_ - announced;
  const long lostDisplay = rung_ - displayed;
  const long lostVoice = std::max(0L, rung_ + lookupAnswered_ - voice_);
  const long lostEcho = echoSent_ - echoReplies_;
  const long lostRole = roleSent_ - roleReplies_;
  const long lostBsc = bscSent_ - bscReplies_;
  const long lostDatagrams = expectedDatagrams - datagrams;
  const long lostLookup = lookupAnswered_ - lookupCid_;
  const double rssChange =
      rssMinute_ > 0 && rssEnd_ > 0 ? 100.0 * (rssEnd_ - rssMinute_) / rssMinute_ : 0;

  std::ostringstream r;
  auto row = [&](const std::string& what, const std::string& value) {
    r << "  " << what << std::string(what.size() < 44 ? 44 - what.size() : 0, ' ') << " " << value
      << "\n";
  };
  auto num = [](double v, int decimals = 0) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
    return std::string(buf);
  };
  r << "xapvynCID soak report\n";
  row("load time", num(loadSeconds, 1) + " s");
  r << "Calls (modem, one every " << kCallMs << " ms)\n";
  row("calls rung", std::to_string(rung_));
  row("calls announced (CID.Incoming)", std::to_string(announced));
  row("  of which announced twice", std::to_string(duplicateCid_));
  row("calls shown (Message.Display)", std::to_string(displayed));
  row("speech requests (xAP.Voice), calls + lookups", std::to_string(voice_));
  row("announcements of unknown calls", std::to_string(unexpectedCid_));
  r << "Reverse lookup (every " << kLookupEvery << "th call, server answers after "
    << kLookupDelayMs << " ms)\n";
  row("requests / answered / abandoned by program", std::to_string(lookupRequests_) + " / " +
                                                        std::to_string(lookupAnswered_) + " / " +
                                                        std::to_string(lookupAborted_));
  row("found names announced / shown / to display", std::to_string(lookupCid_) + " / " +
                                                        std::to_string(lookupDisplay_) + " / " +
                                                        std::to_string(lookupDatagrams_));
  r << "xAP traffic to the program (one datagram every " << kXapMs << " ms)\n";
  row("echo queries / replies", std::to_string(echoSent_) + " / " + std::to_string(echoReplies_));
  row("role queries / replies", std::to_string(roleSent_) + " / " + std::to_string(roleReplies_));
  row("BSC queries / replies", std::to_string(bscSent_) + " / " + std::to_string(bscReplies_));
  row("other valid messages (ignored)", std::to_string(otherValidSent_));
  row("invalid datagrams", std::to_string(invalidSent_));
  row("heartbeats from the program", std::to_string(heartbeats_));
  r << "Display clients (client-service port)\n";
  row("subscribes / leaves / junk requests", std::to_string(subscribes_) + " / " +
                                                 std::to_string(leaves_) + " / " +
                                                 std::to_string(junkRequests_));
  row("call datagrams expected / received",
      std::to_string(expectedDatagrams) + " / " + std::to_string(datagrams));
  row("call datagrams while unsubscribed", std::to_string(unexpectedDatagrams));
  row("stray datagrams", std::to_string(strayDatagrams_));
  r << "Messages lost\n";
  row("CID.Incoming", std::to_string(lostCid) + " of " + std::to_string(rung_));
  row("Message.Display", std::to_string(lostDisplay) + " of " + std::to_string(rung_));
  row("xAP.Voice", std::to_string(lostVoice) + " of " + std::to_string(rung_ + lookupAnswered_));
  row("lookup announcements",
      std::to_string(lostLookup) + " of " + std::to_string(lookupAnswered_));
  row("echo / role / BSC replies", std::to_string(lostEcho) + " / " + std::to_string(lostRole) +
                                       " / " + std::to_string(lostBsc));
  row("display call datagrams",
      std::to_string(lostDatagrams) + " of " + std::to_string(expectedDatagrams));
  r << "Program\n";
  row("VmRSS at start", std::to_string(rssStart_) + " KiB");
  row("VmRSS after the first minute", std::to_string(rssMinute_) + " KiB");
  row("VmRSS at the end",
      std::to_string(rssEnd_) + " KiB (" + num(rssChange, 1) + " % vs. first minute)");
  // Memory every 30 s of the load, six samples to a line.
  for (std::size_t i = 0; i < rssSamples_.size(); i += 6) {
    std::string line;
    for (std::size_t j = i; j < std::min(i + 6, rssSamples_.size()); ++j)
      line += std::to_string(rssSamples_[j].first) +
              " s: " + std::to_string(rssSamples_[j].second) + "  ";
    row(i == 0 ? "VmRSS samples (KiB)" : "", line);
  }
  row("CPU time during the load", num(cpuSeconds, 2) + " s (" +
                                      num(loadSeconds > 0 ? 100 * cpuSeconds / loadSeconds : 0, 1) +
                                      " % of one core)");
  row("harness CPU time", num(selfCpu, 2) + " s");
  row("exit after SIGTERM", programCrashed_ ? "crashed" : std::to_string(programExit_));
  r << "Event-log lines (digits shown as #)\n";
  for (const auto& [text, n] : events_) row(std::to_string(n) + " x", text.substr(0, 100));
  const std::string fileLog = ReadFile(home_ + "/Data/xapvynCID.txt");
  row("file log",
      fileLog.empty()
          ? "empty"
          : std::to_string(std::count(fileLog.begin(), fileLog.end(), '\n')) + " lines");
  if (!missing.empty()) {
    std::string m;
    for (long s : missing) m += std::to_string(s) + " ";
    row("first calls not announced", m);
  }

  const bool memoryOk = rssMinute_ > 0 && rssEnd_ > 0 && std::fabs(rssChange) <= 10.0;
  const bool pass = rung_ > 0 && announced == rung_ && lostDisplay == 0 && lostEcho == 0 &&
                    lostRole == 0 && lostBsc == 0 && lostDatagrams == 0 && !programEndedEarly_ &&
                    !programCrashed_ && programExit_ == 0 && memoryOk;
  r << (pass ? "PASS" : "FAIL") << ": calls rung " << rung_ << ", announced " << announced
    << ", memory " << (memoryOk ? "steady" : "NOT steady") << ", program "
    << (programEndedEarly_ ? "ended early" : "ran to the end") << "\n";
  std::fputs(r.str().c_str(), stdout);
  WriteFile((o_.out + "/report.txt").toStdString(), r.str());
  exitCode = pass ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  Options o;
  const QStringList args = app.arguments();
  for (int i = 1; i < args.size(); ++i) {
    const QString& a = args[i];
    if (a == "--exe" && i + 1 < args.size())
      o.exe = args[++i];
    else if (a == "--minutes" && i + 1 < args.size())
      o.minutes = args[++i].toDouble();
    else if (a == "--out" && i + 1 < args.size())
      o.out = args[++i];
    else {
      std::fprintf(stderr, "usage: xapvyn_soak --exe PATH [--minutes M] [--out DIR]\n");
      return 2;
    }
  }
  if (o.exe.isEmpty() || o.minutes <= 0) {
    std::fprintf(stderr, "usage: xapvyn_soak --exe PATH [--minutes M] [--out DIR]\n");
    return 2;
  }
  if (o.out.isEmpty()) o.out = QDir::tempPath() + "/xapvyn-soak-" + QString::number(::getpid());
  Soak soak(o);
  if (!soak.Start()) return 2;
  const int rc = app.exec();
  return rc;
}
