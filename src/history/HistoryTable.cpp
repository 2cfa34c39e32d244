#include "history/HistoryTable.h"

#include <QSqlQuery>
#include <QVariant>

namespace {

std::string Text(const QVariant& value) { return value.toByteArray().toStdString(); }

// A LIKE pattern matching text anywhere, with the wildcards of text taken literally.
QByteArray ContainsPattern(const std::string& text) {
  QByteArray pattern = "%";
  for (char c : text) {
    if (c == '%' || c == '_' || c == '\\') pattern += '\\';
    pattern += c;
  }
  pattern += '%';
  return pattern;
}

}  // namespace

std::string CallHistoryFile(const std::string& home) { return home + "/Data/calls.sqlite"; }

int NamedByCode(NamedBy namedBy) {
  switch (namedBy) {
    case NamedBy::Phonebook:
      return 1;
    case NamedBy::AreaCode:
      return 2;
    case NamedBy::ReverseLookup:
      return 3;
    case NamedBy::Withheld:
      return 5;
    case NamedBy::CallerId:
      break;
  }
  return 4;
}

NamedBy NamedByFromCode(int code) {
  switch (code) {
    case 1:
      return NamedBy::Phonebook;
    case 2:
      return NamedBy::AreaCode;
    case 3:
      return NamedBy::ReverseLookup;
    case 5:
      return NamedBy::Withheld;
  }
  return NamedBy::CallerId;
}

int CallSourceCode(CallSource source) {
  switch (source) {
    case CallSource::NetworkBox:
      return 2;
    case CallSource::Xap:
      return 3;
    case CallSource::Ncid:
      return 4;
    case CallSource::Serial:
      break;
  }
  return 1;
}

CallSource CallSourceFromCode(int code) {
  switch (code) {
    case 2:
      return CallSource::NetworkBox;
    case 3:
      return CallSource::Xap;
    case 4:
      return CallSource::Ncid;
  }
  return CallSource::Serial;
}

std::int64_t HistoryTime(std::chrono::system_clock::time_point time) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(time.time_since_epoch()).count();
}

std::chrono::system_clock::time_point HistoryTimePoint(std::int64_t ms) {
  return std::chrono::system_clock::time_point(
      std::chrono::duration_cast<std::chrono::system_clock::duration>(
          std::chrono::milliseconds(ms)));
}

int SqliteCode(const QSqlError& error) {
  bool ok = false;
  const int code = error.nativeErrorCode().toInt(&ok);
  return ok ? (code & 0xff) : 0;
}

std::string ErrorText(const QSqlError& error) {
  std::string text = error.text().toStdString();
  if (!error.nativeErrorCode().isEmpty())
    text += " (" + error.nativeErrorCode().toStdString() + ")";
  return text;
}

bool HasCallsTable(QSqlDatabase& db, QSqlError& error) {
  QSqlQuery q(db);
  if (!q.exec("SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = 'calls'")) {
    error = q.lastError();
    return false;
  }
  return q.next();
}

bool SelectCalls(QSqlDatabase& db, int limit,
                 std::optional<std::chrono::system_clock::time_point> before,
                 const std::string& search, std::vector<StoredCall>& out, QSqlError& error) {
  out.clear();
  if (limit <= 0) return true;
  // The texts are read back as blobs, so their bytes come back exactly as stored.
  QString sql =
      "SELECT id, time, CAST(number AS BLOB), CAST(display_number AS BLOB),"
      " CAST(caller_id_name AS BLOB), CAST(name AS BLOB), named_by, source,"
      " CAST(source_detail AS BLOB), CAST(first_name AS BLOB) FROM calls WHERE 1";
  if (before) sql += " AND time < ?";
  constexpr int kSearched = 5;  // columns the search looks at
  if (!search.empty()) {
    const QString contains = QStringLiteral(" LIKE CAST(? AS TEXT) ESCAPE '\\'");
    sql += " AND (name" + contains + " OR caller_id_name" + contains + " OR first_name" + contains +
           " OR number" + contains + " OR display_number" + contains + ")";
  }
  sql += " ORDER BY time DESC, id DESC LIMIT ?";
  QSqlQuery q(db);
  q.setForwardOnly(true);
  if (!q.prepare(sql)) {
    error = q.lastError();
    return false;
  }
  if (before) q.addBindValue(QVariant::fromValue<qlonglong>(HistoryTime(*before)));
  if (!search.empty())
    for (int i = 0; i < kSearched; ++i) q.addBindValue(ContainsPattern(search));
  q.addBindValue(limit);
  if (!q.exec()) {
    error = q.lastError();
    return false;
  }
  while (q.next()) {
    StoredCall c;
    c.id = q.value(0).toLongLong();
    c.time = HistoryTimePoint(q.value(1).toLongLong());
    c.number = Text(q.value(2));
    c.displayNumber = Text(q.value(3));
    c.callerIdName = Text(q.value(4));
    c.name = Text(q.value(5));
    c.namedBy = NamedByFromCode(q.value(6).toInt());
    c.source = CallSourceFromCode(q.value(7).toInt());
    c.sourceDetail = Text(q.value(8));
    c.firstName = Text(q.value(9));
    out.push_back(std::move(c));
  }
  if (q.lastError().isValid()) {
    error = q.lastError();
    return false;
  }
  return true;
}
