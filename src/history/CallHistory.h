#pragma once
// CallHistory: every completed call, kept in an SQLite file (normally
// <home>/Data/calls.sqlite, see CallHistoryFile) for the recent-calls views, the web page,
// the NCID server and `xapvynCID --calls`.
//
// Writing. Record and Update are slots for CallEvents::callCompleted and callUpdated; they
// only queue the call in memory and return. A single-shot timer writes the queue in one
// transaction flushIntervalMs after the first queued call, so a killed program loses at
// most the calls of the last interval; Flush() writes at once (the shutdown; the destructor
// flushes too). The database runs in WAL mode with synchronous=NORMAL, so readers (the
// command line) never stop the writer, and a commit does not wait for the disk.
// Update names a call anew: it changes the row of the same number and time (the queued
// call itself while it waits), and first_name keeps the name announced first (the update's
// firstName, else the row's earlier name); with no such row the call is stored as new.
//
// Faults never leave this class: nothing throws, no call blocks for longer than a short
// lock wait (busyTimeoutMs). At start a file that is not a usable history (garbage, a
// folder, a file that cannot be opened or written, a foreign table) is moved aside as
// "<file>.corrupt-<yyyyMMdd-HHmmss>" (its -wal and -shm with it) with one log line and a
// new history begins; the same happens when a write later finds the file corrupt. A file
// removed or replaced while open is opened anew at the next write.
// When even a new file cannot be made the history logs one line and stays off: Enabled()
// is false and Record, Update and Recent do nothing. A write that fails otherwise keeps
// its calls queued (at most maxPending, oldest dropped first) and retries each interval,
// logging at most once a minute. A history written by a newer program is left alone
// (off, one log line).
//
// Retention: calls older than keepDays are removed at start and every pruneIntervalMs
// (0 keeps every call).
//
// Reading. Recent writes the queue first, then returns the newest calls; calls that could
// not be written are merged in from memory (with id 0), so a query always sees every call.
// Everything runs on the thread that owns the object.
#include <QObject>
#include <QSqlDatabase>
#include <QSqlError>
#include <QTimer>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/CompletedCall.h"
#include "history/StoredCall.h"

struct CallHistoryConfig {
  std::string file;                           // the database file; its folder is created
  int keepDays = 730;                         // calls older than this are removed; 0 keeps all
  int flushIntervalMs = 1000;                 // a recorded call is on disk within this time
  int pruneIntervalMs = 24 * 60 * 60 * 1000;  // how often old calls are removed
  int busyTimeoutMs = 20;                     // longest wait for another writer's lock
  std::size_t maxPending = 10000;             // calls held in memory while writes fail
};

class CallHistory : public QObject {
  Q_OBJECT
 public:
  using Log = std::function<void(const std::string& text)>;
  using Time = std::chrono::system_clock::time_point;

  // Opens (or creates) config.file and removes old calls; log receives each report line.
  CallHistory(CallHistoryConfig config, Log log, QObject* parent = nullptr);
  ~CallHistory() override;

  // Newest first; see above. limit <= 0 gives nothing.
  std::vector<StoredCall> Recent(int limit, std::optional<Time> before = {},
                                 const std::string& search = {});

  // Writes every queued call now; true when none is left waiting.
  bool Flush();
  // Removes the calls older than keepDays now; the number removed, -1 on failure.
  int Prune();

  bool Enabled() const { return open_; }
  std::size_t PendingCount() const { return pending_.size(); }
  const std::string& File() const { return config_.file; }

 public slots:
  void Record(const CompletedCall& call);
  void Update(const CompletedCall& call);

 private:
  struct Pending {
    bool update = false;
    CompletedCall call;
  };
  struct Statements;
  enum class Opened { Yes, Unusable, Off };  // Unusable: the file may be moved aside

  bool Open();
  bool FileReplaced() const;
  Opened TryOpen(std::string& reason);
  void Close();
  bool MoveAside(const std::string& reason);
  bool WritePending(QSqlError& error);
  void Queue(Pending item);
  void ReportWriteFailure(const std::string& text);

  CallHistoryConfig config_;
  Log log_;
  QString connection_;
  QSqlDatabase db_;
  std::unique_ptr<Statements> statements_;
  bool open_ = false;
  std::uint64_t fileDevice_ = 0, fileInode_ = 0;  // the file this connection has open
  std::vector<Pending> pending_;
  QTimer flushTimer_;
  QTimer pruneTimer_;
  std::optional<std::chrono::steady_clock::time_point> lastWriteReport_;
};
