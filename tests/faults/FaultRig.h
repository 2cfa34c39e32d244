#pragma once
// Helpers for the fault tests: the real executable in a temporary program folder,
// a pseudo-terminal modem, the hub's view of what the program sent, free loopback
// ports and the process figures from /proc.
//
// Every run gets a vynXap.ini that keeps all traffic on 127.0.0.1 and its own
// XDG_CONFIG_HOME whose client-service store names free loopback ports, so a test
// never touches the per-user store or port 4550.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTimer>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "Loopback.h"
#include "xap/XapMessage.h"

namespace faults {

inline void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
}

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// A UDP port on 127.0.0.1 that was free a moment ago.
inline quint16 FreeUdpPort() {
  QUdpSocket s;
  s.bind(QHostAddress(QHostAddress::LocalHost), 0, QAbstractSocket::DontShareAddress);
  return s.localPort();
}

inline std::string Item(const std::string& message, const char* section, const char* item) {
  XapMessage m;
  m.FromXap(message);
  return m.GetItem(section, item);
}

inline std::string ClassOf(const std::string& message) {
  XapMessage m;
  m.FromXap(message);
  return m.msgClass();
}

// Runs the event loop until pred() holds or timeoutMs passes; returns pred(). Sleeps
// between looks (no busy loop: the machine is shared and the tests measure CPU).
inline bool Wait(const std::function<bool()>& pred, int timeoutMs) {
  QElapsedTimer t;
  t.start();
  while (!pred() && t.elapsed() < timeoutMs) {
    QEventLoop loop;
    QTimer::singleShot(5, &loop, &QEventLoop::quit);
    loop.exec();
  }
  return pred();
}

// Keeps the event loop running for ms milliseconds.
inline void Pause(int ms) {
  Wait([] { return false; }, ms);
}

// Waits (up to timeoutMs) until nothing else holds the hub port: on a shared machine a
// demo or another checkout's tests may hold it for a while.
inline bool HubPortFree(int timeoutMs = 30000) {
  return Wait(
      [] {
        QUdpSocket s;
        return s.bind(QHostAddress(QHostAddress::LocalHost), 3639,
                      QAbstractSocket::DontShareAddress);
      },
      timeoutMs);
}

// The hub port as the program sees it: every datagram the program sends.
struct Hub : UdpCollector {
  Hub() : UdpCollector(AfterHubPortFree()) {}
  static quint16 AfterHubPortFree() {
    HubPortFree();
    return 3639;
  }

  std::vector<std::string> OfClass(const std::string& cls, std::size_t from = 0) const {
    std::vector<std::string> out;
    for (std::size_t i = from; i < messages.size(); ++i)
      if (ClassOf(messages[i]) == cls) out.push_back(messages[i]);
    return out;
  }
  // The Data item of every event-log message.
  std::vector<std::string> Events(std::size_t from = 0) const {
    std::vector<std::string> out;
    for (const std::string& m : OfClass("Homeseer.Event", from))
      out.push_back(Item(m, "Event.Log", "Data"));
    return out;
  }
  std::size_t CountEvents(const std::string& part, std::size_t from = 0) const {
    std::size_t n = 0;
    for (const std::string& e : Events(from)) n += e.find(part) != std::string::npos;
    return n;
  }
  // The Phone item of every CID.Incoming, in order.
  std::vector<std::string> Phones(std::size_t from = 0) const {
    std::vector<std::string> out;
    for (const std::string& m : OfClass("CID.Incoming", from))
      out.push_back(Item(m, "CID.Incoming", "Phone"));
    return out;
  }
  // The program's xAP port from its first heartbeat; 0 before it.
  quint16 ProgramPort() const {
    for (const std::string& m : messages) {
      const auto p = m.find("\nport=");
      if (m.rfind("xap-hbeat", 0) == 0 && p != std::string::npos)
        return static_cast<quint16>(std::stoi(m.substr(p + 6)));
    }
    return 0;
  }
};

// A pseudo-terminal standing in for the modem; the program opens the slave side,
// through `link` when one is given (a symbolic link the test can re-point).
struct Modem {
  int master = -1;
  int slave = -1;
  std::string device;

  Modem() {
    char name[256] = {};
    if (openpty(&master, &slave, name, nullptr, nullptr) != 0) return;
    // A program started later must not inherit the master: it would keep the device alive.
    ::fcntl(master, F_SETFD, FD_CLOEXEC);
    ::fcntl(slave, F_SETFD, FD_CLOEXEC);
    termios tio{};
    tcgetattr(slave, &tio);
    cfmakeraw(&tio);
    tcsetattr(slave, TCSANOW, &tio);
    device = name;
  }
  ~Modem() { Close(); }
  Modem(const Modem&) = delete;
  Modem& operator=(const Modem&) = delete;

  // Both ends gone: the program's reads fail as when a USB modem is unplugged.
  void Close() {
    if (master >= 0) ::close(master);
    if (slave >= 0) ::close(slave);
    master = slave = -1;
  }
  bool Write(const std::string& s) {
    return master >= 0 && ::write(master, s.data(), s.size()) == static_cast<ssize_t>(s.size());
  }
  std::string ReadAvailable() {
    std::string out;
    char buf[512];
    pollfd p{master, POLLIN, 0};
    while (master >= 0 && poll(&p, 1, 0) > 0 && (p.revents & POLLIN)) {
      const ssize_t n = ::read(master, buf, sizeof buf);
      if (n <= 0) break;
      out.append(buf, static_cast<std::size_t>(n));
    }
    return out;
  }
  // Waits on the event loop until `text` has come from the program.
  bool WaitText(const std::string& text, int timeoutMs) {
    std::string seen;
    return faults::Wait(
        [&] {
          seen += ReadAvailable();
          return seen.find(text) != std::string::npos;
        },
        timeoutMs);
  }
};

// One caller-ID block as a modem sends it; number and name complete the call at once.
inline std::string RingText(const std::string& number, const std::string& name) {
  return "RING\r\n\r\nDATE = 0101\r\nTIME = 1200\r\nNMBR = " + number + "\r\nNAME = " + name +
         "\r\n\r\n";
}

// One network caller-ID frame, ended as the box ends it.
inline std::string NetFrame(const std::string& number, const std::string& name) {
  return "###DATE01011200...NMBR" + number + "...NAME" + name + "+++\r";
}

// Utime + stime of a process in clock ticks; -1 when it cannot be read.
inline long CpuTicks(qint64 pid) {
  const std::string stat = ReadFile("/proc/" + std::to_string(pid) + "/stat");
  const auto close = stat.rfind(')');
  if (close == std::string::npos) return -1;
  std::istringstream in(stat.substr(close + 2));
  std::string field;
  long utime = -1, stime = -1;
  // Fields from the state (3rd) on; utime and stime are the 14th and 15th.
  for (int i = 3; i <= 15 && in >> field; ++i) {
    if (i == 14) utime = std::stol(field);
    if (i == 15) stime = std::stol(field);
  }
  return utime < 0 || stime < 0 ? -1 : utime + stime;
}

#ifdef XAPVYNCID_EXE
// The program folder of one run and the program started on it.
struct Program {
  QTemporaryDir dir;
  std::string home;
  std::string configHome;
  QProcess process;
  std::string stderrText;
  // Set before Start: environment entries to add, and whether to pass --headless.
  std::vector<std::pair<QString, QString>> env;
  bool headless = true;

  // general: the body of section [General] of vynRinglet.ini (CR LF lines);
  // extra: further sections.
  explicit Program(const std::string& general = "OCID=0\r\n", const std::string& extra = "") {
    home = dir.path().toStdString() + "/home";
    configHome = dir.path().toStdString() + "/xdg";
    QDir().mkpath(QString::fromStdString(home + "/Config"));
    QDir().mkpath(QString::fromStdString(configHome + "/xapvynCID"));
    WriteFile(home + "/Config/vynXap.ini",
              "[Interface]\r\nBroadcastAddress=127.0.0.1\r\nInterfaceAddress=127.0.0.1\r\n");
    SetRinglet(general, extra);
    const std::string port = std::to_string(FreeUdpPort());
    WriteFile(configHome + "/xapvynCID/xapvynCID.conf",
              "[Options]\nLocalPort=" + port + "\nRemotePort=" + port + "\n");
  }
  ~Program() {
    if (process.state() != QProcess::NotRunning) {
      process.kill();
      process.waitForFinished(3000);
    }
  }
  // Rewrites Config/vynRinglet.ini: section [General] with `general`, then `extra`.
  void SetRinglet(const std::string& general, const std::string& extra = "") {
    WriteFile(home + "/Config/vynRinglet.ini", "[General]\r\n" + general + extra);
  }
  std::string Path(const std::string& rel) const { return home + rel; }

  // Starts the program; `wrapper` runs in front of it (e.g. setpriv and its options).
  bool Start(const QStringList& wrapper = {}) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_CONFIG_HOME", QString::fromStdString(configHome));
    env.remove("DISPLAY");
    env.remove("WAYLAND_DISPLAY");
    for (const auto& [name, value] : this->env) env.insert(name, value);
    process.setProcessEnvironment(env);
    QObject::connect(&process, &QProcess::readyReadStandardError, [this] {
      const QByteArray b = process.readAllStandardError();
      stderrText.append(b.constData(), static_cast<std::size_t>(b.size()));
    });
    QStringList args{"--home", QString::fromStdString(home)};
    if (headless) args.prepend("--headless");
    if (wrapper.isEmpty()) {
      process.start(XAPVYNCID_EXE, args);
    } else {
      process.start(wrapper.front(), wrapper.mid(1) + QStringList{XAPVYNCID_EXE} + args);
    }
    return process.waitForStarted(5000);
  }
  qint64 Pid() const { return process.processId(); }
  // Waits for the end; the exit code, or -1 when it did not end in time or crashed.
  int ExitCode(int ms) {
    if (!Wait([&] { return process.state() == QProcess::NotRunning; }, ms)) return -1;
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
  }
  bool Running() const { return process.state() == QProcess::Running; }
  // SIGTERM, then the exit code; -1 when it did not end in time or crashed.
  int Terminate(int ms) {
    ::kill(static_cast<pid_t>(process.processId()), SIGTERM);
    if (!Wait([&] { return process.state() == QProcess::NotRunning; }, ms)) return -1;
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
  }
};

#endif  // XAPVYNCID_EXE

}  // namespace faults
