#include "web/WebServer.h"

#include <QFile>
#include <QHostAddress>
#include <QTcpSocket>
#include <algorithm>

namespace {

constexpr const char* kSecurityHeaders =
    "Content-Security-Policy: default-src 'none'; script-src 'self'; style-src 'self'; "
    "img-src 'self'; connect-src 'self'; base-uri 'none'; form-action 'none'; "
    "frame-ancestors 'none'\r\n"
    "X-Content-Type-Options: nosniff\r\n"
    "X-Frame-Options: DENY\r\n"
    "Referrer-Policy: no-referrer\r\n"
    "Cache-Control: no-store\r\n";

std::string ReadResource(const char* path) {
  QFile file(QString::fromLatin1(path));
  if (!file.open(QIODevice::ReadOnly)) return {};
  return file.readAll().toStdString();
}

bool ReadFile(const std::string& path, std::string& contents) {
  QFile file(QString::fromStdString(path));
  if (!file.open(QIODevice::ReadOnly)) return false;
  contents = file.read(4096).toStdString();
  return true;
}

}  // namespace

struct WebServer::Client {
  QTcpSocket* socket = nullptr;
  std::string in;
  bool answered = false;  // a response went out; the connection is closing
  bool stream = false;
  QTimer idle;
};

WebServer::WebServer(web::WebConfig config, CallsProvider calls, StatusProvider status, Log log,
                     QObject* parent)
    : QObject(parent),
      config_(std::move(config)),
      calls_(std::move(calls)),
      status_(std::move(status)),
      log_(std::move(log)) {
  connect(&server_, &QTcpServer::newConnection, this, &WebServer::OnNewConnection);
  connect(&keepAlive_, &QTimer::timeout, this, [this] { Broadcast(": keep-alive\n\n"); });
  connect(&statusPoll_, &QTimer::timeout, this, [this] {
    if (StreamCount() > 0) PushStatus();
  });
}

WebServer::~WebServer() { Stop(); }

bool WebServer::Start() {
  if (config_.listen.empty()) return false;
  if (server_.isListening()) return true;
  plan_ = web::CheckWebConfig(config_, &ReadFile);
  if (!plan_.Usable()) {
    Report(plan_.reason);
    return false;
  }
  QHostAddress address = QHostAddress::Any;
  if (plan_.host == "localhost") {
    address = QHostAddress::LocalHost;
  } else if (!plan_.host.empty() && !address.setAddress(QString::fromStdString(plan_.host))) {
    Report("Web page not started: [Web] Listen \"" + config_.listen +
           "\": the address is not an IP address");
    return false;
  }
  files_["/"] = {"text/html; charset=utf-8", ReadResource(":/web/index.html")};
  files_["/app.js"] = {"text/javascript; charset=utf-8", ReadResource(":/web/app.js")};
  files_["/app.css"] = {"text/css; charset=utf-8", ReadResource(":/web/app.css")};
  files_["/favicon.ico"] = {"image/svg+xml", ReadResource(":/web/icon.svg")};
  files_["/icon.svg"] = files_["/favicon.ico"];
  server_.setMaxPendingConnections(limits_.maxClients);
  if (!server_.listen(address, static_cast<quint16>(plan_.port))) {
    Report("Web page: cannot listen on " + config_.listen + " ([Web] Listen): " +
           server_.errorString().toStdString());
    return false;
  }
  keepAlive_.start(limits_.keepAliveMs);
  statusPoll_.start(limits_.statusPollMs);
  Report("Web page on http://" + config_.listen.substr(0, config_.listen.rfind(':') + 1) +
         std::to_string(server_.serverPort()) + "/" +
         (plan_.user.empty() ? "" : " (user " + plan_.user + ")"));
  return true;
}

void WebServer::Stop() {
  keepAlive_.stop();
  statusPoll_.stop();
  server_.close();
  while (!clients_.empty()) Remove(clients_.back()->socket);
}

int WebServer::StreamCount() const {
  return static_cast<int>(std::count_if(clients_.begin(), clients_.end(),
                                        [](const auto& c) { return c->stream; }));
}

void WebServer::OnNewConnection() {
  while (QTcpSocket* socket = server_.nextPendingConnection()) {
    if (static_cast<int>(clients_.size()) >= limits_.maxClients) {
      if (!refusing_)
        Report("Web page: " + std::to_string(limits_.maxClients) +
               " connections open; further connections are refused");
      refusing_ = true;
      socket->abort();
      socket->deleteLater();
      continue;
    }
    auto client = std::make_unique<Client>();
    client->socket = socket;
    client->idle.setSingleShot(true);
    connect(&client->idle, &QTimer::timeout, socket, [this, socket] {
      if (Client* c = Find(socket); c && !c->answered) {
        Respond(*c, 408, "text/plain; charset=utf-8", "Request timeout\n", false);
      } else {
        Remove(socket);
      }
    });
    client->idle.start(limits_.idleMs);
    connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
      if (Client* c = Find(socket)) OnReadyRead(*c);
    });
    connect(socket, &QTcpSocket::disconnected, this, [this, socket] { Remove(socket); });
    connect(socket, &QTcpSocket::errorOccurred, this, [this, socket] { Remove(socket); });
    clients_.push_back(std::move(client));
  }
}

void WebServer::OnReadyRead(Client& client) {
  if (client.answered || client.stream) {
    client.socket->readAll();  // nothing more is read from a connection once answered
    return;
  }
  const QByteArray bytes = client.socket->read(static_cast<qint64>(limits_.maxHead + 1));
  client.in.append(bytes.constData(), static_cast<std::size_t>(bytes.size()));
  const web::HeadResult head = web::ParseRequestHead(client.in, limits_.maxHead);
  if (head.state == web::HeadState::Incomplete) {
    // More may already wait: read until the head is whole or too long.
    if (client.socket->bytesAvailable() > 0) OnReadyRead(client);
    return;
  }
  client.in.clear();
  if (head.state == web::HeadState::Error) {
    Respond(client, head.status, "text/plain; charset=utf-8",
            std::string(web::StatusText(head.status)) + "\n", false);
    return;
  }
  Handle(client, head.request);
}

void WebServer::Handle(Client& client, const web::HttpRequest& request) {
  const bool head = request.method == "HEAD";
  const std::string text = "text/plain; charset=utf-8";
  const std::string json = "application/json; charset=utf-8";
  if (request.method != "GET" && !head) {
    Respond(client, 405, text, "Read-only: GET and HEAD only\n", false, "Allow: GET, HEAD\r\n");
    return;
  }
  if (!plan_.user.empty() &&
      !web::BasicAuthMatches(request.authorization, plan_.user, plan_.password)) {
    Respond(client, 401, text, "Authentication required\n", head,
            "WWW-Authenticate: Basic realm=\"xapvynCID\", charset=\"UTF-8\"\r\n");
    return;
  }
  const std::string path = request.path == "/index.html" ? "/" : request.path;
  if (auto file = files_.find(path); file != files_.end()) {
    Respond(client, 200, file->second.first, file->second.second, head);
    return;
  }
  if (path == "/api/status") {
    Respond(client, 200, json, web::StatusJson(CurrentStatus()) + "\n", head);
    return;
  }
  if (path == "/api/events") {
    StartStream(client, head);
    return;
  }
  if (path != "/api/calls") {
    Respond(client, 404, text, "Not found\n", head);
    return;
  }
  int limit = kDefaultCalls;
  if (request.HasQuery("limit")) {
    const std::string value = request.Query("limit");
    bool ok = !value.empty() && value.size() <= 4;
    int n = 0;
    for (char c : value) ok = ok && c >= '0' && c <= '9', n = n * 10 + (c - '0');
    if (!ok || n < 1 || n > kMaxCalls) {
      Respond(client, 400, text, "limit must be a number from 1 to 500\n", head);
      return;
    }
    limit = n;
  }
  std::optional<Time> before;
  if (request.HasQuery("before")) {
    before = web::ParseTimeParam(request.Query("before"));
    if (!before) {
      Respond(client, 400, text, "before must be epoch milliseconds or UTC ISO 8601\n", head);
      return;
    }
  }
  const std::string search = request.Query("search");
  if (search.size() > kMaxSearch) {
    Respond(client, 400, text, "search is longer than 100 bytes\n", head);
    return;
  }
  std::vector<StoredCall> calls;
  if (calls_) calls = calls_(limit + 1, before, search);
  const bool more = static_cast<int>(calls.size()) > limit;
  if (more) calls.resize(static_cast<std::size_t>(limit));
  Respond(client, 200, json, web::CallsJson(calls, more) + "\n", head);
}

void WebServer::Respond(Client& client, int status, const std::string& type,
                        const std::string& body, bool headOnly, const std::string& extraHeaders) {
  std::string out = "HTTP/1.1 " + std::to_string(status) + " " +
                    std::string(web::StatusText(status)) + "\r\nContent-Type: " + type +
                    "\r\nContent-Length: " + std::to_string(body.size()) +
                    "\r\nConnection: close\r\n" + kSecurityHeaders + extraHeaders + "\r\n";
  if (!headOnly) out += body;
  client.answered = true;
  client.idle.start(limits_.idleMs);  // a client that never reads its answer goes all the same
  client.socket->write(out.data(), static_cast<qint64>(out.size()));
  client.socket->disconnectFromHost();
}

void WebServer::StartStream(Client& client, bool headOnly) {
  std::string out =
      "HTTP/1.1 200 OK\r\nContent-Type: text/event-stream; charset=utf-8\r\n"
      "Connection: close\r\n" +
      std::string(kSecurityHeaders) + "\r\n";
  if (headOnly) {
    client.answered = true;
    client.socket->write(out.data(), static_cast<qint64>(out.size()));
    client.socket->disconnectFromHost();
    return;
  }
  client.stream = true;
  client.idle.stop();
  web::WebStatus status = CurrentStatus();
  out += "retry: 2000\n\nevent: status\ndata: " + web::StatusJson(status) + "\n\n";
  Write(client, out);
}

void WebServer::OnCallCompleted(const CompletedCall& call) {
  Queue("event: call\ndata: " + web::CallJson(call, 0) + "\n\n");
}

void WebServer::OnCallUpdated(const CompletedCall& call) {
  Queue("event: update\ndata: " + web::CallJson(call, 0) + "\n\n");
}

void WebServer::Queue(std::string event) {
  if (StreamCount() == 0) return;
  // Written from the event loop, after every other output has had the call.
  if (queued_.empty())
    QMetaObject::invokeMethod(this, &WebServer::SendQueued, Qt::QueuedConnection);
  queued_ += event;
}

void WebServer::SendQueued() {
  std::string events;
  events.swap(queued_);
  if (!events.empty()) Broadcast(events);
}

void WebServer::PushStatus() {
  if (!server_.isListening()) return;
  web::WebStatus status = CurrentStatus();
  web::WebStatus compare = status;
  compare.uptimeSeconds = 0;
  std::string key = web::StatusJson(compare);
  if (key == lastStatus_) return;
  lastStatus_ = std::move(key);
  Broadcast("event: status\ndata: " + web::StatusJson(status) + "\n\n");
}

void WebServer::Broadcast(const std::string& event) {
  std::vector<QTcpSocket*> slow;
  for (const auto& client : clients_)
    if (client->stream && !Write(*client, event)) slow.push_back(client->socket);
  for (QTcpSocket* socket : slow) Remove(socket);
  if (!slow.empty() && !droppedSlow_) {
    droppedSlow_ = true;
    Report("Web page: a client that does not read its live updates was dropped");
  }
}

bool WebServer::Write(Client& client, const std::string& bytes) {
  if (client.socket->bytesToWrite() + static_cast<qint64>(bytes.size()) > limits_.maxWaiting)
    return false;
  client.socket->write(bytes.data(), static_cast<qint64>(bytes.size()));
  return true;
}

web::WebStatus WebServer::CurrentStatus() {
  web::WebStatus status = status_ ? status_() : web::WebStatus{};
  if (status.linkState != lastLinkState_ || !linkSince_) {
    lastLinkState_ = status.linkState;
    linkSince_ = std::chrono::system_clock::now();
  }
  if (!status.linkSince) status.linkSince = linkSince_;
  return status;
}

WebServer::Client* WebServer::Find(QTcpSocket* socket) {
  for (const auto& c : clients_)
    if (c->socket == socket) return c.get();
  return nullptr;
}

void WebServer::Remove(QTcpSocket* socket) {
  const auto it = std::find_if(clients_.begin(), clients_.end(),
                               [socket](const auto& c) { return c->socket == socket; });
  if (it == clients_.end()) return;
  std::unique_ptr<Client> client = std::move(*it);
  clients_.erase(it);
  socket->disconnect(this);
  client->idle.stop();
  socket->abort();
  socket->deleteLater();
  if (static_cast<int>(clients_.size()) < limits_.maxClients) refusing_ = false;
  if (StreamCount() == 0) droppedSlow_ = false;
}

void WebServer::Report(const std::string& text) const {
  if (log_) log_(text);
}
