#pragma once
// ClientRegistry: the display-client service without its socket. It keeps the client table in
// the per-user settings store, answers subscribe and unsubscribe requests, and sends each call
// to the active clients through an injected datagram sender.
//
// Store layout (all values strings): section "Clients" with "ClientMax" (slots in use, default
// "0") and slots "1".."ClientMax" (an address: active; "-" and the address: unsubscribed;
// empty: cleared); section "Options" with "LocalPort" and "RemotePort" (default "4550") and
// "Debug" ("True"/"False", default "False").
//
// What callers may rely on:
//  - PrepareService empties the table (every slot up to ClientMax becomes "", ClientMax "0"),
//    writes both ports back and returns them as numbers, or a failure when a port is not a
//    whole number from 0 to 65535. It leaves ServiceActive alone; the owner sets it after
//    binding.
//  - HandleRequest takes one request datagram: first byte 0x01 subscribes the sender (an
//    unsubscribed slot of the same address becomes active again, else a new slot is added),
//    0x02 marks every slot of the sender as unsubscribed, anything else (or nothing) changes
//    nothing. An empty sender is dropped silently. While the stored Debug value is true, one
//    debug line tells what came in. Each address holds at most one slot.
//  - Only unicast IPv4 senders may subscribe: no zero network (0/8), no multicast or reserved
//    address (224/3), no limited broadcast, and no address ending in .0 or .255 (the network
//    and broadcast addresses of the usual /24 networks, 127.255.255.255 included). When the
//    stored Options/AllowedNetworks holds a list ("127.0.0.0/8, 192.168.1.0/24"; a bare
//    address is one host), only senders inside it may subscribe; a list with no valid entry
//    lets nobody in. PrepareService reads the list and logs each entry it cannot read.
//  - Each address may change the table at most kBurst times at once and kChangesPerSecond
//    times a second after that; requests that would change it beyond that are dropped (one
//    warning per service run). A request that changes nothing costs nothing.
//  - The table holds at most kMaxClients slots. A new address beyond that takes a cleared or
//    unsubscribed slot, else the slot of the client silent for longest (last request heard
//    since PrepareService; never heard counts as oldest). The first such take-over since
//    PrepareService logs one warning. The table never refuses a new client for good.
//  - Table changes are not made durable at once: HandleRequest only saves them, and
//    CommitPending commits the store when something changed since the last commit. The owner
//    calls it from a timer (at most once a second) and when it closes.
//  - SendCIDSentry sends nothing unless ServiceActive; otherwise each active client gets
//    exactly one CallDatagram, to its address and RemotePort, in slot order. A failed send is
//    logged through ReportError for "UDPSendCID()"; the walk goes on with the next client.
//  - Store failures (Commit) are logged through ReportError and never thrown.
#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

#include "udpclients/ServiceLog.h"

// The per-user settings store: strings by section and key, each read with a default.
struct ClientStore {
  std::function<std::string(const std::string& section, const std::string& key,
                            const std::string& fallback)>
      Get;
  std::function<void(const std::string& section, const std::string& key, const std::string& value)>
      Save;
  // Makes the writes so far durable: 0 when done, else the store's error number. May be empty.
  std::function<int()> Commit;
};

class ClientRegistry {
 public:
  static constexpr int kMaxClients = 256;
  static constexpr double kBurst = 5;
  static constexpr double kChangesPerSecond = 1;

  // Milliseconds on a steady clock; tests set their own.
  using Clock = std::function<std::int64_t()>;

  struct SendResult {
    bool ok = true;
    int error = 0;  // the socket's error number when !ok
  };
  // Sends one datagram to address:port.
  using DatagramSender =
      std::function<SendResult(const std::string& address, int port, const std::string& bytes)>;

  struct Ports {
    bool ok = false;
    int LocalPort = 0;
    int RemotePort = 0;
    std::string description;  // why not ok
  };

  ClientRegistry(ClientStore store, ServiceLog& log, DatagramSender send)
      : store_(std::move(store)), log_(log), send_(std::move(send)) {}

  Ports PrepareService();
  void HandleRequest(const std::string& data, const std::string& sender);
  // Commits the store when the table changed since the last commit; true when it committed.
  bool CommitPending();
  bool HasPendingChanges() const { return dirty_; }
  void SetClock(Clock clock) { clock_ = std::move(clock); }

  // Whether address (dotted IPv4) is one host's unicast address as described above.
  static bool IsUnicastAddress(const std::string& address);
  void SendCIDSentry(const std::string& name, const std::string& number);
  // Sends the call to client when client is an active slot of the table.
  void UDPSendCID(const std::string& name, const std::string& number, const std::string& client);

  bool ServiceActive() const { return serviceActive_; }
  void SetServiceActive(bool active) { serviceActive_ = active; }

  // The table and options as stored.
  int ClientMax() const;
  std::string Slot(int n) const;
  std::vector<std::string> Slots() const;  // slots 1..ClientMax
  bool StoredDebug() const;
  void SaveDebug(bool on);
  int RemotePort() const { return remotePort_; }

 private:
  std::string Get(const std::string& section, const std::string& key,
                  const std::string& fallback) const;
  void Save(const std::string& section, const std::string& key, const std::string& value);
  void Commit(const char* routine);
  struct Network {
    std::uint32_t base = 0;
    std::uint32_t mask = 0;
  };
  struct Bucket {
    double tokens = kBurst;
    std::int64_t at = 0;
  };
  std::int64_t Now() const;
  bool MayChange(const std::string& sender);
  bool Allowed(const std::string& sender) const;
  void ReadAllowedNetworks();
  void Subscribe(const std::string& sender);
  void Unsubscribe(const std::string& sender);
  void SendToClient(const std::string& datagram, const std::vector<std::string>& slots,
                    const std::string& client);

  ClientStore store_;
  ServiceLog& log_;
  DatagramSender send_;
  bool serviceActive_ = false;
  bool fullReported_ = false;
  bool floodReported_ = false;
  bool dirty_ = false;
  int remotePort_ = 4550;
  Clock clock_;
  bool restrictNetworks_ = false;
  std::vector<Network> allowed_;
  std::unordered_map<std::string, Bucket> buckets_;
  std::unordered_map<std::string, std::int64_t> lastHeard_;
};
