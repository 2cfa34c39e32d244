// The web server on 127.0.0.1 with raw HTTP clients of the test: authentication, paging,
// limits, hostile requests, live events and slow clients.
#include <gtest/gtest.h>

#include <QFile>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <memory>
#include <string>
#include <vector>

#include "Loopback.h"
#include "web/WebServer.h"

namespace {

using namespace std::chrono;

CompletedCall Call(int i, std::string name = {}) {
  CompletedCall c;
  c.time = system_clock::time_point(milliseconds(1783290600000LL + i * 1000LL));
  c.number = "555000" + std::to_string(1000 + i);
  c.displayNumber = c.number;
  c.name = name.empty() ? "Caller " + std::to_string(i) : name;
  c.namedBy = NamedBy::CallerId;
  return c;
}

// A history in memory that answers like CallHistory::Recent.
struct FakeHistory {
  std::vector<StoredCall> calls;  // newest first
  int asked = 0;
  std::vector<StoredCall> Recent(int limit, std::optional<WebServer::Time> before,
                                 const std::string& search) {
    ++asked;
    std::vector<StoredCall> out;
    for (const StoredCall& c : calls) {
      if (static_cast<int>(out.size()) >= limit) break;
      if (before && c.time >= *before) continue;
      if (!search.empty() && c.name.find(search) == std::string::npos) continue;
      out.push_back(c);
    }
    return out;
  }
};

struct Answer {
  int status = 0;
  std::string head, body;
  bool Has(const std::string& part) const {
    return head.find(part) != std::string::npos || body.find(part) != std::string::npos;
  }
};

struct Rig {
  explicit Rig(web::WebConfig config = {"127.0.0.1:0", "", ""}) {
    for (int i = 0; i < 120; ++i) {
      StoredCall s;
      static_cast<CompletedCall&>(s) = Call(119 - i);
      s.id = 120 - i;
      history.calls.push_back(s);
    }
    server = std::make_unique<WebServer>(
        config,
        [this](int limit, std::optional<WebServer::Time> before, const std::string& search) {
          return history.Recent(limit, before, search);
        },
        [this] { return status; }, [this](const std::string& line) { log.push_back(line); });
    status.linkOpen = true;
    status.linkState = "open";
    status.version = "9.9";
  }
  bool Start(WebServer::Limits limits = {}) {
    server->SetLimits(limits);
    return server->Start();
  }
  // Sends raw bytes and reads until the server closes (or timeoutMs).
  Answer Get(const std::string& raw, int timeoutMs = 3000) {
    QTcpSocket s;
    s.connectToHost(QHostAddress::LocalHost, server->Port());
    if (!WaitFor([&] { return s.state() == QAbstractSocket::ConnectedState; })) return {};
    s.write(raw.data(), static_cast<qint64>(raw.size()));
    std::string all;
    WaitFor(
        [&] {
          all += s.readAll().toStdString();
          return s.state() == QAbstractSocket::UnconnectedState;
        },
        timeoutMs);
    all += s.readAll().toStdString();
    Answer a;
    const std::size_t end = all.find("\r\n\r\n");
    a.head = all.substr(0, end);
    if (end != std::string::npos) a.body = all.substr(end + 4);
    if (all.size() > 12) a.status = std::atoi(all.substr(9, 3).c_str());
    return a;
  }
  Answer Request(const std::string& target, const std::string& auth = {}) {
    return Get("GET " + target + " HTTP/1.1\r\nHost: x\r\n" +
               (auth.empty() ? "" : "Authorization: " + auth + "\r\n") + "\r\n");
  }
  std::string LogText() const {
    std::string all;
    for (const auto& l : log) all += l + "\n";
    return all;
  }

  FakeHistory history;
  web::WebStatus status;
  std::vector<std::string> log;
  std::unique_ptr<WebServer> server;
};

// A live-event client: the raw stream as it arrives.
struct Stream {
  explicit Stream(quint16 port, bool read = true) {
    if (!read) socket.setReadBufferSize(1);
    socket.connectToHost(QHostAddress::LocalHost, port);
    WaitFor([&] { return socket.state() == QAbstractSocket::ConnectedState; });
    socket.write("GET /api/events HTTP/1.1\r\nHost: x\r\n\r\n");
    if (read)
      QObject::connect(&socket, &QTcpSocket::readyRead,
                       [this] { text += socket.readAll().toStdString(); });
  }
  bool WaitFor(const std::function<bool()>& pred, int ms = 3000) { return ::WaitFor(pred, ms); }
  bool WaitText(const std::string& part, int ms = 3000) {
    return WaitFor([&] { return text.find(part) != std::string::npos; }, ms);
  }
  QTcpSocket socket;
  std::string text;
};

// ---------------------------------------------------------------- pages and API

TEST(WebServer, ServesThePageWithItsSecurityHeaders) {
  Rig rig;
  ASSERT_TRUE(rig.Start());
  const Answer page = rig.Request("/");
  EXPECT_EQ(page.status, 200);
  EXPECT_TRUE(page.Has("Content-Type: text/html; charset=utf-8"));
  EXPECT_TRUE(page.Has("Content-Security-Policy: default-src 'none'; script-src 'self';"));
  EXPECT_TRUE(page.Has("X-Content-Type-Options: nosniff"));
  EXPECT_TRUE(page.Has("<script src=\"/app.js\" defer></script>"));
  EXPECT_EQ(page.body.find("<script>"), std::string::npos) << "no inline script";
  const Answer js = rig.Request("/app.js");
  EXPECT_EQ(js.status, 200);
  EXPECT_TRUE(js.Has("text/javascript"));
  EXPECT_TRUE(js.Has("textContent"));
  EXPECT_EQ(js.body.find("innerHTML"), std::string::npos);
  EXPECT_EQ(rig.Request("/app.css").status, 200);
  EXPECT_EQ(rig.Request("/nothing").status, 404);
  const Answer head = rig.Get("HEAD /api/status HTTP/1.1\r\n\r\n");
  EXPECT_EQ(head.status, 200);
  EXPECT_TRUE(head.body.empty());
  EXPECT_NE(rig.LogText().find("Web page on http://127.0.0.1:"), std::string::npos);
}

TEST(WebServer, PagesThroughTheHistory) {
  Rig rig;
  ASSERT_TRUE(rig.Start());
  const Answer first = rig.Request("/api/calls?limit=50");
  ASSERT_EQ(first.status, 200);
  EXPECT_TRUE(first.Has("application/json"));
  EXPECT_EQ(first.body.find("{\"calls\":[{\"id\":120,"), 0u) << first.body.substr(0, 80);
  const std::size_t at = first.body.find("\"next\":");
  ASSERT_NE(at, std::string::npos);
  const std::string next = first.body.substr(at + 7, 13);
  EXPECT_EQ(next, "1783290670000");  // the time of the 50th call, "Caller 70"
  const Answer second = rig.Request("/api/calls?limit=50&before=" + next);
  EXPECT_EQ(second.body.find("{\"calls\":[{\"id\":70,"), 0u) << second.body.substr(0, 80);
  const Answer last = rig.Request("/api/calls?limit=50&before=1783290620000");
  EXPECT_TRUE(last.Has("\"name\":\"Caller 0\""));
  EXPECT_TRUE(last.Has("\"next\":null"));
  const Answer iso = rig.Request("/api/calls?before=2026-07-05T22:30:01Z");
  EXPECT_TRUE(iso.Has("\"name\":\"Caller 0\"") && iso.Has("\"next\":null"));
  EXPECT_FALSE(iso.Has("Caller 1\""));
  const Answer search = rig.Request("/api/calls?search=Caller+0");
  EXPECT_TRUE(search.Has("\"name\":\"Caller 0\"") && search.Has("\"next\":null"));
  EXPECT_FALSE(search.Has("Caller 1"));
}

TEST(WebServer, RefusesBadParametersTable) {
  Rig rig;
  ASSERT_TRUE(rig.Start());
  for (const char* target :
       {"/api/calls?limit=0", "/api/calls?limit=501", "/api/calls?limit=-1", "/api/calls?limit=5x",
        "/api/calls?limit=", "/api/calls?before=yesterday", "/api/calls?before=",
        "/api/calls?search=" "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa"}) {
    SCOPED_TRACE(target);
    EXPECT_EQ(rig.Request(target).status, 400);
  }
  EXPECT_EQ(rig.history.asked, 0);
  EXPECT_EQ(rig.Request("/api/calls?limit=500").status, 200);
  EXPECT_EQ(rig.history.asked, 1);
}

TEST(WebServer, IsReadOnly) {
  Rig rig;
  ASSERT_TRUE(rig.Start());
  for (const char* method : {"POST", "PUT", "DELETE", "PATCH", "OPTIONS"}) {
    SCOPED_TRACE(method);
    const Answer a = rig.Get(std::string(method) + " /api/calls HTTP/1.1\r\n\r\n");
    EXPECT_EQ(a.status, 405);
    EXPECT_TRUE(a.Has("Allow: GET, HEAD"));
  }
}

TEST(WebServer, StatusIsJson) {
  Rig rig;
  rig.status.linkOpen = false;
  rig.status.linkState = "down";
  rig.status.linkReason = "Port <b>x</b> Not Connected";
  ASSERT_TRUE(rig.Start());
  const Answer a = rig.Request("/api/status");
  EXPECT_EQ(a.status, 200);
  EXPECT_TRUE(a.Has("{\"link\":{\"open\":false,\"state\":\"down\",\"reason\":\"Port <b>x</b> Not Connected\",\"since\":"));
  EXPECT_TRUE(a.Has("\"version\":\"9.9\""));
}

// ---------------------------------------------------------------- authentication

TEST(WebServer, AuthenticationTable) {
  QTemporaryDir dir;
  const std::string file = dir.filePath("pw").toStdString();
  QFile f(QString::fromStdString(file));
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write("s3cret\n");
  f.close();
  Rig rig({"127.0.0.1:0", "ann", file});
  ASSERT_TRUE(rig.Start());
  struct Case {
    const char* name;
    const char* target;
    const char* auth;
    int status;
  };
  const Case cases[] = {
      {"page_without", "/", "", 401},
      {"api_without", "/api/calls", "", 401},
      {"events_without", "/api/events", "", 401},
      {"script_without", "/app.js", "", 401},
      {"wrong_password", "/api/calls", "Basic YW5uOnMzY3JldDE=", 401},
      {"other_scheme", "/api/calls", "Bearer YW5uOnMzY3JldA==", 401},
      {"right", "/api/calls", "Basic YW5uOnMzY3JldA==", 200},
      {"right_page", "/", "Basic YW5uOnMzY3JldA==", 200},
      {"right_missing", "/x", "Basic YW5uOnMzY3JldA==", 404},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Answer a = rig.Request(c.target, c.auth);
    EXPECT_EQ(a.status, c.status);
    if (c.status == 401) {
      EXPECT_TRUE(a.Has("WWW-Authenticate: Basic realm=\"xapvynCID\""));
      EXPECT_FALSE(a.Has("\"calls\""));
    }
  }
  EXPECT_EQ(rig.history.asked, 1);
}

TEST(WebServer, RefusesTheNetworkWithoutAuthentication) {
  for (const char* listen : {"0.0.0.0:0", "*:0"}) {
    SCOPED_TRACE(listen);
    Rig rig({listen, "", ""});
    EXPECT_FALSE(rig.Start());
    EXPECT_FALSE(rig.server->Listening());
    ASSERT_EQ(rig.log.size(), 1u) << rig.LogText();
    EXPECT_NE(rig.log[0].find("needs [Web] User and [Web] PasswordFile"), std::string::npos);
  }
  Rig off({"", "", ""});
  EXPECT_FALSE(off.Start());
  EXPECT_TRUE(off.log.empty());
}

TEST(WebServer, ReportsAPortInUse) {
  Rig first;
  ASSERT_TRUE(first.Start());
  Rig second({"127.0.0.1:" + std::to_string(first.server->Port()), "", ""});
  EXPECT_FALSE(second.Start());
  ASSERT_EQ(second.log.size(), 1u);
  EXPECT_NE(second.log[0].find("cannot listen"), std::string::npos);
}

// ---------------------------------------------------------------- limits and hostile clients

TEST(WebServer, HostileRequestsTable) {
  Rig rig;
  ASSERT_TRUE(rig.Start());
  struct Case {
    const char* name;
    std::string raw;
    int status;
  };
  const Case cases[] = {
      {"huge_head", "GET / HTTP/1.1\r\nX: " + std::string(20000, 'a') + "\r\n\r\n", 431},
      {"endless_line", std::string(20000, 'G'), 431},
      {"body", "POST /api/calls HTTP/1.1\r\nContent-Length: 3\r\n\r\nabc", 413},
      {"binary", std::string("\x16\x03\x01\x02\x00\x01\x00\x01\xfc\x03\x03\r\n\r\n", 15), 400},
      {"traversal", "GET /../../etc/passwd HTTP/1.1\r\n\r\n", 400},
      {"encoded_traversal", "GET /%2e%2e/etc/passwd HTTP/1.1\r\n\r\n", 400},
      {"nul_in_path", "GET /app.js%00.html HTTP/1.1\r\n\r\n", 400},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(rig.Get(c.raw).status, c.status);
  }
  EXPECT_EQ(rig.Request("/api/status").status, 200) << "still serving";
}

TEST(WebServer, ClosesIdleConnections) {
  Rig rig;
  WebServer::Limits limits;
  limits.idleMs = 100;
  ASSERT_TRUE(rig.Start(limits));
  const Answer a = rig.Get("GET / HTTP/1.1\r\n", 2000);  // never finishes its head
  EXPECT_EQ(a.status, 408);
  EXPECT_TRUE(WaitFor([&] { return rig.server->ConnectionCount() == 0; }));
}

TEST(WebServer, LimitsConnections) {
  Rig rig;
  WebServer::Limits limits;
  limits.maxClients = 4;
  ASSERT_TRUE(rig.Start(limits));
  std::vector<std::unique_ptr<QTcpSocket>> idle;
  for (int i = 0; i < 4; ++i) {
    idle.push_back(std::make_unique<QTcpSocket>());
    idle.back()->connectToHost(QHostAddress::LocalHost, rig.server->Port());
  }
  ASSERT_TRUE(WaitFor([&] { return rig.server->ConnectionCount() == 4; }));
  QTcpSocket extra;
  extra.connectToHost(QHostAddress::LocalHost, rig.server->Port());
  EXPECT_TRUE(WaitFor([&] { return extra.state() == QAbstractSocket::UnconnectedState; }));
  EXPECT_EQ(rig.server->ConnectionCount(), 4);
  idle.clear();
  ASSERT_TRUE(WaitFor([&] { return rig.server->ConnectionCount() == 0; }));
  EXPECT_EQ(rig.Request("/api/status").status, 200);
  EXPECT_EQ(std::count_if(rig.log.begin(), rig.log.end(),
                          [](const std::string& l) { return l.find("refused") != std::string::npos; }),
            1);
}

// ---------------------------------------------------------------- live events

TEST(WebServer, StreamsCallsAndStatus) {
  Rig rig;
  WebServer::Limits limits;
  limits.statusPollMs = 20;
  ASSERT_TRUE(rig.Start(limits));
  Stream stream(rig.server->Port());
  ASSERT_TRUE(stream.WaitText("event: status\ndata: {\"link\":{\"open\":true,\"state\":\"open\""));
  EXPECT_NE(stream.text.find("Content-Type: text/event-stream"), std::string::npos);
  rig.server->OnCallCompleted(Call(500, "<script>alert(1)</script>"));
  EXPECT_TRUE(stream.WaitText("event: call\ndata: {\"id\":0,") && stream.WaitText("\"name\":\"<script>alert(1)</script>\""));
  rig.server->OnCallUpdated(Call(500, "Jane"));
  EXPECT_TRUE(stream.WaitText("event: update\ndata: {"));
  // The link goes down: the poll notices without being told.
  rig.status.linkOpen = false;
  rig.status.linkState = "down";
  rig.status.linkReason = "Port /dev/x Not Connected";
  EXPECT_TRUE(stream.WaitText("\"state\":\"down\",\"reason\":\"Port /dev/x Not Connected\""));
  const std::size_t size = stream.text.size();
  Spin(100);
  EXPECT_EQ(stream.text.size(), size) << "an unchanged status is not sent again";
}

TEST(WebServer, DropsAStreamThatDoesNotRead) {
  Rig rig;
  WebServer::Limits limits;
  limits.maxWaiting = 16 * 1024;
  ASSERT_TRUE(rig.Start(limits));
  Stream reader(rig.server->Port());
  ASSERT_TRUE(reader.WaitText("event: status"));
  // A client that never reads: raw socket, its kernel buffers fill, then ours.
  Stream stuck(rig.server->Port(), false);
  ASSERT_TRUE(WaitFor([&] { return rig.server->StreamCount() == 2; }));
  const std::string big(4000, 'x');
  for (int i = 0; i < 2000 && rig.server->StreamCount() == 2; ++i) {
    rig.server->OnCallCompleted(Call(i, big));
    QCoreApplication::processEvents();
  }
  EXPECT_EQ(rig.server->StreamCount(), 1);
  EXPECT_NE(rig.LogText().find("does not read"), std::string::npos);
  rig.server->OnCallCompleted(Call(9999, "After"));
  EXPECT_TRUE(reader.WaitText("\"name\":\"After\""));
}

}  // namespace
