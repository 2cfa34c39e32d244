#pragma once
// WebServer: the built-in web page and its JSON API, on a small HTTP/1.1 server of its own
// (QTcpServer). Read-only: it shows the recent calls and the program's state, nothing more.
//
//   GET /                       the page (index.html, app.js, app.css compiled in)
//   GET /api/calls?limit=N&before=T&search=S   the history, newest first, N from 1 to 500
//                               (default 50); T is epoch ms or UTC ISO 8601; "next" in the
//                               answer is T for the following page
//   GET /api/status             the status bar's values (see WebStatus)
//   GET /api/events             server-sent events: "status" at once and on every change,
//                               "call" per completed call, "update" per renamed call
// HEAD works wherever GET does; other methods get 405. Every answer closes its connection
// (apart from the event stream) and carries a Content-Security-Policy that allows only the
// page's own files, so no inline script runs.
//
// Authentication: when the plan has a user, every request (the page's files too) needs
// HTTP basic authentication with that user and password, else 401. CheckWebConfig (see
// WebConfig.h) refuses to serve a non-loopback address without one; Start logs its reason.
//
// Bounds, so that no client can hurt the program or the other clients:
//  - at most limits.maxClients connections (64); a further one is closed at once, with one
//    log line per run of refusals;
//  - a request head longer than limits.maxHead (8 kB) gets 431, a body 413;
//  - a connection that has not sent a whole request within limits.idleMs (10 s) is closed;
//  - writes never block: an event-stream client with more than limits.maxWaiting bytes
//    still unsent is dropped (one log line per run), so a slow or hostile client never
//    delays a call; a comment line every limits.keepAliveMs keeps idle streams open.
// The status goes out when PushStatus is called (the program calls it on a link change) and
// when a look every limits.statusPollMs, made only while streams are open, finds a change.
// The call slots build one event text and queue it; it is written to every stream from the
// event loop, after every other output has had the call. They return at once and never
// throw. The providers are called on this thread, from request handlers only.
#include <QObject>
#include <QTcpServer>
#include <QTimer>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/CompletedCall.h"
#include "history/StoredCall.h"
#include "web/HttpRequest.h"
#include "web/WebConfig.h"
#include "web/WebJson.h"

class QTcpSocket;

class WebServer : public QObject {
  Q_OBJECT
 public:
  using Time = std::chrono::system_clock::time_point;
  // Newest first, at most limit, older than before, matching search (case-blind, any part
  // of the name or number). The call history's Recent.
  using CallsProvider = std::function<std::vector<StoredCall>(
      int limit, std::optional<Time> before, const std::string& search)>;
  using StatusProvider = std::function<web::WebStatus()>;
  using Log = std::function<void(const std::string& text)>;

  struct Limits {
    int maxClients = 64;
    std::size_t maxHead = 8192;
    int idleMs = 10000;
    qint64 maxWaiting = 256 * 1024;
    int keepAliveMs = 15000;
    int statusPollMs = 1000;  // how often the status is looked at for changes
  };
  static constexpr int kDefaultCalls = 50;
  static constexpr int kMaxCalls = 500;
  static constexpr std::size_t kMaxSearch = 100;

  WebServer(web::WebConfig config, CallsProvider calls, StatusProvider status, Log log,
            QObject* parent = nullptr);
  ~WebServer() override;

  // Set before Start (tests use short times).
  void SetLimits(const Limits& limits) { limits_ = limits; }

  // Listens on the configured address; true when listening. False without a log line when
  // the address is empty; false with one log line when the settings forbid it or the
  // address cannot be used.
  bool Start();
  // Stops listening and closes every connection.
  void Stop();

  bool Listening() const { return server_.isListening(); }
  quint16 Port() const { return server_.serverPort(); }
  int ConnectionCount() const { return static_cast<int>(clients_.size()); }
  int StreamCount() const;

 public slots:
  void OnCallCompleted(const CompletedCall& call);
  void OnCallUpdated(const CompletedCall& call);
  // Sends the status to every stream when it changed (the uptime aside).
  void PushStatus();

 private:
  struct Client;

  void OnNewConnection();
  void OnReadyRead(Client& client);
  void Handle(Client& client, const web::HttpRequest& request);
  void Respond(Client& client, int status, const std::string& type, const std::string& body,
               bool headOnly, const std::string& extraHeaders = {});
  void StartStream(Client& client, bool headOnly);
  void Queue(std::string event);
  void SendQueued();
  void Broadcast(const std::string& event);
  bool Write(Client& client, const std::string& bytes);
  web::WebStatus CurrentStatus();
  Client* Find(QTcpSocket* socket);
  void Remove(QTcpSocket* socket);
  void Report(const std::string& text) const;

  web::WebConfig config_;
  CallsProvider calls_;
  StatusProvider status_;
  Log log_;
  Limits limits_;
  web::ListenPlan plan_;
  QTcpServer server_;
  QTimer keepAlive_;
  QTimer statusPoll_;
  std::vector<std::unique_ptr<Client>> clients_;
  std::map<std::string, std::pair<std::string, std::string>> files_;  // path -> type, bytes
  std::string lastLinkState_;
  std::optional<Time> linkSince_;
  std::string queued_;      // call events not yet written to the streams
  std::string lastStatus_;  // the last status sent, without the uptime
  bool refusing_ = false;
  bool droppedSlow_ = false;
};
