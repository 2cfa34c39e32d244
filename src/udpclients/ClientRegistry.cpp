#include "udpclients/ClientRegistry.h"

#include <algorithm>
#include <chrono>
#include <optional>

#include "udpclients/CallDatagram.h"

namespace {
constexpr const char* kClients = "Clients";
constexpr const char* kOptions = "Options";
constexpr const char* kProgram = "xapvynCID";

std::string Trim(const std::string& s) {
  const std::size_t b = s.find_first_not_of(" \t");
  if (b == std::string::npos) return {};
  return s.substr(b, s.find_last_not_of(" \t") - b + 1);
}

// A whole decimal number with an optional sign, or nothing; values beyond +-1e9 are cut there.
std::optional<long> WholeNumber(const std::string& text) {
  const std::string s = Trim(text);
  std::size_t i = 0;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  if (i == s.size()) return std::nullopt;
  long value = 0;
  for (; i < s.size(); ++i) {
    if (s[i] < '0' || s[i] > '9') return std::nullopt;
    if (value < 1000000000L) value = value * 10 + (s[i] - '0');
  }
  return negative ? -value : value;
}

bool EqualsNoCase(const std::string& a, const char* b) {
  std::size_t i = 0;
  for (; i < a.size() && b[i]; ++i) {
    char c = a[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    char d = b[i];
    if (d >= 'A' && d <= 'Z') d = static_cast<char>(d + 32);
    if (c != d) return false;
  }
  return i == a.size() && !b[i];
}

// Strict dotted IPv4 text (four decimal parts 0..255) as a number, or nothing.
std::optional<std::uint32_t> Ipv4(const std::string& text) {
  std::uint32_t value = 0;
  int parts = 0;
  std::size_t i = 0;
  while (parts < 4) {
    std::size_t digits = 0;
    unsigned part = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9' && digits < 3; ++i, ++digits)
      part = part * 10 + static_cast<unsigned>(text[i] - '0');
    if (digits == 0 || part > 255) return std::nullopt;
    value = value << 8 | part;
    if (++parts < 4) {
      if (i >= text.size() || text[i] != '.') return std::nullopt;
      ++i;
    }
  }
  if (i != text.size()) return std::nullopt;
  return value;
}

std::optional<int> PortNumber(const std::string& text) {
  const std::optional<long> n = WholeNumber(text);
  if (!n || *n < 0 || *n > 65535) return std::nullopt;
  return static_cast<int>(*n);
}
}  // namespace

std::string ClientRegistry::Get(const std::string& section, const std::string& key,
                                const std::string& fallback) const {
  return store_.Get ? store_.Get(section, key, fallback) : fallback;
}

void ClientRegistry::Save(const std::string& section, const std::string& key,
                          const std::string& value) {
  if (store_.Save) store_.Save(section, key, value);
}

void ClientRegistry::Commit(const char* routine) {
  if (!store_.Commit) return;
  if (const int error = store_.Commit()) log_.ReportError(error, routine);
}

std::int64_t ClientRegistry::Now() const {
  if (clock_) return clock_();
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

bool ClientRegistry::IsUnicastAddress(const std::string& address) {
  const std::optional<std::uint32_t> ip = Ipv4(address);
  if (!ip) return false;
  const std::uint32_t first = *ip >> 24, last = *ip & 0xFF;
  return first != 0 && first < 224 && last != 0 && last != 255;
}

void ClientRegistry::ReadAllowedNetworks() {
  allowed_.clear();
  const std::string list = Trim(Get(kOptions, "AllowedNetworks", ""));
  restrictNetworks_ = !list.empty();
  std::size_t from = 0;
  while (from <= list.size()) {
    std::size_t end = list.find_first_of(", ;", from);
    if (end == std::string::npos) end = list.size();
    const std::string entry = list.substr(from, end - from);
    from = end + 1;
    if (entry.empty()) continue;
    const std::size_t slash = entry.find('/');
    const std::optional<std::uint32_t> base = Ipv4(entry.substr(0, slash));
    std::optional<long> bits = 32L;
    if (slash != std::string::npos) bits = WholeNumber(entry.substr(slash + 1));
    if (!base || !bits || *bits < 0 || *bits > 32 ||
        (slash != std::string::npos && entry.size() == slash + 1)) {
      log_.ServerLog("AllowedNetworks: cannot read \"" + entry + "\"; it is left out", 2);
      continue;
    }
    const std::uint32_t mask = *bits == 0 ? 0 : ~std::uint32_t{0} << (32 - *bits);
    allowed_.push_back({*base & mask, mask});
  }
}

bool ClientRegistry::Allowed(const std::string& sender) const {
  if (!restrictNetworks_) return true;
  const std::optional<std::uint32_t> ip = Ipv4(sender);
  if (!ip) return false;
  for (const Network& n : allowed_)
    if ((*ip & n.mask) == n.base) return true;
  return false;
}

bool ClientRegistry::MayChange(const std::string& sender) {
  const std::int64_t now = Now();
  // Many senders must not grow the buckets without end: forget the ones that are full again.
  if (buckets_.size() > 4 * static_cast<std::size_t>(kMaxClients)) {
    for (auto it = buckets_.begin(); it != buckets_.end();)
      it = (now - it->second.at) * kChangesPerSecond / 1000.0 + it->second.tokens >= kBurst
               ? buckets_.erase(it)
               : std::next(it);
    if (buckets_.size() > 4 * static_cast<std::size_t>(kMaxClients)) buckets_.clear();
  }
  auto [it, added] = buckets_.try_emplace(sender, Bucket{kBurst, now});
  Bucket& b = it->second;
  if (!added) {
    b.tokens += static_cast<double>(now - b.at) * kChangesPerSecond / 1000.0;
    if (b.tokens > kBurst) b.tokens = kBurst;
    b.at = now;
  }
  if (b.tokens < 1) return false;
  b.tokens -= 1;
  return true;
}

bool ClientRegistry::CommitPending() {
  if (!dirty_) return false;
  dirty_ = false;
  Commit("Winsock Receive()");
  return true;
}

int ClientRegistry::ClientMax() const {
  // Slot numbers are 16-bit; a hand-edited or unreadable count is taken as an empty table.
  const std::optional<long> n = WholeNumber(Get(kClients, "ClientMax", "0"));
  if (!n || *n < 0) return 0;
  return *n > 32767 ? 32767 : static_cast<int>(*n);
}

std::string ClientRegistry::Slot(int n) const { return Get(kClients, std::to_string(n), ""); }

std::vector<std::string> ClientRegistry::Slots() const {
  std::vector<std::string> slots;
  const int max = ClientMax();
  slots.reserve(static_cast<std::size_t>(max));
  for (int i = 1; i <= max; ++i) slots.push_back(Slot(i));
  return slots;
}

bool ClientRegistry::StoredDebug() const {
  // "True"/"False" in any case, or a number (not zero is true); anything else counts as off
  // rather than failing every request.
  const std::string value = Trim(Get(kOptions, "Debug", "False"));
  if (EqualsNoCase(value, "true")) return true;
  if (EqualsNoCase(value, "false")) return false;
  const std::optional<long> n = WholeNumber(value);
  return n && *n != 0;
}

void ClientRegistry::SaveDebug(bool on) {
  Save(kOptions, "Debug", on ? "True" : "False");
  Commit("SaveDebug()");
}

ClientRegistry::Ports ClientRegistry::PrepareService() {
  log_.ServerLog(std::string(kProgram) + " - Clearing CID Client Database...", 0);
  const int max = ClientMax();
  if (max >= 1) {
    for (int i = 1; i <= max; ++i) Save(kClients, std::to_string(i), "");
    Save(kClients, "ClientMax", "0");
  }
  fullReported_ = false;
  floodReported_ = false;
  dirty_ = false;
  buckets_.clear();
  lastHeard_.clear();
  ReadAllowedNetworks();

  const std::string remote = Get(kOptions, "RemotePort", "4550");
  const std::string local = Get(kOptions, "LocalPort", "4550");
  Save(kOptions, "RemotePort", remote);
  Save(kOptions, "LocalPort", local);
  Commit("InitIO()");
  log_.ServerLog(std::string(kProgram) + " - Initializing I/O... (LocalPort=" + local +
                     ", RemotePort=" + remote + ")",
                 0);

  Ports ports;
  const std::optional<int> localPort = PortNumber(local);
  const std::optional<int> remotePort = PortNumber(remote);
  if (!localPort) {
    ports.description = "Invalid property value: LocalPort=" + local;
  } else if (!remotePort) {
    ports.description = "Invalid property value: RemotePort=" + remote;
  } else {
    ports.ok = true;
    ports.LocalPort = *localPort;
    ports.RemotePort = *remotePort;
    remotePort_ = *remotePort;
  }
  return ports;
}

void ClientRegistry::HandleRequest(const std::string& data, const std::string& sender) {
  const bool debug = StoredDebug();
  if (sender.empty()) return;
  std::string message;
  if (data.empty()) {
    message = "Empty Message Received from " + sender;
  } else if (data[0] == '\x01' || data[0] == '\x02') {
    const bool subscribe = data[0] == '\x01';
    message = std::string(subscribe ? "CID Client Subcribe Request from "
                                    : "CID Client Unsubcribe Request from ") +
              sender;
    // Only a request that changes the table costs one of the sender's changes.
    const std::vector<std::string> slots = Slots();
    const bool active = std::find(slots.begin(), slots.end(), sender) != slots.end();
    if (!IsUnicastAddress(sender) || !Allowed(sender)) {
      message += " (refused: not an allowed unicast address)";
    } else if (subscribe == active) {
      lastHeard_[sender] = Now();
    } else if (!MayChange(sender)) {
      message += " (dropped: too many requests)";
      if (!floodReported_)
        log_.ServerLog("Too many requests from " + sender + ": dropping its requests for a while",
                       2);
      floodReported_ = true;
    } else {
      lastHeard_[sender] = Now();
      if (subscribe)
        Subscribe(sender);
      else
        Unsubscribe(sender);
    }
  } else {
    message = "Unknown data received from " + sender;
  }
  if (debug) log_.ServerLog(message, 1);
}

void ClientRegistry::Subscribe(const std::string& sender) {
  const int max = ClientMax();
  bool found = false;
  for (int i = 1; i <= max; ++i) {
    const std::string slot = Get(kClients, std::to_string(i), "-");
    if (slot == sender) {
      found = true;
    } else if (slot == "-" + sender) {
      Save(kClients, std::to_string(i), sender);
      found = dirty_ = true;
    }
  }
  if (found) return;
  if (max < kMaxClients) {
    Save(kClients, "ClientMax", std::to_string(max + 1));
    Save(kClients, std::to_string(max + 1), sender);
    dirty_ = true;
    return;
  }
  // Full: a free slot first, else the client silent for longest gives way.
  int victim = 0;
  std::int64_t oldest = 0;
  std::string gone;
  for (int i = 1; i <= max; ++i) {
    const std::string slot = Get(kClients, std::to_string(i), "");
    if (slot.empty() || slot[0] == '-') {
      victim = i;
      gone = slot;
      break;
    }
    const auto heard = lastHeard_.find(slot);
    const std::int64_t at = heard == lastHeard_.end() ? INT64_MIN : heard->second;
    if (victim == 0 || at < oldest) {
      victim = i;
      oldest = at;
      gone = slot;
    }
  }
  if (victim == 0) return;
  if (!fullReported_)
    log_.ServerLog("CID Client Database full (" + std::to_string(kMaxClients) +
                       " clients): the client silent for longest gives way to a new one, first " +
                       sender + (gone.empty() ? std::string() : " replacing " + gone),
                   2);
  fullReported_ = true;
  if (!gone.empty() && gone[0] != '-') lastHeard_.erase(gone);
  Save(kClients, std::to_string(victim), sender);
  dirty_ = true;
}

void ClientRegistry::Unsubscribe(const std::string& sender) {
  const int max = ClientMax();
  for (int i = 1; i <= max; ++i) {
    if (Get(kClients, std::to_string(i), "") == sender) {
      Save(kClients, std::to_string(i), "-" + sender);
      dirty_ = true;
    }
  }
}

void ClientRegistry::SendCIDSentry(const std::string& name, const std::string& number) {
  if (!serviceActive_) return;
  // One read of the table serves the whole call; nothing can change it while the call is sent.
  const std::vector<std::string> slots = Slots();
  const std::string datagram = CallDatagram(name, number);
  for (const std::string& client : slots) SendToClient(datagram, slots, client);
}

void ClientRegistry::UDPSendCID(const std::string& name, const std::string& number,
                                const std::string& client) {
  SendToClient(CallDatagram(name, number), Slots(), client);
}

void ClientRegistry::SendToClient(const std::string& datagram,
                                  const std::vector<std::string>& slots,
                                  const std::string& client) {
  for (const std::string& slot : slots) {
    if (slot.empty() || slot[0] == '-' || slot != client) continue;
    const SendResult sent = send_ ? send_(slot, remotePort_, datagram) : SendResult{};
    if (!sent.ok) {
      log_.ReportError(sent.error, "UDPSendCID()");
      return;
    }
    log_.ServerLog("Sent CID Message to host " + slot, 1);
  }
}
