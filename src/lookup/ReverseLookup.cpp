#include "lookup/ReverseLookup.h"

#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUrl>

ReverseLookup::ReverseLookup(QObject* parent)
    : QObject(parent), nam_(new QNetworkAccessManager(this)) {
  nam_->setProxy(QNetworkProxy::NoProxy);
  InetTimer.setSingleShot(true);
  connect(&InetTimer, &QTimer::timeout, this, &ReverseLookup::InetTimerTick);
}

ReverseLookup::~ReverseLookup() { Cancel(); }

bool ReverseLookup::GetURL(const std::string& url, const std::string& number) {
  InetTimer.stop();
  Cancel();
  const QUrl qurl(QString::fromLatin1(url.data(), static_cast<qsizetype>(url.size())),
                  QUrl::StrictMode);
  if (!qurl.isValid() ||
      (qurl.scheme() != QLatin1String("http") && qurl.scheme() != QLatin1String("https"))) {
    return false;
  }
  QNetworkRequest request(qurl);
  request.setTransferTimeout(kTransferTimeoutMs);
  request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                       QNetworkRequest::ManualRedirectPolicy);
  QNetworkReply* reply = nam_->get(request);
  current_ = reply;
  // The number travels with its own reply, so a later lookup cannot take its place.
  connect(reply, &QNetworkReply::finished, this,
          [this, reply, number] { Finished(reply, number); });
  connect(reply, &QNetworkReply::downloadProgress, this, [this, reply](qint64 received, qint64) {
    if (received > kMaxPageBytes && reply == current_) Cancel();
  });
  InetTimer.start(inetTimerMs_);
  return true;
}

void ReverseLookup::Cancel() {
  InetTimer.stop();
  QNetworkReply* reply = current_;
  if (!reply) return;
  // Cleared first: abort() emits finished() at once, and that answer must be dropped.
  current_ = nullptr;
  reply->abort();
  reply->deleteLater();
}

void ReverseLookup::InetTimerTick() { Cancel(); }

void ReverseLookup::Finished(QNetworkReply* reply, const std::string& number) {
  if (reply != current_) return;
  current_ = nullptr;
  InetTimer.stop();
  reply->deleteLater();
  if (reply->error() != QNetworkReply::NoError) return;
  const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
  if (status < 200 || status >= 300) return;
  const QByteArray body = reply->readAll();
  if (handler_)
    handler_(std::string(body.constData(), static_cast<std::size_t>(body.size())), number);
}
