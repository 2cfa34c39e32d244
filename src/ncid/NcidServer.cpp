#include "ncid/NcidServer.h"

#include <QHostAddress>
#include <QTcpSocket>
#include <QTimer>
#include <algorithm>

#include "ncid/LineCutter.h"
#include "ncid/NcidProtocol.h"

#ifndef XAPVYNCID_VERSION
#define XAPVYNCID_VERSION "0"
#endif

namespace {

constexpr const char* kServerName = "Server: xapvynCID " XAPVYNCID_VERSION;
constexpr const char* kSetting = "[NCID] Listen";

std::string PeerText(const QTcpSocket& s) {
  return s.peerAddress().toString().toStdString() + ":" + std::to_string(s.peerPort());
}

}  // namespace

struct NcidServer::Client {
  QTcpSocket* socket = nullptr;
  ncid::LineCutter cutter;
  bool live = false;  // connection start is over: calls go out at once
  bool sendLog = true;
  bool overlongLogged = false;
  std::string held;  // call lines that completed during the connection start
  std::string peer;
};

NcidServer::NcidServer(ncid::NcidServerConfig config, History history, Log log, QObject* parent)
    : QObject(parent),
      config_(std::move(config)),
      history_(std::move(history)),
      log_(std::move(log)) {
  connect(&server_, &QTcpServer::newConnection, this, &NcidServer::OnNewConnection);
}

NcidServer::~NcidServer() { Stop(); }

bool NcidServer::Start() {
  Stop();
  started_ = true;
  failure_.clear();
  if (config_.listen.empty()) return false;
  const ncid::HostPort where = ncid::ParseListenAddress(config_.listen);
  QHostAddress address(QHostAddress::Any);
  if (!where.Usable()) {
    failure_ = where.reason;
  } else if (!where.host.empty() && !address.setAddress(QString::fromStdString(where.host))) {
    failure_ = "\"" + where.host + "\" is not an IP address";
  } else if (!server_.listen(address, static_cast<quint16>(where.port))) {
    failure_ = server_.errorString().toStdString();
  }
  if (!failure_.empty()) {
    Report("NCID server: cannot listen on " + config_.listen + " (" + kSetting + "): " + failure_);
    return false;
  }
  return true;
}

void NcidServer::Stop() {
  server_.close();
  while (!clients_.empty()) Remove(clients_.back()->socket);
  refusing_ = false;
}

std::string NcidServer::State() const {
  if (config_.listen.empty()) return std::string("NCID server off (") + kSetting + " is empty)";
  if (!failure_.empty()) return "NCID server not listening on " + config_.listen + ": " + failure_;
  if (!started_) return "NCID server not started";
  if (!server_.isListening()) return "NCID server stopped";
  const QHostAddress a = server_.serverAddress();
  std::string host = a == QHostAddress::Any ? std::string("*") : a.toString().toStdString();
  if (host.find(':') != std::string::npos) host = "[" + host + "]";
  const std::size_t n = clients_.size();
  return "NCID server listening on " + host + ":" + std::to_string(server_.serverPort()) + ", " +
         std::to_string(n) + (n == 1 ? " client" : " clients");
}

void NcidServer::OnNewConnection() {
  while (QTcpSocket* socket = server_.nextPendingConnection()) {
    if (clients_.size() >= static_cast<std::size_t>(kMaxClients)) {
      if (!refusing_)
        Report("NCID server: refused " + PeerText(*socket) + ": already " +
               std::to_string(kMaxClients) + " clients");
      refusing_ = true;
      socket->abort();
      socket->deleteLater();
      continue;
    }
    auto client = std::make_unique<Client>();
    client->socket = socket;
    client->peer = PeerText(*socket);
    socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    socket->setSocketOption(QAbstractSocket::KeepAliveOption, 1);
    // What one turn of the event loop takes from a client that floods.
    socket->setReadBufferSize(64 * 1024);
    connect(socket, &QTcpSocket::readyRead, this, [this, socket] { OnReadyRead(socket); });
    // Removed from the event loop, so a disconnect seen inside a write never pulls a client
    // out of the list while SendCall walks it.
    connect(
        socket, &QTcpSocket::disconnected, this, [this, socket] { Remove(socket); },
        Qt::QueuedConnection);
    auto* hello = new QTimer(socket);
    hello->setSingleShot(true);
    connect(hello, &QTimer::timeout, this, [this, socket] {
      if (Client* c = Find(socket)) FinishStartup(*c);
    });
    Client& c = *client;
    clients_.push_back(std::move(client));
    Write(c, ncid::ServerGreeting(kServerName));
    hello->start(helloWaitMs_);
  }
}

void NcidServer::OnReadyRead(QTcpSocket* socket) {
  Client* c = Find(socket);
  if (!c) {
    socket->readAll();
    return;
  }
  const QByteArray bytes = socket->readAll();
  const ncid::LineCutter::FeedResult fed =
      c->cutter.Feed(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())),
                     [this, c](std::string_view line) { OnClientLine(*c, line); });
  if (fed.overlong > 0 && !c->overlongLogged) {
    c->overlongLogged = true;
    Report("NCID server: dropped a line of over " + std::to_string(ncid::LineCutter::kMaxLine) +
           " bytes from " + c->peer);
  }
}

void NcidServer::OnClientLine(Client& c, std::string_view line) {
  // After the connection start nothing a client says is answered.
  if (c.live) return;
  switch (ncid::ClassifyClientLine(ncid::CleanField(line))) {
    case ncid::ClientLine::KeepAlive:
    case ncid::ClientLine::Hello:
      break;
    case ncid::ClientLine::HelloNoLog:
      c.sendLog = false;
      FinishStartup(c);
      break;
    case ncid::ClientLine::Other:
      FinishStartup(c);
      break;
  }
}

void NcidServer::FinishStartup(Client& c) {
  if (c.live) return;
  c.live = true;
  std::vector<CompletedCall> calls;
  bool sendLog = c.sendLog && config_.logLines > 0 && history_;
  if (sendLog) {
    try {
      calls = history_(config_.logLines);
    } catch (...) {
      sendLog = false;
    }
    if (calls.size() > static_cast<std::size_t>(config_.logLines))
      calls.erase(calls.begin(), calls.end() - config_.logLines);
  }
  std::string out = ncid::CallLogSection(calls, config_.line, sendLog);
  out += ncid::kStartupEnd;
  out += c.held;
  c.held.clear();
  Write(c, out);
}

void NcidServer::SendCall(const CompletedCall& call) {
  if (clients_.empty()) return;
  const std::string line = ncid::FormatCallLine("CID", ncid::NcidFieldsOf(call, config_.line));
  std::vector<QTcpSocket*> slow;
  for (const auto& c : clients_) {
    if (!c->live) {
      c->held += line;
      if (static_cast<qint64>(c->held.size()) > kMaxWaiting) slow.push_back(c->socket);
      continue;
    }
    Write(*c, line);
    if (c->socket->bytesToWrite() > kMaxWaiting) slow.push_back(c->socket);
  }
  for (QTcpSocket* socket : slow) {
    const Client* c = Find(socket);
    if (!c) continue;
    const qint64 waiting = socket->bytesToWrite() + static_cast<qint64>(c->held.size());
    Report("NCID server: dropped " + c->peer + ": not reading, " + std::to_string(waiting) +
           " bytes waiting");
    Remove(socket);
  }
}

void NcidServer::Write(Client& c, const std::string& bytes) {
  if (c.socket->state() != QAbstractSocket::ConnectedState) return;
  c.socket->write(bytes.data(), static_cast<qint64>(bytes.size()));
  // Hand the bytes to the system now rather than on the next turn of the event loop.
  c.socket->flush();
}

NcidServer::Client* NcidServer::Find(QTcpSocket* socket) {
  for (const auto& c : clients_)
    if (c->socket == socket) return c.get();
  return nullptr;
}

void NcidServer::Remove(QTcpSocket* socket) {
  const auto it = std::find_if(clients_.begin(), clients_.end(),
                               [socket](const auto& c) { return c->socket == socket; });
  if (it == clients_.end()) return;
  clients_.erase(it);
  disconnect(socket, nullptr, this, nullptr);
  socket->abort();
  socket->deleteLater();
  refusing_ = false;
}

void NcidServer::Report(const std::string& text) const {
  if (log_) log_(text);
}
