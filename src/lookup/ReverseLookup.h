#pragma once
// ReverseLookup: the HTTP side of the internet reverse lookup. It runs one GET at a
// time on its own QNetworkAccessManager (no proxy, no redirects followed, a 60 s
// transfer time-out of its own) and watches it with InetTimer (45 s unless set
// otherwise).
//
// Callers may rely on:
// - GetURL(url, number) cancelling the request under way, if any, and starting the
//   new one; the cancelled request's answer is never delivered;
// - each delivered answer carrying the number given with its own request, whatever
//   was started or looked up since (nothing else is shared between requests);
// - the answer handler being called only for a response that completed without a
//   network or HTTP error, with the whole body (at most kMaxPageBytes; a longer
//   page is cancelled); failures, cancels and the watchdog end a request silently;
// - a URL that Qt refuses being reported as false from GetURL, with nothing started.
// All on the thread of the event loop; the handler runs from that loop.
#include <QObject>
#include <QTimer>
#include <functional>
#include <string>

class QNetworkAccessManager;
class QNetworkReply;

class ReverseLookup : public QObject {
  Q_OBJECT
 public:
  static constexpr int kInetTimerMs = 45000;
  static constexpr int kTransferTimeoutMs = 60000;
  static constexpr qint64 kMaxPageBytes = 4 * 1024 * 1024;

  using AnswerHandler = std::function<void(const std::string& page, const std::string& number)>;

  explicit ReverseLookup(QObject* parent = nullptr);
  ~ReverseLookup() override;

  void SetAnswerHandler(AnswerHandler handler) { handler_ = std::move(handler); }
  // The watchdog's interval; tests set it short.
  void SetInetTimerInterval(int ms) { inetTimerMs_ = ms; }

  // Starts a GET for url whose answer belongs to number. False when the URL is not
  // usable; the earlier request is cancelled either way.
  bool GetURL(const std::string& url, const std::string& number);
  // Abandons the request under way, if any.
  void Cancel();
  bool Busy() const { return current_ != nullptr; }

 private:
  void InetTimerTick();
  void Finished(QNetworkReply* reply, const std::string& number);

  QNetworkAccessManager* nam_;
  QTimer InetTimer;
  int inetTimerMs_ = kInetTimerMs;
  QNetworkReply* current_ = nullptr;
  AnswerHandler handler_;
};
