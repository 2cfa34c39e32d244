// ui_demo: the tray icon, its menu and the three windows with stand-in data, so the
// layouts can be tried and photographed without a modem or an xAP network. Settings
// are real: they are read from and written to DIR/Config/vynRinglet.ini.
//
//   ui_demo --home DIR [--open setup|traffic|service]... [--flash-interval MS]
//   ui_demo --icons DIR     writes the tray pictures as PNG files and exits
//
// Lines read from standard input drive it: "flash" flashes the tray icon, "ring" adds a
// call to the traffic and flashes, "exit" runs the menu's Exit. Every call of the host's
// callbacks is printed on standard output, one line each.
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QPainter>
#include <QSocketNotifier>
#include <QTimer>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "host/Homeseer.h"
#include "ui/Desktop.h"
#include "ui/TrayArt.h"
#include "ui/UiText.h"

namespace {

void Say(const std::string& line) {
  std::printf("%s\n", line.c_str());
  std::fflush(stdout);
}

std::string Clock() {
  char text[16];
  std::time_t now = std::time(nullptr);
  std::strftime(text, sizeof text, "%H:%M:%S", std::localtime(&now));
  return text;
}

std::string GeneralDate() {
  char text[40];
  std::time_t now = std::time(nullptr);
  std::strftime(text, sizeof text, "%m/%d/%Y %I:%M:%S %p", std::localtime(&now));
  return text;
}

void KeepTail(std::string& text, const std::string& piece, std::size_t limit = 5000) {
  text += piece;
  if (text.size() > limit) text.erase(0, text.size() - limit);
}

int WriteIcons(const QString& folder) {
  QDir().mkpath(folder);
  for (TrayPicture picture : {TrayPicture::Idle, TrayPicture::Activity}) {
    const QString name = picture == TrayPicture::Idle ? "idle" : "activity";
    for (int size : {16, 22, 32}) {
      QPixmap pixmap = DrawTrayPicture(picture, size);
      pixmap.save(folder + QString("/%1-%2.png").arg(name).arg(size));
      pixmap.scaled(size * 8, size * 8, Qt::IgnoreAspectRatio, Qt::FastTransformation)
          .save(folder + QString("/%1-%2-x8.png").arg(name).arg(size));
    }
  }
  // A contact sheet: every size, actual and enlarged, on a light and a dark panel.
  QPixmap sheet(2 * (16 + 22 + 32) * 6 + 140, 2 * 32 * 6 + 60);
  sheet.fill(QColor(0xee, 0xee, 0xee));
  QPainter painter(&sheet);
  painter.fillRect(QRect(0, sheet.height() / 2, sheet.width(), sheet.height() / 2),
                   QColor(0x30, 0x30, 0x30));
  for (int row = 0; row < 2; ++row) {
    int x = 10;
    for (TrayPicture picture : {TrayPicture::Idle, TrayPicture::Activity}) {
      for (int size : {16, 22, 32}) {
        const int y = row * sheet.height() / 2 + 10;
        painter.drawPixmap(x, y, DrawTrayPicture(picture, size));
        painter.drawPixmap(x, y + 36, DrawTrayPicture(picture, size).scaled(size * 6, size * 6));
        x += size * 6 + 10;
      }
    }
  }
  painter.end();
  sheet.save(folder + "/sheet.png");
  return 0;
}

// Stand-in for the running program: traffic texts, a caller record, a service log.
struct DemoProgram {
  std::string commData;
  std::string commStatus;
  std::string portStatus = "Port /dev/ttyACM0 Open / 1 tries";
  std::string serviceLog;
  CallerRecord caller;
  bool shuttingDown = false;
  bool serviceDebug = false;
  bool storedDebug = false;
  Desktop* desktop = nullptr;

  void Traffic(const std::string& data, const std::string& status) {
    KeepTail(commData, data);
    KeepTail(commStatus, status);
    if (desktop) desktop->TrafficChanged();
  }
  void ServerLog(const std::string& message, int level) {
    if (level == 1 && !serviceDebug) return;
    const char* source = level == 1   ? "xapvynCID Debug"
                         : level == 2 ? "xapvynCID OrvoServer Warning"
                         : level == 3 ? "xapvynCID OrvoServer Error"
                                      : "xapvynCID OrvoServer Info";
    Append(GeneralDate() + "~!~" + source + "~!~" + message + "\r\n");
  }
  void Append(const std::string& piece) {
    serviceLog += piece;
    if (desktop) desktop->ServiceLogAppended(piece);
  }
  void Ring(const std::string& number, const std::string& name) {
    const std::string t = Clock();
    Traffic("\r\n" + t + " |  RING\r\n" + t + " |  DATE = 0612\r\n" + t + " |  TIME = 1405\r\n" +
                t + " |  NMBR = " + number + "\r\n" + " ... Number=" + number + "\r\n" + t +
                " |  NAME = " + name + "\r\n" + " ... Name=" + name + "\r\n" +
                " ... CID Detected ... \r\n",
            "\r\n2\r\n2\r\n2");
    if (desktop) desktop->SwapIcons();
  }
};

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("xapvynCID");
  QApplication::setQuitOnLastWindowClosed(false);

  std::string home;
  std::vector<std::string> open;
  int flashInterval = Desktop::kFlashInterval;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == "--icons" && hasValue) return WriteIcons(argv[++i]);
    if (arg == "--home" && hasValue) {
      home = argv[++i];
    } else if (arg == "--open" && hasValue) {
      open.emplace_back(argv[++i]);
    } else if (arg == "--flash-interval" && hasValue) {
      flashInterval = std::atoi(argv[++i]);
    } else {
      std::fprintf(stderr,
                   "usage: ui_demo --home DIR [--open setup|traffic|service]... "
                   "[--flash-interval MS]\n       ui_demo --icons DIR\n");
      return 2;
    }
  }
  if (home.empty()) home = QDir::tempPath().toStdString() + "/ui_demo-home";

  Homeseer host(home);
  DemoProgram program;

  UiHost ui;
  ui.GetIniSetting = [&](const std::string& g, const std::string& k, const std::string& d,
                         const std::string& f,
                         HostStatus* e) { return host.GetIniSetting(g, k, d, f, e); };
  ui.SaveIniSetting = [&](const std::string& g, const std::string& k, const std::string& v,
                          const std::string& f) {
    Say("save [" + g + "] " + k + "=" + v);
    return host.SaveIniSetting(g, k, v, f);
  };
  ui.Report = [](const std::string& type, const std::string& text, int, const std::string& d) {
    Say("log " + type + ": " + text + (d.empty() ? "" : " (" + d + ")"));
  };
  ui.InitIniKeys = [] { Say("InitIniKeys"); };
  ui.InitApplication = [] { Say("InitApplication"); };
  ui.StartClientService = [] { Say("StartClientService"); };
  ui.OcidEnabled = [] { return true; };
  ui.ShuttingDown = [&] { return program.shuttingDown; };
  ui.Exit = [&] {
    Say("Exit");
    program.shuttingDown = true;
    if (program.desktop) program.desktop->Unload();
    QTimer::singleShot(0, &app, &QApplication::quit);
  };
  ui.Caller = [&] { return &program.caller; };
  ui.ProcessModemInput = [&] {
    Say("ProcessModemInput number=" + program.caller.Number + " name=" + program.caller.Name);
    program.Traffic(" ... CID Detected ... \r\n", "");
    program.ServerLog("Sent CID Message to host 127.0.0.1", 1);
    if (program.desktop) program.desktop->SwapIcons();
  };
  ui.Traffic.CommData = [&] { return program.commData; };
  ui.Traffic.CommStatus = [&] { return program.commStatus; };
  ui.Traffic.PortStatus = [&] { return program.portStatus; };
  ClientServiceSource& service = ui.ClientService;
  service.LogText = [&] { return program.serviceLog; };
  service.ClearLog = [&] { program.serviceLog.clear(); };
  service.AppendLog = [&](const std::string& text) { program.Append(text); };
  service.ServerLog = [&](const std::string& m, int level) { program.ServerLog(m, level); };
  service.StoredDebug = [&] { return program.storedDebug; };
  service.SaveDebug = [&](bool on) {
    Say(std::string("SaveDebug ") + (on ? "True" : "False"));
    program.storedDebug = on;
  };
  service.SetServiceDebug = [&](bool on) { program.serviceDebug = on; };
  service.SendCIDSentry = [&](const std::string& name, const std::string& number) {
    Say("SendCIDSentry " + name + " " + number);
    program.ServerLog("Sent CID Message to host 127.0.0.1", 1);
    program.ServerLog("Sent CID Message to host 127.0.0.2", 1);
  };
  service.ClientSlots = [] { return std::vector<std::string>{"127.0.0.1", "-127.0.0.2", ""}; };
  service.ServiceActive = [] { return true; };

  Desktop desktop(ui);
  desktop.SetFlashInterval(flashInterval);
  desktop.Start();

  // Some history, as if the program had been running for a while.
  program.Traffic("[Sent to Modem:     AT#CID=1<crlf> ]\r\n" + Clock() + " |  OK\r\n",
                  "\r\n2\r\n2");
  program.Ring("6135550123", "SMITH JOHN");
  program.Ring("4165550199", "O PRIVATE");
  program.ServerLog("Display Client Service started on port 4550", 0);
  program.ServerLog("Client 127.0.0.1 subscribed", 0);
  program.ServerLog("Client 127.0.0.2 subscribed", 0);
  program.ServerLog("Client 127.0.0.2 unsubscribed", 0);
  // From here on the windows hear of every change (they read the history when shown).
  program.desktop = &desktop;

  for (const std::string& name : open) {
    if (name == "setup") desktop.MenuClick(Desktop::kSetup);
    if (name == "traffic") desktop.MenuClick(Desktop::kSerialComm);
    if (name == "service") desktop.MenuClick(Desktop::kOcid);
  }
  QSocketNotifier input(0, QSocketNotifier::Read);
  std::string pending;
  QObject::connect(&input, &QSocketNotifier::activated, &desktop, [&] {
    char chunk[256];
    const ssize_t n = read(0, chunk, sizeof chunk);
    if (n <= 0) {
      input.setEnabled(false);  // end of input: stop watching it
      return;
    }
    pending.append(chunk, static_cast<std::size_t>(n));
    for (std::size_t end; (end = pending.find('\n')) != std::string::npos;) {
      const std::string line = pending.substr(0, end);
      pending.erase(0, end + 1);
      if (line == "flash") desktop.SwapIcons();
      if (line == "ring") program.Ring("2125550147", "DOE JANE");
      if (line == "exit") desktop.MenuClick(Desktop::kExit);
    }
  });
  Say("ready");
  const int rc = QApplication::exec();
  Say("exited");
  return rc;
}
