#include "history/CallHistory.h"

#include <sys/stat.h>

#include <QSqlQuery>
#include <QVariant>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>

#include "history/HistoryTable.h"

namespace {

// SQLite result codes this class tells apart.
constexpr int kSqliteError = 1;
constexpr int kSqlitePerm = 3;
constexpr int kSqliteReadOnly = 8;
constexpr int kSqliteIoErr = 10;
constexpr int kSqliteCorrupt = 11;
constexpr int kSqliteCantOpen = 14;
constexpr int kSqliteAuth = 23;
constexpr int kSqliteFormat = 24;
constexpr int kSqliteNotADb = 26;
constexpr int kSqliteReadOnlyDbMoved = 1032;  // the file was removed or renamed while open

int FullCode(const QSqlError& error) {
  bool ok = false;
  const int code = error.nativeErrorCode().toInt(&ok);
  return ok ? code : 0;
}

// Whether a failure to open means the file itself is not a usable history (and so may
// be moved aside), as opposed to a passing state such as a lock or a full disk.
bool FileUnusable(const QSqlError& error) {
  switch (SqliteCode(error)) {
    case kSqliteError:  // a foreign table of the same name
    case kSqlitePerm:
    case kSqliteReadOnly:
    case kSqliteIoErr:
    case kSqliteCorrupt:
    case kSqliteCantOpen:
    case kSqliteAuth:
    case kSqliteFormat:
    case kSqliteNotADb:
      return true;
  }
  return false;
}

// Whether a failed write means the open file is broken or gone, so that only a new file helps.
bool FileLost(const QSqlError& error) {
  const int code = SqliteCode(error);
  return code == kSqliteCorrupt || code == kSqliteNotADb ||
         FullCode(error) == kSqliteReadOnlyDbMoved;
}

QByteArray Bytes(const std::string& text) {
  return QByteArray(text.data(), static_cast<qsizetype>(text.size()));
}

QVariant Ms(std::chrono::system_clock::time_point time) {
  return QVariant::fromValue<qlonglong>(HistoryTime(time));
}

bool SameCall(const CompletedCall& a, const CompletedCall& b) {
  return a.number == b.number && HistoryTime(a.time) == HistoryTime(b.time);
}

bool Exec(QSqlDatabase& db, const char* sql, QSqlError& error) {
  QSqlQuery q(db);
  if (q.exec(QString::fromLatin1(sql))) return true;
  error = q.lastError();
  return false;
}

std::string Stamp() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[32];
  std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &local);
  return text;
}

bool Exists(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0;
}

std::atomic<int> connections{0};

}  // namespace

struct CallHistory::Statements {
  QSqlQuery insert;
  QSqlQuery update;
  explicit Statements(QSqlDatabase& db) : insert(db), update(db) {}
};

CallHistory::CallHistory(CallHistoryConfig config, Log log, QObject* parent)
    : QObject(parent),
      config_(std::move(config)),
      log_(std::move(log)),
      connection_(QStringLiteral("vyn_history_%1").arg(++connections)) {
  db_ = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection_);
  flushTimer_.setSingleShot(true);
  flushTimer_.setInterval(std::max(0, config_.flushIntervalMs));
  connect(&flushTimer_, &QTimer::timeout, this, &CallHistory::Flush);
  pruneTimer_.setInterval(std::max(1, config_.pruneIntervalMs));
  connect(&pruneTimer_, &QTimer::timeout, this, &CallHistory::Prune);
  if (!Open()) return;
  if (config_.keepDays > 0) {
    Prune();
    pruneTimer_.start();
  }
}

CallHistory::~CallHistory() {
  Flush();
  Close();
  db_ = QSqlDatabase();
  QSqlDatabase::removeDatabase(connection_);
}

bool CallHistory::Open() {
  std::error_code ec;
  const std::filesystem::path file(config_.file);
  if (file.has_parent_path()) std::filesystem::create_directories(file.parent_path(), ec);

  // A folder, a dangling link or a link loop by that name: not a database.
  struct stat st;
  std::string reason;
  if (Exists(config_.file) && (::stat(config_.file.c_str(), &st) != 0 || !S_ISREG(st.st_mode))) {
    reason = "not a file";
  } else {
    switch (TryOpen(reason)) {
      case Opened::Yes:
        return true;
      case Opened::Off:
        if (log_)
          log_("Call history: cannot open " + config_.file + " (" + reason +
               "); the call history is off");
        return false;
      case Opened::Unusable:
        break;
    }
  }
  return MoveAside(reason);
}

CallHistory::Opened CallHistory::TryOpen(std::string& reason) {
  Close();
  db_.setDatabaseName(QString::fromStdString(config_.file));
  db_.setConnectOptions(
      QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(std::max(0, config_.busyTimeoutMs)));
  const auto fail = [&](const QSqlError& e) {
    reason = ErrorText(e);
    Close();
    return FileUnusable(e) ? Opened::Unusable : Opened::Off;
  };
  if (!db_.open()) return fail(db_.lastError());
  QSqlQuery q(db_);
  if (!q.exec(QStringLiteral("PRAGMA journal_mode=WAL"))) return fail(q.lastError());
  if (!q.next() || q.value(0).toString().compare(QStringLiteral("wal"), Qt::CaseInsensitive) != 0) {
    reason = "cannot use WAL mode";
    Close();
    return Opened::Unusable;
  }
  q.finish();
  if (!q.exec(QStringLiteral("PRAGMA synchronous=NORMAL"))) return fail(q.lastError());
  // The write lock first: a file that cannot be written shows here.
  QSqlError e;
  if (!Exec(db_, "BEGIN IMMEDIATE", e)) return fail(e);
  const bool created =
      Exec(db_, "CREATE TABLE IF NOT EXISTS schema_version (version INTEGER NOT NULL)", e) &&
      Exec(db_,
           "CREATE TABLE IF NOT EXISTS calls (id INTEGER PRIMARY KEY, time INTEGER NOT NULL,"
           " number TEXT NOT NULL, display_number TEXT, caller_id_name TEXT, name TEXT,"
           " named_by INTEGER, source INTEGER, source_detail TEXT, first_name TEXT)",
           e) &&
      Exec(db_, "CREATE INDEX IF NOT EXISTS calls_time ON calls (time)", e) &&
      Exec(db_, "CREATE INDEX IF NOT EXISTS calls_number ON calls (number)", e);
  if (!created) return fail(e);
  if (!q.exec(QStringLiteral("SELECT max(version) FROM schema_version")) || !q.next())
    return fail(q.lastError());
  const QVariant version = q.value(0);
  q.finish();
  if (version.isNull()) {
    if (!q.exec(QStringLiteral("INSERT INTO schema_version (version) VALUES (%1)")
                    .arg(kHistorySchemaVersion)))
      return fail(q.lastError());
  } else if (version.toInt() > kHistorySchemaVersion) {
    Exec(db_, "ROLLBACK", e);
    Close();
    reason = "written by a newer program, layout " + std::to_string(version.toInt());
    return Opened::Off;
  }
  if (!Exec(db_, "COMMIT", e)) return fail(e);

  statements_ = std::make_unique<Statements>(db_);
  // A calls table of another layout fails here.
  if (!statements_->insert.prepare(QStringLiteral(
          "INSERT INTO calls (time, number, display_number, caller_id_name, name, named_by, source,"
          " source_detail, first_name) VALUES (:time, CAST(:number AS TEXT),"
          " CAST(:display_number AS TEXT), CAST(:caller_id_name AS TEXT), CAST(:name AS TEXT),"
          " :named_by, :source, CAST(:source_detail AS TEXT),"
          " NULLIF(CAST(:first_name AS TEXT), ''))")))
    return fail(statements_->insert.lastError());
  // The earlier name goes to first_name unless the row already keeps one.
  if (!statements_->update.prepare(QStringLiteral(
          "UPDATE calls SET display_number = CAST(:display_number AS TEXT),"
          " caller_id_name = CAST(:caller_id_name AS TEXT), name = CAST(:name AS TEXT),"
          " named_by = :named_by, source = :source, source_detail = CAST(:source_detail AS TEXT),"
          " first_name = CASE WHEN first_name <> '' THEN first_name"
          " WHEN CAST(:first_name AS TEXT) <> '' THEN CAST(:first_name_again AS TEXT)"
          " WHEN name <> CAST(:name_again AS TEXT) THEN name END"
          " WHERE id = (SELECT id FROM calls WHERE number = CAST(:number AS TEXT) AND time = :time"
          " ORDER BY id DESC LIMIT 1)")))
    return fail(statements_->update.lastError());
  struct stat st;
  if (::stat(config_.file.c_str(), &st) == 0) {
    fileDevice_ = st.st_dev;
    fileInode_ = st.st_ino;
  }
  open_ = true;
  return Opened::Yes;
}

void CallHistory::Close() {
  open_ = false;
  statements_.reset();
  if (db_.isOpen()) db_.close();
}

bool CallHistory::MoveAside(const std::string& reason) {
  Close();
  const std::string what = "Call history: " + config_.file + " could not be used (" + reason + ")";
  if (!Exists(config_.file)) {  // nothing to move: the folder itself is not usable
    if (log_)
      log_("Call history: cannot open " + config_.file + " (" + reason +
           "); the call history is off");
    return false;
  }
  std::string aside = config_.file + ".corrupt-" + Stamp();
  for (int n = 2; Exists(aside) && n < 100; ++n)
    aside = config_.file + ".corrupt-" + Stamp() + "-" + std::to_string(n);
  if (std::rename(config_.file.c_str(), aside.c_str()) != 0) {
    if (log_)
      log_(what + " nor moved aside (" + std::strerror(errno) + "); the call history is off");
    return false;
  }
  // A journal left beside the old file must not be replayed into the new one.
  for (const char* suffix : {"-wal", "-shm", "-journal"}) {
    const std::string from = config_.file + suffix;
    if (Exists(from) && std::rename(from.c_str(), (aside + suffix).c_str()) != 0)
      std::remove(from.c_str());
  }
  std::string again;
  if (TryOpen(again) != Opened::Yes) {
    if (log_)
      log_(what + "; moved it to " + aside + " but a new history could not be started (" + again +
           "); the call history is off");
    return false;
  }
  if (log_) log_(what + "; moved it to " + aside + " and started a new history");
  return true;
}

void CallHistory::Record(const CompletedCall& call) {
  if (!open_) return;
  Queue({false, call});
}

void CallHistory::Update(const CompletedCall& call) {
  if (!open_) return;
  // While the call still waits in memory, its queued row takes the new name.
  for (auto it = pending_.rbegin(); it != pending_.rend(); ++it) {
    if (it->update || !SameCall(it->call, call)) continue;
    std::string first = !it->call.firstName.empty()  ? it->call.firstName
                        : !call.firstName.empty()    ? call.firstName
                        : it->call.name != call.name ? it->call.name
                                                     : std::string();
    it->call = call;
    it->call.firstName = std::move(first);
    return;
  }
  Queue({true, call});
}

void CallHistory::Queue(Pending item) {
  if (pending_.size() >= std::max<std::size_t>(1, config_.maxPending)) {
    pending_.erase(pending_.begin());
    ReportWriteFailure("Call history: too many calls waiting to be written; dropped the oldest");
  }
  pending_.push_back(std::move(item));
  if (!flushTimer_.isActive()) flushTimer_.start();
}

bool CallHistory::WritePending(QSqlError& error) {
  if (!Exec(db_, "BEGIN IMMEDIATE", error)) return false;
  QSqlQuery& insert = statements_->insert;
  QSqlQuery& update = statements_->update;
  // Bound by name: Qt's positional binding formats a placeholder name for every value.
  // Each name occurs once in its statement, so the values go to SQLite in order.
  static const QString kTime = QStringLiteral(":time"), kNumber = QStringLiteral(":number"),
                       kDisplay = QStringLiteral(":display_number"),
                       kCallerIdName = QStringLiteral(":caller_id_name"),
                       kName = QStringLiteral(":name"), kNamedBy = QStringLiteral(":named_by"),
                       kSource = QStringLiteral(":source"),
                       kDetail = QStringLiteral(":source_detail"),
                       kFirstName = QStringLiteral(":first_name"),
                       kFirstNameAgain = QStringLiteral(":first_name_again"),
                       kNameAgain = QStringLiteral(":name_again");
  const auto bindInsert = [&](const CompletedCall& c) {
    insert.bindValue(kTime, Ms(c.time));
    insert.bindValue(kNumber, Bytes(c.number));
    insert.bindValue(kDisplay, Bytes(c.displayNumber));
    insert.bindValue(kCallerIdName, Bytes(c.callerIdName));
    insert.bindValue(kName, Bytes(c.name));
    insert.bindValue(kNamedBy, NamedByCode(c.namedBy));
    insert.bindValue(kSource, CallSourceCode(c.source));
    insert.bindValue(kDetail, Bytes(c.sourceDetail));
    insert.bindValue(kFirstName, Bytes(c.firstName));
  };
  bool ok = true;
  for (const Pending& p : pending_) {
    const CompletedCall& c = p.call;
    if (p.update) {
      update.bindValue(kDisplay, Bytes(c.displayNumber));
      update.bindValue(kCallerIdName, Bytes(c.callerIdName));
      update.bindValue(kName, Bytes(c.name));
      update.bindValue(kNamedBy, NamedByCode(c.namedBy));
      update.bindValue(kSource, CallSourceCode(c.source));
      update.bindValue(kDetail, Bytes(c.sourceDetail));
      update.bindValue(kFirstName, Bytes(c.firstName));
      update.bindValue(kFirstNameAgain, Bytes(c.firstName));
      update.bindValue(kNameAgain, Bytes(c.name));
      update.bindValue(kNumber, Bytes(c.number));
      update.bindValue(kTime, Ms(c.time));
      if (!update.exec()) {
        error = update.lastError();
        ok = false;
        break;
      }
      if (update.numRowsAffected() > 0) continue;
      // No row of that call (pruned, or lost with an old file): keep it as a call of its own.
    }
    bindInsert(c);
    if (!insert.exec()) {
      error = insert.lastError();
      ok = false;
      break;
    }
  }
  insert.finish();
  update.finish();
  if (ok && Exec(db_, "COMMIT", error)) return true;
  QSqlError ignored;
  Exec(db_, "ROLLBACK", ignored);
  return false;
}

bool CallHistory::FileReplaced() const {
  struct stat st;
  return ::stat(config_.file.c_str(), &st) != 0 || st.st_dev != fileDevice_ ||
         st.st_ino != fileInode_;
}

bool CallHistory::Flush() {
  flushTimer_.stop();
  if (!open_ || pending_.empty()) return pending_.empty();
  // SQLite keeps writing to a removed file in WAL mode: look at the name before each write.
  if (FileReplaced()) {
    if (log_)
      log_("Call history: " + config_.file +
           " was removed or replaced while in use; opening it anew");
    if (!Open()) {
      pending_.clear();
      return false;
    }
  }
  QSqlError error;
  if (WritePending(error)) {
    pending_.clear();
    return true;
  }
  // The file was damaged or removed under us: start a new one and write there.
  if (FileLost(error) && MoveAside(ErrorText(error)) && WritePending(error)) {
    pending_.clear();
    return true;
  }
  if (!open_) {
    pending_.clear();
    return false;
  }
  ReportWriteFailure("Call history: could not write " + std::to_string(pending_.size()) +
                     " calls to " + config_.file + " (" + ErrorText(error) + "); will retry");
  flushTimer_.start();
  return false;
}

int CallHistory::Prune() {
  if (!open_ || config_.keepDays <= 0) return 0;
  const auto cutoff = std::chrono::system_clock::now() - std::chrono::hours(24) * config_.keepDays;
  QSqlQuery q(db_);
  q.prepare(QStringLiteral("DELETE FROM calls WHERE time < ?"));
  q.addBindValue(Ms(cutoff));
  if (!q.exec()) {
    ReportWriteFailure("Call history: could not remove old calls from " + config_.file + " (" +
                       ErrorText(q.lastError()) + ")");
    return -1;
  }
  return q.numRowsAffected();
}

std::vector<StoredCall> CallHistory::Recent(int limit, std::optional<Time> before,
                                            const std::string& search) {
  std::vector<StoredCall> calls;
  if (!open_ || limit <= 0) return calls;
  Flush();
  QSqlError error;
  if (open_ && !SelectCalls(db_, limit, before, search, calls, error))
    ReportWriteFailure("Call history: could not read " + config_.file + " (" + ErrorText(error) +
                       ")");
  if (pending_.empty()) return calls;

  // Calls that could not be written yet: updates apply to the rows read, the rest join them.
  const auto matches = [&](const CompletedCall& c) {
    if (before && HistoryTime(c.time) >= HistoryTime(*before)) return false;
    if (search.empty()) return true;
    const auto contains = [&](const std::string& text) {
      return std::search(text.begin(), text.end(), search.begin(), search.end(),
                         [](char a, char b) {
                           const auto lower = [](char ch) {
                             return ch >= 'A' && ch <= 'Z' ? char(ch - 'A' + 'a') : ch;
                           };
                           return lower(a) == lower(b);
                         }) != text.end();
    };
    return contains(c.name) || contains(c.callerIdName) || contains(c.firstName) ||
           contains(c.number) || contains(c.displayNumber);
  };
  for (const Pending& p : pending_) {
    auto row = std::find_if(calls.begin(), calls.end(),
                            [&](const StoredCall& s) { return SameCall(s, p.call); });
    if (p.update && row != calls.end()) {
      std::string first = !row->firstName.empty()     ? row->firstName
                          : !p.call.firstName.empty() ? p.call.firstName
                          : row->name != p.call.name  ? row->name
                                                      : std::string();
      const std::int64_t id = row->id;
      static_cast<CompletedCall&>(*row) = p.call;
      row->firstName = std::move(first);
      row->id = id;
    } else if (matches(p.call)) {
      StoredCall s;
      static_cast<CompletedCall&>(s) = p.call;
      calls.push_back(std::move(s));
    }
  }
  std::stable_sort(calls.begin(), calls.end(), [](const StoredCall& a, const StoredCall& b) {
    return HistoryTime(a.time) > HistoryTime(b.time);
  });
  if (calls.size() > static_cast<std::size_t>(limit)) calls.resize(static_cast<std::size_t>(limit));
  return calls;
}

void CallHistory::ReportWriteFailure(const std::string& text) {
  const auto now = std::chrono::steady_clock::now();
  if (lastWriteReport_ && now - *lastWriteReport_ < std::chrono::minutes(1)) return;
  lastWriteReport_ = now;
  if (log_) log_(text);
}
