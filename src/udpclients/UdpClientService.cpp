#include "udpclients/UdpClientService.h"

#include <QFile>
#include <QHostAddress>
#include <QNetworkDatagram>

namespace {
QString Latin1(const std::string& s) {
  return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size()));
}

std::string Bytes(const QByteArray& b) {
  return std::string(b.constData(), static_cast<std::size_t>(b.size()));
}

// The store as the registry sees it: saves wait in pending until a commit hands them to
// settings and syncs the file.
ClientStore SettingsStore(QSettings& settings, std::map<std::string, std::string>& pending) {
  ClientStore store;
  store.Get = [&settings, &pending](const std::string& section, const std::string& key,
                                    const std::string& fallback) {
    const auto it = pending.find(section + "/" + key);
    if (it != pending.end()) return it->second;
    return Bytes(
        settings.value(Latin1(section + "/" + key), Latin1(fallback)).toString().toLatin1());
  };
  store.Save = [&pending](const std::string& section, const std::string& key,
                          const std::string& value) { pending[section + "/" + key] = value; };
  store.Commit = [&settings, &pending] {
    for (const auto& [key, value] : pending) settings.setValue(Latin1(key), Latin1(value));
    pending.clear();
    settings.sync();
    return static_cast<int>(settings.status());
  };
  return store;
}

std::unique_ptr<QSettings> OpenStore(const std::string& storeFile) {
  if (storeFile.empty())
    return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                       QStringLiteral("xapvynCID"), QStringLiteral("xapvynCID"));
  return std::make_unique<QSettings>(
      QFile::decodeName(QByteArray(storeFile.data(), static_cast<qsizetype>(storeFile.size()))),
      QSettings::IniFormat);
}

// The sender as dotted IPv4 text, the same text that later addresses its call datagrams.
std::string SenderText(const QHostAddress& address) {
  if (address.isNull()) return {};
  bool mapped = false;
  const quint32 v4 = address.toIPv4Address(&mapped);
  if (mapped) return QHostAddress(v4).toString().toStdString();
  return address.toString().toStdString();
}
}  // namespace

UdpClientService::UdpClientService(HostHooks hooks, const std::string& storeFile, QObject* parent)
    : QObject(parent),
      hooks_(hooks),
      settings_(OpenStore(storeFile)),
      log_(hooks),
      registry_(SettingsStore(*settings_, pending_), log_,
                [this](const std::string& a, int p, const std::string& b) {
                  return SendDatagram(a, p, b);
                }) {
  connect(&winsock1_, &QUdpSocket::readyRead, this, &UdpClientService::Winsock1DataArrival);
  commitTimer_.setInterval(1000);
  commitTimer_.setSingleShot(true);
  connect(&commitTimer_, &QTimer::timeout, this, [this] { registry_.CommitPending(); });
}

UdpClientService::~UdpClientService() { Close(); }

void UdpClientService::InitIO() {
  const ClientRegistry::Ports ports = registry_.PrepareService();
  if (!ports.ok) {
    hooks_.Report("xapvynCID", "InitUDP", 6, ports.description);
    return;
  }
  // A second start (the option switched on again) gets a fresh socket rather than a failed bind.
  winsock1_.close();
  const bool bound =
      winsock1_.bind(QHostAddress(QHostAddress::AnyIPv4), static_cast<quint16>(ports.LocalPort),
                     QAbstractSocket::DontShareAddress);
  registry_.SetServiceActive(bound);
}

void UdpClientService::Close() {
  commitTimer_.stop();
  registry_.CommitPending();
  winsock1_.close();
  registry_.SetServiceActive(false);
}

quint16 UdpClientService::BoundPort() const {
  return winsock1_.state() == QAbstractSocket::BoundState ? winsock1_.localPort() : 0;
}

void UdpClientService::SendCIDSentry(const std::string& name, const std::string& number) {
  registry_.SendCIDSentry(name, number);
}

void UdpClientService::OnCallCompleted(const CompletedCall& call) {
  std::string name;
  std::size_t from = 0;
  for (std::size_t at; (at = call.name.find(" from ", from)) != std::string::npos; from = at + 6)
    name.append(call.name, from, at - from).push_back('/');
  name.append(call.name, from, std::string::npos);
  SendCIDSentry(name, call.displayNumber);
}

void UdpClientService::OnCallUpdated(const CompletedCall& call) {
  SendCIDSentry(call.name, call.displayNumber);
}

void UdpClientService::UDPSendCID(const std::string& name, const std::string& number,
                                  const std::string& client) {
  registry_.UDPSendCID(name, number, client);
}

void UdpClientService::Winsock1DataArrival() {
  for (int n = 0; n < kRequestsPerPass && winsock1_.hasPendingDatagrams(); ++n) {
    const QNetworkDatagram d = winsock1_.receiveDatagram();
    if (!d.isValid()) break;
    registry_.HandleRequest(Bytes(d.data()), SenderText(d.senderAddress()));
  }
  if (registry_.HasPendingChanges() && !commitTimer_.isActive()) commitTimer_.start();
  // The rest waits for the next pass (the socket reports it again), after timers and other
  // sockets had their turn.
}

ClientRegistry::SendResult UdpClientService::SendDatagram(const std::string& address, int port,
                                                          const std::string& bytes) {
  const QHostAddress to(Latin1(address));
  if (to.isNull() || port <= 0 || port > 65535)
    return {false, static_cast<int>(QAbstractSocket::HostNotFoundError)};
  const qint64 sent = winsock1_.writeDatagram(bytes.data(), static_cast<qint64>(bytes.size()), to,
                                              static_cast<quint16>(port));
  if (sent != static_cast<qint64>(bytes.size()))
    return {false, static_cast<int>(winsock1_.error())};
  return {};
}
