#pragma once
// NcidServer: an NCID server for NCID clients (phones, desktop pop-ups, other programs) on
// TCP. Every client connected gets each completed call as one "CID:" line.
//
// Connection start, per client: "200 Server: xapvynCID <version>" and "210 API 1.0 Feature
// Set 1" at once; then the server waits for HELLO lines (up to the hello wait, 150 ms unless
// set, or until the client sends "HELLO: CMD: no_log" or any line that is not a HELLO line),
// then sends the call log: the last LogLines calls from the history provider as CIDLOG:
// lines and "250 End of call log"; "252 Call log empty" when it has none; "251 Call log not
// sent" after no_log, with LogLines 0, without a provider or when it fails. Then "300 End of
// connection startup". A call that completes during the start is sent right after it.
//
// Bounds, so that no client can hurt the program or the other clients:
//  - at most kMaxClients clients; a further connection is closed at once, with one log line
//    per run of refusals (another line only after a client has left);
//  - a client that does not read is dropped, with one log line, once more than kMaxWaiting
//    bytes wait for it after a call line; writes never block, so the others are not delayed;
//  - client input is cut into lines of at most 4 kB (a longer line is dropped; the first one
//    of each connection is logged) and cleaned; keep-alives (empty lines) and every line
//    apart from HELLO at the start are ignored and never answered.
//
// Start listens on config.listen; a listen failure or a bad address is one log line naming
// the address and the setting "[NCID] Listen". An empty address leaves the server off.
// SendCall is the slot for CallEvents::callCompleted; it returns at once and never throws.
// State() is a one-line text for status pages. Everything runs on the owning thread.
#include <QObject>
#include <QTcpServer>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/CompletedCall.h"
#include "ncid/NcidConfig.h"

class QTcpSocket;

class NcidServer : public QObject {
  Q_OBJECT
 public:
  // The last n completed calls, oldest first (the order of the CIDLOG: lines). Fewer when
  // there are fewer; more are cut to the last n.
  using History = std::function<std::vector<CompletedCall>(int n)>;
  using Log = std::function<void(const std::string& text)>;

  static constexpr int kMaxClients = 32;
  static constexpr qint64 kMaxWaiting = 64 * 1024;
  static constexpr int kHelloWaitMs = 150;

  NcidServer(ncid::NcidServerConfig config, History history, Log log, QObject* parent = nullptr);
  ~NcidServer() override;

  void SetHelloWait(int ms) { helloWaitMs_ = ms; }

  // Listens on config.listen; true when listening. False, without a log line, when the
  // address is empty (server off); false with one log line when it cannot listen.
  bool Start();
  // Stops listening and closes every client.
  void Stop();

  bool Listening() const { return server_.isListening(); }
  quint16 Port() const { return server_.serverPort(); }
  int ClientCount() const { return static_cast<int>(clients_.size()); }
  std::string State() const;

 public slots:
  void SendCall(const CompletedCall& call);

 private:
  struct Client;

  void OnNewConnection();
  void OnReadyRead(QTcpSocket* socket);
  void OnClientLine(Client& client, std::string_view line);
  void FinishStartup(Client& client);
  void Write(Client& client, const std::string& bytes);
  Client* Find(QTcpSocket* socket);
  void Remove(QTcpSocket* socket);
  void Report(const std::string& text) const;

  ncid::NcidServerConfig config_;
  History history_;
  Log log_;
  QTcpServer server_;
  std::vector<std::unique_ptr<Client>> clients_;
  int helloWaitMs_ = kHelloWaitMs;
  bool refusing_ = false;
  std::string failure_;  // why the last Start did not listen
  bool started_ = false;
};
