#include "udpclients/ClientRegistry.h"

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
  } else if (data[0] == '\x01') {
    message = "CID Client Subcribe Request from " + sender;
    Subscribe(sender);
  } else if (data[0] == '\x02') {
    message = "CID Client Unsubcribe Request from " + sender;
    Unsubscribe(sender);
  } else {
    message = "Unknown data received from " + sender;
  }
  if (debug) log_.ServerLog(message, 1);
}

void ClientRegistry::Subscribe(const std::string& sender) {
  const int max = ClientMax();
  bool found = false;
  bool changed = false;
  for (int i = 1; i <= max; ++i) {
    const std::string slot = Get(kClients, std::to_string(i), "-");
    if (slot == sender) {
      found = true;
    } else if (slot == "-" + sender) {
      Save(kClients, std::to_string(i), sender);
      found = changed = true;
    }
  }
  if (!found) {
    if (max >= kMaxClients) {
      // The table only grows while the service runs; a flood from many addresses must not
      // make it grow without end.
      if (!fullReported_)
        log_.ServerLog("CID Client Database full (" + std::to_string(kMaxClients) +
                           " clients): refusing new clients until the service restarts, first " +
                           sender,
                       2);
      fullReported_ = true;
      return;
    }
    Save(kClients, "ClientMax", std::to_string(max + 1));
    Save(kClients, std::to_string(max + 1), sender);
    changed = true;
  }
  if (changed) Commit("Winsock Receive()");
}

void ClientRegistry::Unsubscribe(const std::string& sender) {
  const int max = ClientMax();
  bool changed = false;
  for (int i = 1; i <= max; ++i) {
    if (Get(kClients, std::to_string(i), "") == sender) {
      Save(kClients, std::to_string(i), "-" + sender);
      changed = true;
    }
  }
  if (changed) Commit("Winsock Receive()");
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
