#pragma once
// NcidSource: takes calls from an NCID server (CIDCommPort "ncid:host:port"), as an NCID
// client on TCP. For each "CID:" line of the server it emits callReceived(number, name),
// both cleaned of control bytes and trimmed, as the server wrote them ("NO NAME",
// "PRIVATE", "OUT-OF-AREA" and "NO-NUMBER" come through as words). The greeting, CIDLOG:
// lines (past calls) and every other line are ignored.
//
// It sends nothing but a keep-alive (one LF) every keep-alive interval (60 s) while
// connected. When the connection fails, ends, or a connect gets no answer within the connect
// timeout (10 s), it connects again by itself after a pause that starts at 2 s and doubles
// up to 60 s, and starts again at 2 s once a connection is made. The log gets one line when
// the link is lost (or the first connect fails) and one when it is back (or first made), not
// one per attempt. Lines are cut at 4 kB: a longer line is dropped (the first one of each
// connection is logged), so an endless line without line end costs no more than 4 kB and
// never stops the reading. All intervals can be set (tests use milliseconds).
//
// A slot connected to callReceived may call Stop; it must not delete the source. Everything
// runs on the owning thread.
#include <QObject>
#include <QTcpSocket>
#include <QTimer>
#include <functional>
#include <string>

#include "ncid/LineCutter.h"

class NcidSource : public QObject {
  Q_OBJECT
 public:
  using Log = std::function<void(const std::string& text)>;

  static constexpr int kKeepAliveMs = 60000;
  static constexpr int kRetryFirstMs = 2000;
  static constexpr int kRetryMaxMs = 60000;
  static constexpr int kConnectTimeoutMs = 10000;

  NcidSource(std::string host, int port, Log log, QObject* parent = nullptr);
  ~NcidSource() override;

  void SetKeepAliveInterval(int ms) { keepAliveMs_ = ms; }
  void SetRetryIntervals(int firstMs, int maxMs) {
    retryFirstMs_ = firstMs;
    retryMaxMs_ = maxMs;
  }
  void SetConnectTimeout(int ms) { connectTimeoutMs_ = ms; }

  // Connects now and keeps connecting until Stop.
  void Start();
  // Closes the connection; no more attempts until Start.
  void Stop();

  bool Connected() const { return socket_.state() == QAbstractSocket::ConnectedState; }
  // "host:port"
  std::string Target() const;
  // One line for status pages.
  std::string State() const;

 signals:
  void callReceived(const std::string& number, const std::string& name);

 private:
  void Connect();
  void OnConnected();
  void OnUnconnected();
  void OnReadyRead();
  void OnKeepAlive();
  void OnConnectTimeout();
  void Report(const std::string& text) const;

  std::string host_;
  int port_;
  Log log_;
  QTcpSocket socket_;
  QTimer retryTimer_;
  QTimer keepAliveTimer_;
  QTimer connectTimer_;
  ncid::LineCutter cutter_;

  int keepAliveMs_ = kKeepAliveMs;
  int retryFirstMs_ = kRetryFirstMs;
  int retryMaxMs_ = kRetryMaxMs;
  int connectTimeoutMs_ = kConnectTimeoutMs;
  int nextRetryMs_ = kRetryFirstMs;

  bool running_ = false;
  bool up_ = false;            // the link was reported up
  bool downReported_ = false;  // the failure of the current outage was reported
  bool overlongLogged_ = false;
  std::string lastError_;
};
