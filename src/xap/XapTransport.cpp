#include "xap/XapTransport.h"

#include <algorithm>

#include <QHostAddress>
#include <QNetworkInterface>
#include <QNetworkDatagram>
#include <cctype>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <string_view>
#include <vector>

#include "common/XapItems.h"

namespace {

// Received messages waiting for the receiver; beyond this a flood is dropped.
constexpr std::size_t kMaxQueuedMessages = 10000;

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

std::vector<std::string_view> Split(std::string_view s, char sep) {
  std::vector<std::string_view> parts;
  for (;;) {
    auto p = s.find(sep);
    parts.push_back(s.substr(0, p));
    if (p == std::string_view::npos) break;
    s.remove_prefix(p + 1);
  }
  return parts;
}

using ItemViews = std::vector<std::pair<std::string_view, std::string_view>>;

struct MessageParts {
  std::string_view target, msgClass, source, uid, section;
};

// The text of one message: the header, one section and its items, one per line.
std::string MessageText(const MessageParts& m, XapItemList items) {
  std::size_t size = 64 + m.target.size() + m.msgClass.size() + m.source.size() + m.uid.size() +
                     m.section.size();
  for (const auto& [name, value] : items) size += name.size() + value.size() + 2;
  std::string out;
  out.reserve(size);
  out += "xap-header\n{\nv=12\nhop=1\nuid=";
  out += m.uid;
  out += "\nclass=";
  out += m.msgClass;
  out += "\nsource=";
  out += m.source;
  out += '\n';
  if (!m.target.empty()) {
    out += "target=";
    out += m.target;
    out += '\n';
  }
  out += "}\n";
  out += m.section;
  out += "\n{\n";
  // A control byte inside a name or value (a scraped web page, an escaped vCard field,
  // another device's item) would forge lines of the message: it travels as a blank.
  for (const auto& [name, value] : items) {
    AppendXapClean(out, name);
    out += '=';
    AppendXapClean(out, value);
    out += '\n';
  }
  out += "}\n";
  return out;
}

std::int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace

XapTransport::XapTransport(QObject* parent) : XapTransport(Timing{}, parent) {}

XapTransport::XapTransport(Timing timing, QObject* parent)
    : QObject(parent), timing_(timing), winsock1_(this), winsock2_(this), hbeatTimer_(this),
      receiveTimer_(this) {
  hbeatTimer_.setInterval(timing_.initialHeartbeatMs);
  hbeatTimer_.start();
  receiveTimer_.setSingleShot(true);
  connect(&hbeatTimer_, &QTimer::timeout, this, &XapTransport::HeartbeatTick);
  connect(&receiveTimer_, &QTimer::timeout, this, [this] {
    if (callback_) callback_();
  });
  connect(&winsock1_, &QUdpSocket::readyRead, this, [this] { ReadDatagrams(&winsock1_); });
  connect(&winsock2_, &QUdpSocket::readyRead, this, [this] { ReadDatagrams(&winsock2_); });
  RebuildHead();
}

XapTransport::~XapTransport() = default;

void XapTransport::RebuildHead() {
  head_ = "xap-hbeat\n{\nv=12\nhop=1\nuid=" + uid_ + "\nclass=xap-hbeat.alive\nsource=" +
          source_ + "\ninterval=";
}

bool XapTransport::AddressFitsMask(const std::string& mask, const std::string& address) {
  auto m = Split(mask, '.');
  auto a = Split(address, '.');
  if (m.size() != 4 || a.size() != 4) return false;
  for (int i = 0; i < 4; ++i) {
    auto number = [](std::string_view part) {
      long v = 0;
      for (char c : part) {
        if (!std::isdigit(static_cast<unsigned char>(c))) break;
        v = v * 10 + (c - '0');
        if (v > 1'000'000) break;
      }
      return v;
    };
    long mv = number(m[i]), av = number(a[i]);
    if ((av & mv) != av) return false;
  }
  return true;
}

std::string XapTransport::GetIP() const {
  // Addresses of the interfaces that are up, in interface order, loopback last.
  std::vector<std::string> addresses, loopback;
  for (const QNetworkInterface& iface : QNetworkInterface::allInterfaces()) {
    if (!(iface.flags() & QNetworkInterface::IsUp)) continue;
    for (const QNetworkAddressEntry& entry : iface.addressEntries()) {
      QHostAddress ip = entry.ip();
      if (ip.protocol() != QAbstractSocket::IPv4Protocol) continue;
      std::string text = ip.toString().toStdString();
      (ip.isLoopback() ? loopback : addresses).push_back(text);
    }
  }
  addresses.insert(addresses.end(), loopback.begin(), loopback.end());
  if (addresses.empty()) return {};
  for (const auto& a : addresses)
    if (AddressFitsMask(InterfaceAddress, a)) return a;
  return addresses.front();
}

int XapTransport::Init() {
  localAddress_ = GetIP();
  sendHost_ = Lower(BroadcastAddress) == "default" ? "255.255.255.255" : BroadcastAddress;
  if (localAddress_ == "127.0.0.1") sendHost_ = "127.0.0.1";
  sendAddress_ = QHostAddress(QString::fromLatin1(sendHost_));  // parsed once, used per message

  // A port in use must fail the bind, so the search moves on: never share it.
  bool bound = false;
  int port = timing_.firstPort;
  for (int i = 0; i < timing_.portsToTry; ++i, ++port) {
    if (port > 65535) break;
    if (winsock1_.bind(QHostAddress(QHostAddress::LocalHost), static_cast<quint16>(port),
                       QAbstractSocket::DontShareAddress)) {
      bound = true;
      break;
    }
    winsock1_.close();
  }

  int result;
  if (localAddress_ == "127.0.0.1") {
    sendSocket_ = &winsock1_;
    result = bound ? port : -1;
  } else {
    sendSocket_ = &winsock2_;
    if (!bound) {
      result = -1;
    } else if (!winsock2_.bind(QHostAddress(QString::fromLatin1(localAddress_)),
                               static_cast<quint16>(port), QAbstractSocket::DontShareAddress)) {
      int err = static_cast<int>(winsock2_.error());
      result = err > 0 ? -err : (err == 0 ? -1 : err);
      return result;
    } else {
      result = port;
    }
  }
  if (result > 0) {
    port_ = port;
    tail_ = "0\nport=" + std::to_string(port) + "\n}\n";
    std::string failure;
    const std::string from = sendSocket_ == &winsock1_ ? "127.0.0.1" : localAddress_;
    if (!sendAddress_.isNull() && !sender_.Open(from, sendHost_, timing_.remotePort, &failure) &&
        fileLog_)
      fileLog_("xapvynCID", "xAP send socket for " + sendHost_ + " not connected (" + failure +
                                "); messages are sent from port " + std::to_string(port));
  }
  return result;
}

bool XapTransport::SendDatagram(const std::string& text, std::string* failure) {
  const QHostAddress& host = sendAddress_;
  if (host.isNull()) {
    if (failure) *failure = "1 Invalid send host " + sendHost_;
    return false;
  }
  if (sender_.IsOpen()) {
    if (sender_.Send(text, failure)) return true;
    if (failure) *failure = "2 " + *failure;
    return false;
  }
  qint64 sent = sendSocket_->writeDatagram(text.data(), static_cast<qint64>(text.size()), host,
                                           timing_.remotePort);
  if (sent < 0) {
    if (failure) *failure = "2 " + sendSocket_->errorString().toStdString();
    return false;
  }
  return true;
}

std::string XapTransport::SendXap(const std::string& sTarget, const std::string& sClass,
                                  const std::string& sSection, const std::string& sData) {
  ItemViews items;
  items.reserve(8);
  for (std::string_view rest = sData;;) {
    const std::size_t end = rest.find('\0');
    const std::string_view item = rest.substr(0, end);
    const std::size_t p = item.find('\x01');
    if (p != std::string_view::npos) items.emplace_back(item.substr(0, p), item.substr(p + 1));
    if (end == std::string_view::npos) break;
    rest.remove_prefix(end + 1);
  }
  return SendXapItems(sTarget, sClass, sSection, items);
}

std::string XapTransport::SendXapItems(const std::string& sTarget, const std::string& sClass,
                                       const std::string& sSection, XapItemList given) {
  const bool bsc = sClass.size() >= 6 && Lower(std::string_view(sClass).substr(0, 6)) == "xapbsc";
  const std::string source = bsc ? source_ + ":CID.NetCallerIDLine1.Text" : std::string();
  const std::string uid = bsc ? uid_.substr(0, 7) + "1" : std::string();
  const MessageParts parts{sTarget, sClass, bsc ? source : source_, bsc ? uid : uid_, sSection};
  std::string text = MessageText(parts, given);
  // A message must fit one datagram: the longest value is cut until it does.
  bool cut = false;
  ItemViews items;                  // the items, once one of them is cut
  std::vector<std::string> values;  // copies of the values, made at the first cut
  while (text.size() > kMaxDatagram && !given.empty()) {
    if (values.empty()) {
      items.assign(given.begin(), given.end());
      values.reserve(items.size());
      for (const auto& item : items) values.emplace_back(item.second);
      for (std::size_t i = 0; i < items.size(); ++i) items[i].second = values[i];
    }
    std::size_t longest = 0;
    for (std::size_t i = 1; i < values.size(); ++i)
      if (values[i].size() > values[longest].size()) longest = i;
    if (values[longest].size() <= 3) break;
    const std::size_t excess = text.size() - kMaxDatagram;
    const std::size_t size = values[longest].size();
    values[longest] = XapCut(values[longest], size > excess + 3 ? size - excess : 3);
    items[longest].second = values[longest];
    text = MessageText(parts, items);
    cut = true;
  }
  if (cut) LogLimited(lastCutLogMs_, "SendXap: " + sClass + " cut to fit one datagram");
  std::string failure;
  if (text.size() > kMaxDatagram) {
    failure = "3 " + sClass + " does not fit one datagram";
  } else if (SendDatagram(text, &failure)) {
    return {};
  }
  LogLimited(lastFailLogMs_, "SendXap failed: " + failure);
  return failure;
}

void XapTransport::LogLimited(std::int64_t& lastMs, const std::string& text) {
  const std::int64_t now = NowMs();
  if (lastMs != 0 && now - lastMs < 60000) return;
  lastMs = now;
  if (fileLog_) fileLog_("xapvynCID", text);
}

void XapTransport::SendHeartbeat(int LongInterval) {
  beatSeconds_ = 0;
  if (LongInterval <= 0) LongInterval = 0;
  else if (LongInterval < 5) LongInterval = 5;
  else if (LongInterval > 60) LongInterval = 60;
  hbeatTimer_.setInterval(LongInterval * timing_.msPerSecond);
  if (LongInterval > 0) hbeatTimer_.start();
  else hbeatTimer_.stop();
  SendBeat(std::to_string(LongInterval) + (tail_.empty() ? "" : "0"));
}

void XapTransport::SetHeartbeatInterval(int seconds) {
  beatSeconds_ = std::clamp(seconds, 1, 600);
  tickCounter_ = 0;
  hbeatTimer_.setInterval(beatSeconds_ * timing_.msPerSecond);
  hbeatTimer_.start();
  SendBeat(std::to_string(beatSeconds_));
}

void XapTransport::SendBeat(const std::string& interval) {
  // tail_ starts with the trailing "0" of the tick-counting rhythm; the interval
  // text given here is complete.
  const std::string tail = tail_.empty() ? std::string() : tail_.substr(1);
  std::string failure;
  if (!SendDatagram(head_ + interval + tail, &failure) && fileLog_)
    fileLog_("xapvynCID", "SendHeartbeat");
}

void XapTransport::HeartbeatTick() {
  if (beatSeconds_ > 0) {
    SendBeat(std::to_string(beatSeconds_));
    return;
  }
  tickCounter_ = (tickCounter_ + 1) % 10;
  if (tickCounter_ == 0)
    SendHeartbeat(
        static_cast<int>(std::lround(double(hbeatTimer_.interval()) / timing_.msPerSecond)));
}

void XapTransport::ReadDatagrams(QUdpSocket* socket) {
  for (int n = 0; n < kDatagramsPerPass && socket->hasPendingDatagrams(); ++n) {
    QNetworkDatagram d = socket->receiveDatagram();
    if (!d.isValid()) break;
    const QByteArray& bytes = d.data();
    ProcessReceivedMessage(std::string(bytes.constData(), static_cast<std::size_t>(bytes.size())));
  }
  // The rest waits for the next pass (the socket reports it again), so a flood cannot hold
  // back timers and other sockets.
}

void XapTransport::ProcessReceivedMessage(std::string text) {
  if (FilterHeartbeats && Lower(std::string_view(text).substr(0, 8)) != "xap-head") return;
  if (queue_.size() >= kMaxQueuedMessages) {
    // The receiver has fallen far behind: drop, and say so once per flood.
    if (!overflowReported_ && fileLog_) fileLog_("xapvynCID", "ProcessReceivedMessage queue full");
    overflowReported_ = true;
    return;
  }
  overflowReported_ = false;
  queue_.push_back(std::move(text));
  if (!receiveTimer_.isActive()) receiveTimer_.start(timing_.receiveDelayMs);
}

std::string XapTransport::GetMessage() {
  if (queue_.empty()) return {};
  std::string m = std::move(queue_.front());
  queue_.pop_front();
  return m;
}

void XapTransport::Unload() {
  queue_.clear();
  hbeatTimer_.stop();
  receiveTimer_.stop();
  sender_.Close();
  winsock1_.close();
  winsock2_.close();
}
