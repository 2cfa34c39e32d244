// Fuzz target: the display-client service without its socket. The input is cut at 0xFF
// bytes: the first piece holds the stored options (ClientMax, LocalPort, RemotePort and
// Debug, separated by ","), every later piece is one event, its first byte choosing what
// happens: a request datagram from one of a few addresses, or a call sent to the clients.
// After every event the client table is checked for what must always hold (one slot per
// address, only addresses that asked, at most the table size), and every datagram sent
// against the table and the call datagram layout.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "FuzzSupport.h"
#include "udpclients/CallDatagram.h"
#include "udpclients/ClientRegistry.h"
#include "udpclients/ServiceLog.h"

namespace {

struct Sent {
  std::string address;
  int port = 0;
  std::string bytes;
};

// The addresses that ever asked to subscribe: the only ones a slot may hold.
struct Model {
  std::vector<std::string> askers;

  void Subscribe(const std::string& sender) {
    for (const std::string& a : askers)
      if (a == sender) return;
    askers.push_back(sender);
  }
  bool Asked(const std::string& address) const {
    for (const std::string& a : askers)
      if (a == address) return true;
    return false;
  }
};

// Slots are "address" (active) or "-address" (unsubscribed); "" is free.
std::string SlotAddress(const std::string& slot) {
  return !slot.empty() && slot[0] == '-' ? slot.substr(1) : slot;
}

void CheckDatagram(const std::string& d, const std::string& name, const std::string& number) {
  FUZZ_CHECK(d.size() == kCallDatagramSize);
  FUZZ_CHECK(d.compare(0, 8, std::string("\x03\0\0\0\0\0\0\0", 8)) == 0);
  const std::string sentName = SpecialName(name).substr(0, kCallFieldSize);
  const std::string sentNumber = SpecialNumber(number).substr(0, kCallFieldSize);
  FUZZ_CHECK(d.compare(8, sentName.size(), sentName) == 0);
  FUZZ_CHECK(d.compare(72, sentNumber.size(), sentNumber) == 0);
  for (std::size_t i = 8 + sentName.size(); i < 72; ++i) FUZZ_CHECK(d[i] == '\0');
  for (std::size_t i = 72 + sentNumber.size(); i < kCallDatagramSize; ++i) FUZZ_CHECK(d[i] == '\0');
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::vector<std::string_view> chunks = fuzz::SplitChunks(fuzz::AsText(data, size), '\xff');

  std::map<std::pair<std::string, std::string>, std::string> store;
  const std::vector<std::string_view> options = fuzz::SplitChunks(chunks.front(), ',');
  const char* const optionKeys[][2] = {{"Clients", "ClientMax"},
                                       {"Options", "LocalPort"},
                                       {"Options", "RemotePort"},
                                       {"Options", "Debug"}};
  for (std::size_t i = 0; i < options.size() && i < 4; ++i)
    store[{optionKeys[i][0], optionKeys[i][1]}] = std::string(options[i]);

  bool commitFails = false;
  bool sendFails = false;
  ClientStore clientStore;
  clientStore.Get = [&](const std::string& section, const std::string& key,
                        const std::string& fallback) {
    auto it = store.find({section, key});
    return it == store.end() ? fallback : it->second;
  };
  clientStore.Save = [&](const std::string& section, const std::string& key,
                         const std::string& value) {
    store[{section, key}] = value;
  };
  clientStore.Commit = [&] { return commitFails ? 5 : 0; };

  HostHooks hooks;
  hooks.now = [] {
    return std::chrono::system_clock::time_point(std::chrono::hours(24 * 365 * 50));
  };
  ServiceLog log(hooks);
  std::vector<Sent> sent;
  ClientRegistry registry(clientStore, log,
                          [&](const std::string& address, int port, const std::string& bytes) {
                            sent.push_back({address, port, bytes});
                            ClientRegistry::SendResult r;
                            if (sendFails) r = {false, 111};
                            return r;
                          });

  const ClientRegistry::Ports ports = registry.PrepareService();
  FUZZ_CHECK(registry.ClientMax() == 0);
  if (ports.ok) {
    FUZZ_CHECK(ports.LocalPort >= 0 && ports.LocalPort <= 65535);
    FUZZ_CHECK(ports.RemotePort >= 0 && ports.RemotePort <= 65535);
  } else {
    FUZZ_CHECK(!ports.description.empty());
  }
  registry.SetServiceActive(ports.ok);

  Model model;
  for (std::size_t i = 1; i < chunks.size(); ++i) {
    std::string_view event = chunks[i];
    const unsigned control = fuzz::TakeByte(event);
    commitFails = (control & 0x10u) != 0;
    sendFails = (control & 0x20u) != 0;
    if (control & 0x40u) registry.SaveDebug((control & 0x80u) != 0);

    std::string sender;
    switch (control & 7u) {
      case 0:
        sender = "127.0.0.1";
        break;
      case 1:
        sender = "127.0.0.2";
        break;
      case 2:
        sender = "::1";
        break;
      case 3:
        sender = "";
        break;
      case 4:
        sender = "127.0.0." + std::to_string(fuzz::TakeByte(event));
        break;
      case 5:
        sender = "::ffff:127.0.0." + std::to_string(fuzz::TakeByte(event));
        break;
      default:
        break;
    }

    if ((control & 7u) < 6) {
      const std::string datagram(event);
      registry.HandleRequest(datagram, sender);
      if (!sender.empty() && !datagram.empty()) {
        if (datagram[0] == '\x01') model.Subscribe(sender);
      }
      const std::vector<std::string> slots = registry.Slots();
      FUZZ_CHECK(slots.size() <= ClientRegistry::kMaxClients);
      for (std::size_t k = 0; k < slots.size(); ++k) {
        const std::string address = SlotAddress(slots[k]);
        if (address.empty()) continue;
        FUZZ_CHECK(model.Asked(address));
        for (std::size_t j = k + 1; j < slots.size(); ++j) FUZZ_CHECK(SlotAddress(slots[j]) != address);
      }
    } else {
      // A call: name and number split at the first zero byte.
      const std::size_t zero = event.find('\0');
      const std::string name(event.substr(0, zero));
      const std::string number(zero == std::string_view::npos ? std::string_view()
                                                              : event.substr(zero + 1));
      const std::string d = CallDatagram(name, number);
      CheckDatagram(d, name, number);

      sent.clear();
      if ((control & 7u) == 6) {
        registry.SendCIDSentry(name, number);
        std::vector<std::string> active;
        if (registry.ServiceActive())
          for (const std::string& s : registry.Slots())
            if (!s.empty() && s[0] != '-') active.push_back(s);
        // Exactly one datagram to each active client, in slot order.
        FUZZ_CHECK(sent.size() == active.size());
        for (std::size_t k = 0; k < sent.size(); ++k) {
          FUZZ_CHECK(sent[k].address == active[k]);
          FUZZ_CHECK(sent[k].port == ports.RemotePort);
          FUZZ_CHECK(sent[k].bytes == d);
        }
      } else {
        registry.UDPSendCID(name, number, "127.0.0.1");
        FUZZ_CHECK(sent.size() <= 1);
        for (const Sent& s : sent) FUZZ_CHECK(s.address == "127.0.0.1" && s.bytes == d);
      }
    }
    FUZZ_CHECK(registry.ClientMax() <= ClientRegistry::kMaxClients);
    FUZZ_CHECK(log.Text().size() <= ServiceLog::kMaxText);
  }
  return 0;
}
