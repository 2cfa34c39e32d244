// The real executable on loopback: a listener on 127.0.0.1:3639 stands in for
// the xAP hub and sees exactly what the program sends.
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <fstream>
#include <optional>
#include <sstream>

#include "Loopback.h"
#include "xap/XapMessage.h"

namespace {

void WriteFile(const QString& path, const std::string& text) {
  std::ofstream out(path.toStdString(), std::ios::binary);
  out << text;
}

std::string ReadFile(const QString& path) {
  std::ifstream in(path.toStdString(), std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string HostName() {
  char buf[129] = {};
  gethostname(buf, 128);
  return buf;
}

struct Program {
  QTemporaryDir home;
  QProcess process;

  explicit Program(const std::string& xapIniExtra = "", const std::string& ringlet = "") {
    QDir().mkpath(home.path() + "/Config");
    WriteFile(home.path() + "/Config/vynXap.ini",
              "[Interface]\r\nBroadcastAddress=127.0.0.1\r\nInterfaceAddress=127.0.0.1\r\n" + xapIniExtra);
    // No serial port and no client service: only the xAP spine is under test.
    WriteFile(home.path() + "/Config/vynRinglet.ini", "[General]\r\nOCID=0\r\n" + ringlet);
  }
  void Start(QStringList extra = {}) {
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(XAPVYNCID_EXE, QStringList{"--headless", "--home", home.path()} + extra);
    ASSERT_TRUE(process.waitForStarted(5000));
  }
  ~Program() {
    if (process.state() != QProcess::NotRunning) {
      process.kill();
      process.waitForFinished(3000);
    }
  }
  // Sends SIGTERM and waits; returns the exit code, or -1 when it did not end in time.
  int Terminate(int ms) {
    ::kill(static_cast<pid_t>(process.processId()), SIGTERM);
    bool done = WaitFor([&] { return process.state() == QProcess::NotRunning; }, ms);
    if (!done || process.exitStatus() != QProcess::NormalExit) return -1;
    return process.exitCode();
  }
};

std::string Item(const std::string& message, const char* section, const char* item) {
  XapMessage m;
  m.FromXap(message);
  return m.GetItem(section, item);
}

TEST(BlackBox, JoinsTheNetworkWithHeartbeatThenPortEvent) {
  UdpCollector hub(3639);
  ASSERT_TRUE(hub.Bound()) << "127.0.0.1:3639 is in use";
  // A line without "=" is reported by the settings reader before the transport starts.
  Program p("no equals sign here\r\n");
  p.Start();
  ASSERT_TRUE(hub.WaitCount(4, 5000));
  const std::string& hb = hub.messages[0];
  ASSERT_EQ(hb.rfind("xap-hbeat\n", 0), 0u) << hb;
  auto portPos = hb.find("port=");
  ASSERT_NE(portPos, std::string::npos);
  int port = std::stoi(hb.substr(portPos + 5));
  EXPECT_GE(port, 32768);
  EXPECT_LE(port, 32967);
  const std::string source = "vyn.CID." + HostName();
  EXPECT_EQ(hb, "xap-hbeat\n{\nv=12\nhop=1\nuid=FF008000\nclass=xap-hbeat.alive\nsource=" + source +
                    "\ninterval=60\nport=" + std::to_string(port) + "\n}\n");
  // The two reports made before the transport started, in order, then the port event.
  for (int i : {1, 2}) {
    EXPECT_EQ(Item(hub.messages[i], "Event.Log", "Type"), "IniTool");
    EXPECT_EQ(Item(hub.messages[i], "Event.Log", "Data"), " Equal sign not found on line no equals sign here");
  }
  EXPECT_EQ(Item(hub.messages[3], "Event.Log", "Type"), "xapvynCID");
  EXPECT_EQ(Item(hub.messages[3], "Event.Log", "Data"), "Using xAP port " + std::to_string(port));
  XapMessage ev;
  ev.FromXap(hub.messages[3]);
  EXPECT_EQ(ev.msgClass(), "Homeseer.Event");
  EXPECT_EQ(ev.msgSource(), source);
  EXPECT_TRUE(QDir(p.home.path() + "/Data").exists());
  EXPECT_TRUE(QDir(p.home.path() + "/Config").exists());

  // SIGTERM: an orderly end with status 0 within a second.
  EXPECT_EQ(p.Terminate(1000), 0);
}

TEST(BlackBox, NodeAndUidComeFromTheSettings) {
  UdpCollector hub(3639);
  ASSERT_TRUE(hub.Bound());
  Program p("", "XAPNode=kitchen\r\nXAPPID=\"FF123400\"\r\n");
  p.Start();
  ASSERT_TRUE(hub.WaitCount(1, 5000));
  EXPECT_NE(hub.messages[0].find("\nsource=vyn.CID.kitchen." + HostName() + "\n"), std::string::npos)
      << hub.messages[0];
  EXPECT_NE(hub.messages[0].find("\nuid=FF123400\n"), std::string::npos);
  EXPECT_EQ(p.Terminate(1000), 0);
}

// [Interface] HeartbeatInterval: seconds, 10..600, default 60; the heartbeat's
// interval item says the interval in force, and a value out of range is logged.
TEST(BlackBox, HeartbeatIntervalComesFromTheSettings) {
  struct Row { const char* name; std::string line; const char* interval; bool logged; };
  const Row rows[] = {
      {"absent", "", "60", false},     {"lowest", "HeartbeatInterval=10\r\n", "10", false},
      {"highest", "HeartbeatInterval=600\r\n", "600", false},
      {"too short", "HeartbeatInterval=5\r\n", "10", true},
      {"too long", "HeartbeatInterval=9999\r\n", "600", true},
      {"not a number", "HeartbeatInterval=often\r\n", "60", true},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    UdpCollector hub(3639);
    ASSERT_TRUE(hub.Bound());
    Program p(r.line);
    p.Start();
    ASSERT_TRUE(hub.WaitCount(2, 5000));
    EXPECT_NE(hub.messages[0].find(std::string("\ninterval=") + r.interval + "\nport="),
              std::string::npos)
        << hub.messages[0];
    bool logged = false;
    for (const std::string& m : hub.messages)
      logged |= Item(m, "Event.Log", "Data").find("HeartbeatInterval") != std::string::npos;
    EXPECT_EQ(logged, r.logged);
    EXPECT_EQ(p.Terminate(1000), 0);
  }
}

// A restarted hub learns the program's port from the next heartbeat: with the
// shortest interval, that heartbeat comes within ten seconds.
TEST(BlackBox, HeartbeatRepeatsAtTheConfiguredInterval) {
  UdpCollector hub(3639);
  ASSERT_TRUE(hub.Bound());
  Program p("HeartbeatInterval=10\r\n");
  p.Start();
  auto beats = [&] {
    int n = 0;
    for (const std::string& m : hub.messages) n += m.rfind("xap-hbeat", 0) == 0;
    return n;
  };
  ASSERT_TRUE(WaitFor([&] { return beats() == 1; }, 5000));
  QElapsedTimer t;
  t.start();
  ASSERT_TRUE(WaitFor([&] { return beats() == 2; }, 13000));
  EXPECT_GE(t.elapsed(), 8000);
  EXPECT_EQ(p.Terminate(1000), 0);
}

// vynXap.ini is read on its own: a vynRinglet.ini that cannot be read (a folder
// by that name) neither stops the program nor turns the addresses into "Default".
// The program is started with a relative --home, so the file log also shows the
// folder was made absolute: Data/ is made and the failed read is logged there.
TEST(BlackBox, UnreadableRingletAndRelativeHome) {
  UdpCollector hub(3639);
  ASSERT_TRUE(hub.Bound());
  QTemporaryDir cwd;
  const QString home = cwd.path() + "/relhome";
  QDir().mkpath(home + "/Config/vynRinglet.ini");
  WriteFile(home + "/Config/vynXap.ini",
            "[Interface]\r\nBroadcastAddress=127.0.0.1\r\nInterfaceAddress=127.0.0.1\r\n");
  QProcess process;
  process.setWorkingDirectory(cwd.path());
  process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  process.start(XAPVYNCID_EXE, QStringList{"--headless", "--home", "relhome"});
  ASSERT_TRUE(process.waitForStarted(5000));
  // The heartbeat reaches the hub on 127.0.0.1 only when vynXap.ini's addresses are in use.
  EXPECT_TRUE(hub.WaitCount(1, 5000));
  EXPECT_TRUE(WaitFor([&] { return QFile::exists(home + "/Data/xapvynCID.txt"); }, 3000));
  EXPECT_NE(ReadFile(home + "/Data/xapvynCID.txt").find("xapvynCID InitXap 9 "), std::string::npos);
  ::kill(static_cast<pid_t>(process.processId()), SIGTERM);
  ASSERT_TRUE(process.waitForFinished(2000));
  EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(process.exitCode(), 0);
}

TEST(BlackBox, AllPortsTakenEndsWithStatusOneAndALogLine) {
  std::vector<std::unique_ptr<QUdpSocket>> taken;
  for (int port = 32768; port <= 32967; ++port) {
    auto s = std::make_unique<QUdpSocket>();
    s->bind(QHostAddress(QHostAddress::LocalHost), static_cast<quint16>(port), QAbstractSocket::DontShareAddress);
    taken.push_back(std::move(s));  // a port we cannot bind is taken by someone else: fine
  }
  Program p;
  p.Start();
  ASSERT_TRUE(WaitFor([&] { return p.process.state() == QProcess::NotRunning; }, 5000));
  EXPECT_EQ(p.process.exitCode(), 1);
  const std::string log = ReadFile(p.home.path() + "/Data/xapvynCID.txt");
  EXPECT_TRUE(log.ends_with("xapvynCID xAP Init Error -1 occurred 0 \r\n")) << log;
  // No setting was loaded: the settings file was never rewritten or backed up.
  EXPECT_FALSE(QFile::exists(p.home.path() + "/Config/vynRinglet.ini_bck"));
}

TEST(BlackBox, ReceivedMessagesDoNotDisturbTheProgram) {
  UdpCollector hub(3639);
  ASSERT_TRUE(hub.Bound());
  Program p;
  p.Start();
  ASSERT_TRUE(hub.WaitCount(2, 5000));
  auto portPos = hub.messages[0].find("port=");
  quint16 port = static_cast<quint16>(std::stoi(hub.messages[0].substr(portPos + 5)));
  for (const char* text : {"xap-header\n{\nclass=a\n}\n", "garbage\x01\x02", "xap-hbeat\n{\n}\n", ""})
    SendUdp(port, text);
  Spin(200);
  EXPECT_EQ(p.process.state(), QProcess::Running);
  EXPECT_EQ(p.Terminate(1000), 0);
}

TEST(BlackBox, CommandLine) {
  struct Row { QStringList args; int status; const char* out; };
  const Row rows[] = {
      {{"--bogus"}, 2, nullptr},
      {{"--home"}, 2, nullptr},
      {{"--version"}, 0, "xapvynCID "},
      {{"--help"}, 0, "Usage: xapvynCID"},
  };
  for (const Row& r : rows) {
    QProcess proc;
    proc.start(XAPVYNCID_EXE, r.args);
    ASSERT_TRUE(proc.waitForFinished(5000));
    EXPECT_EQ(proc.exitCode(), r.status) << r.args.join(' ').toStdString();
    if (r.out) EXPECT_TRUE(proc.readAllStandardOutput().startsWith(r.out));
    else EXPECT_EQ(proc.readAllStandardError().count('\n'), 1) << "one-line message";
  }
}

}  // namespace

namespace {

// A pseudo-terminal standing in for the modem; the program opens the slave.
struct Modem {
  int master = -1;
  std::string path;
  Modem() {
    int slave = -1;
    char name[256] = {};
    if (openpty(&master, &slave, name, nullptr, nullptr) == 0) {
      termios tio{};
      tcgetattr(slave, &tio);
      cfmakeraw(&tio);
      tcsetattr(slave, TCSANOW, &tio);
      path = name;
      slaveFd = slave;
    }
  }
  ~Modem() {
    if (master >= 0) close(master);
    if (slaveFd >= 0) close(slaveFd);
  }
  void Write(const std::string& s) { [[maybe_unused]] auto n = write(master, s.data(), s.size()); }
  std::string ReadAvailable() {
    std::string out;
    char buf[256];
    pollfd p{master, POLLIN, 0};
    while (poll(&p, 1, 0) > 0) {
      ssize_t n = read(master, buf, sizeof buf);
      if (n <= 0) break;
      out.append(buf, static_cast<std::size_t>(n));
    }
    return out;
  }
  int slaveFd = -1;
};

std::vector<std::string> Classes(const std::vector<std::string>& messages, std::size_t from) {
  std::vector<std::string> out;
  for (std::size_t i = from; i < messages.size(); ++i) {
    XapMessage m;
    m.FromXap(messages[i]);
    if (m.msgClass() != "Homeseer.Event" && m.msgClass() != "Unknown") out.push_back(m.msgClass());
  }
  return out;
}

const std::string* Find(const std::vector<std::string>& messages, const std::string& cls) {
  for (const auto& m : messages) {
    XapMessage x;
    x.FromXap(m);
    if (x.msgClass() == cls) return &m;
  }
  return nullptr;
}

// The program on a pseudo-terminal modem, with a hub collecting what it sends.
struct ModemRun {
  UdpCollector hub{3639};
  Modem modem;
  std::optional<Program> program;
  // Starts the program on the modem, ringlet settings added after the port; false when the
  // hub port or the modem is not to be had.
  bool Start(const std::string& ringletExtra = "") {
    if (!hub.Bound() || modem.path.empty()) return false;
    program.emplace("", "CIDCommPort=" + modem.path + "\r\n" + ringletExtra);
    program->Start();
    return true;
  }
};

TEST(BlackBox, ACallRungIntoThePseudoTerminalIsAnnounced) {
  ModemRun run;
  ASSERT_TRUE(run.Start());
  auto& [hub, modem, program] = run;
  Program& p = *program;
  // The program opens the port and sends its initialisation string.
  std::string init;
  ASSERT_TRUE(WaitFor([&] { init += modem.ReadAvailable(); return init.find("\r\n") != std::string::npos; }, 5000));
  EXPECT_EQ(init, "AT#CID=1\r\n");
  ASSERT_TRUE(hub.WaitCount(3, 5000));
  Spin(200);
  const std::size_t before = hub.messages.size();
  modem.Write("RING\r\n\r\nDATE = 0101\r\nTIME = 1200\r\nNMBR = 5551234567\r\nNAME = JOHN DOE\r\n\r\nRING\r\n");
  ASSERT_TRUE(WaitFor([&] { return Classes(hub.messages, before).size() >= 3; }, 5000));
  Spin(700);  // nothing more may follow (no Timer5 completion of a second call)
  EXPECT_EQ(Classes(hub.messages, before),
            (std::vector<std::string>{"CID.Incoming", "Message.Display", "xAP.Voice"}));
  const std::string* cid = Find(hub.messages, "CID.Incoming");
  ASSERT_NE(cid, nullptr);
  EXPECT_EQ(Item(*cid, "CID.Incoming", "Phone"), "5551234567");
  EXPECT_EQ(Item(*cid, "CID.Incoming", "Name"), "JOHN DOE");
  EXPECT_EQ(Item(*cid, "CID.Incoming", "RNNumber"), "Available");
  EXPECT_EQ(Item(*cid, "CID.Incoming", "Type"), "Voice");
  const std::string* voice = Find(hub.messages, "xAP.Voice");
  ASSERT_NE(voice, nullptr);
  EXPECT_EQ(Item(*voice, "Voice.Speak", "Say"), "Call from JOHN DOE");
  EXPECT_EQ(p.Terminate(1000), 0);
}

// What naming a new caller goes on to do (here: write a contact into a folder that takes no
// file) comes after the announcement: its failure is reported after CID.Incoming.
TEST(BlackBox, ANewCallersContactIsWrittenAfterTheAnnouncement) {
  ModemRun run;
  ASSERT_TRUE(run.Start("[ContactBook]\r\nFolder=/proc/self\r\n"));
  auto& [hub, modem, program] = run;
  Program& p = *program;
  ASSERT_TRUE(hub.WaitCount(3, 5000));
  Spin(200);
  const std::size_t before = hub.messages.size();
  modem.Write("RING\r\nDATE = 0101\r\nTIME = 1200\r\nNMBR = 5551234567\r\nNAME = JOHN DOE\r\n");
  // Where the first message of a class that holds text arrived, or -1.
  auto at = [&](const std::string& cls, const std::string& text) {
    for (std::size_t i = before; i < hub.messages.size(); ++i) {
      XapMessage m;
      m.FromXap(hub.messages[i]);
      if (m.msgClass() == cls && hub.messages[i].find(text) != std::string::npos)
        return static_cast<int>(i);
    }
    return -1;
  };
  ASSERT_TRUE(WaitFor([&] { return at("Homeseer.Event", "HSPAddressBookLookup") >= 0; }, 5000));
  ASSERT_GE(at("CID.Incoming", "JOHN DOE"), 0);
  EXPECT_LT(at("CID.Incoming", "JOHN DOE"), at("Homeseer.Event", "HSPAddressBookLookup"));
  EXPECT_EQ(p.Terminate(1000), 0);
}

}  // namespace

namespace {

std::string Maps(const QProcess& process) {
  return ReadFile(QString("/proc/%1/maps").arg(process.processId()));
}

int Threads(const QProcess& process) {
  return static_cast<int>(QDir(QString("/proc/%1/task").arg(process.processId()))
                              .entryList(QDir::Dirs | QDir::NoDotAndDotDot)
                              .size());
}

// Starts the program without --headless on Qt's offscreen platform.
void StartDesktop(Program& p, const QString& exe) {
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("QT_QPA_PLATFORM", "offscreen");
  env.insert("XDG_RUNTIME_DIR", p.home.path());
  p.process.setProcessEnvironment(env);
  p.process.setProcessChannelMode(QProcess::SeparateChannels);
  p.process.start(exe, QStringList{"--home", p.home.path()});
  ASSERT_TRUE(p.process.waitForStarted(5000));
}

}  // namespace

// The tray and windows live in a module that only a desktop run loads: a headless run
// maps neither Qt Widgets nor Gui and runs on one thread (nor the MQTT client and the TLS
// libraries it brings, opened only for a configured broker, nor libsystemd); a desktop run loads the module;
// without the module the program says so in one line and runs headless.
TEST(BlackBox, DesktopPartIsLoadedOnlyForADesktopRun) {
  {
    UdpCollector hub(3639);
    Program p;
    p.Start();
    ASSERT_TRUE(hub.WaitCount(1, 5000));
    const std::string maps = Maps(p.process);
    EXPECT_EQ(maps.find("libQt6Widgets"), std::string::npos);
    EXPECT_EQ(maps.find("libQt6Gui"), std::string::npos);
    for (const char* library : {"libmosquitto", "libssl", "libcrypto", "libsystemd"})
      EXPECT_EQ(maps.find(library), std::string::npos) << library;
    EXPECT_EQ(Threads(p.process), 1);
    EXPECT_EQ(p.Terminate(1000), 0);
  }
  {
    UdpCollector hub(3639);
    Program p;
    StartDesktop(p, XAPVYNCID_EXE);
    ASSERT_TRUE(hub.WaitCount(1, 8000));
    const std::string maps = Maps(p.process);
    EXPECT_NE(maps.find("xapvynCID-desktop.so"), std::string::npos);
    EXPECT_NE(maps.find("libQt6Widgets"), std::string::npos);
    EXPECT_EQ(p.Terminate(2000), 0);
  }
  {
    UdpCollector hub(3639);
    QTemporaryDir alone;
    const QString exe = alone.path() + "/xapvynCID";
    ASSERT_TRUE(QFile::copy(XAPVYNCID_EXE, exe));
    QFile::setPermissions(exe, QFile::ReadOwner | QFile::ExeOwner);
    Program p;
    StartDesktop(p, exe);
    ASSERT_TRUE(hub.WaitCount(1, 5000));
    EXPECT_EQ(Maps(p.process).find("libQt6Widgets"), std::string::npos);
    EXPECT_EQ(p.Terminate(1000), 0);
    const std::string err = p.process.readAllStandardError().toStdString();
    EXPECT_NE(err.find("xapvynCID: the desktop part xapvynCID-desktop.so is not installed"),
              std::string::npos)
        << err;
    EXPECT_NE(err.find("; running headless\n"), std::string::npos) << err;
  }
}
