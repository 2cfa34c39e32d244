#include "history/CallsCommand.h"

#include <sys/stat.h>

#include <QSqlDatabase>
#include <QUrl>
#include <atomic>

#include "history/CallListing.h"
#include "history/HistoryTable.h"

namespace {

std::atomic<int> readers{0};

// The listing of the newest n calls, or the exit status and the line for err.
int Read(const std::string& file, int n, bool json, std::string& text) {
  const QString connection = QStringLiteral("vyn_history_reader_%1").arg(++readers);
  int status = 0;
  {
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
    // Without a -wal beside it no program has the file open: read it as a fixed file, so
    // that SQLite does not leave a new -wal and -shm behind. With one, read through it.
    struct stat st;
    if (::stat((file + "-wal").c_str(), &st) == 0) {
      db.setDatabaseName(QString::fromStdString(file));
      db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=2000"));
    } else {
      db.setDatabaseName(
          QUrl::fromLocalFile(QString::fromStdString(file)).toString(QUrl::FullyEncoded) +
          QStringLiteral("?mode=ro&immutable=1"));
      db.setConnectOptions(
          QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_OPEN_URI;QSQLITE_BUSY_TIMEOUT=2000"));
    }
    QSqlError error;
    std::vector<StoredCall> calls;
    if (!db.open()) {
      error = db.lastError();
    } else if (!HasCallsTable(db, error)) {
      if (!error.isValid()) {
        text = "xapvynCID: no call history in " + file + "\n";
        status = 2;
      }
    } else if (SelectCalls(db, n, {}, {}, calls, error)) {
      text = json ? ListingJson(calls) : ListingText(calls);
    }
    if (status == 0 && error.isValid()) {
      text = "xapvynCID: cannot read the call history " + file + ": " + ErrorText(error) + "\n";
      status = 1;
    }
    db.close();
  }
  QSqlDatabase::removeDatabase(connection);
  return status;
}

}  // namespace

int RunCallsCommand(const std::string& home, int n, bool json, std::FILE* out, std::FILE* err) {
  const std::string file = CallHistoryFile(home);
  struct stat st;
  if (::stat(file.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
    std::fprintf(err, "xapvynCID: no call history (%s not found)\n", file.c_str());
    return 2;
  }
  std::string text;
  const int status = Read(file, n < 1 ? kDefaultCallsShown : n, json, text);
  std::fputs(text.c_str(), status == 0 ? out : err);
  std::fflush(status == 0 ? out : err);
  return status;
}
