#pragma once
// Helpers for the call-history tests: a temporary program folder, the calls on disk as a
// separate read-only connection sees them, waiting on the event loop.
#include <QElapsedTimer>
#include <QEventLoop>
#include <QSqlDatabase>
#include <QTemporaryDir>
#include <QTimer>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "SampleCalls.h"
#include "history/CallHistory.h"
#include "history/HistoryTable.h"

namespace history_test {

// Every field of a call, for comparisons with a readable failure.
inline std::string Fields(const CompletedCall& c) {
  return std::to_string(HistoryTime(c.time)) + "|" + c.number + "|" + c.displayNumber + "|" +
         c.callerIdName + "|" + c.name + "|" + std::string(NamedByText(c.namedBy)) + "|" +
         std::string(CallSourceText(c.source)) + "|" + c.sourceDetail + "|" + c.firstName;
}

// Runs the event loop until pred() holds or timeoutMs passes; returns pred(). Sleeps
// between looks rather than spinning.
inline bool Wait(const std::function<bool()>& pred, int timeoutMs = 5000) {
  QElapsedTimer t;
  t.start();
  while (!pred() && t.elapsed() < timeoutMs) {
    QEventLoop loop;
    QTimer::singleShot(5, &loop, &QEventLoop::quit);
    loop.exec();
  }
  return pred();
}

inline void Pause(int ms) {
  Wait([] { return false; }, ms);
}

// The calls in file, newest first, as another process reading it would see them; empty
// when it cannot be read.
inline std::vector<StoredCall> OnDisk(const std::string& file, int limit = 1000) {
  static int n = 0;
  const QString name = QStringLiteral("history_test_reader_%1").arg(++n);
  std::vector<StoredCall> calls;
  {
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
    db.setDatabaseName(QString::fromStdString(file));
    db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
    QSqlError error;
    if (db.open()) SelectCalls(db, limit, {}, {}, calls, error);
    db.close();
  }
  QSqlDatabase::removeDatabase(name);
  return calls;
}

// A program folder of its own; the log lines of the history under test.
struct Home {
  QTemporaryDir dir;
  std::string home = dir.path().toStdString();
  std::string file = CallHistoryFile(home);
  std::vector<std::string> log;

  CallHistoryConfig Config(int flushMs = 3600000) const {
    CallHistoryConfig c;
    c.file = file;
    c.flushIntervalMs = flushMs;
    return c;
  }
  CallHistory::Log Logger() {
    return [this](const std::string& text) { log.push_back(text); };
  }
};

}  // namespace history_test
