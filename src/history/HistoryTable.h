#pragma once
// HistoryTable: the layout of the call-history database and the reads shared by the
// history itself and the command-line listing. Works on an open Qt SQLite connection.
//
// Layout (schema_version 1):
//   schema_version(version)  one row
//   calls(id INTEGER PRIMARY KEY, time INTEGER ms since 1970 UTC, number, display_number,
//         caller_id_name, name, named_by INTEGER, source INTEGER, source_detail, first_name)
//   calls_time on time, calls_number on number.
// named_by: 1 phonebook, 2 area_code, 3 reverse_lookup, 4 caller_id, 5 withheld.
// source: 1 serial, 2 network_box, 3 xap, 4 ncid.
// Texts are stored as TEXT holding the call's bytes exactly as given (8-bit, not re-encoded);
// first_name is empty unless a later answer renamed the call.
#include <QSqlDatabase>
#include <QSqlError>
#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "history/StoredCall.h"

constexpr int kHistorySchemaVersion = 1;

// <home>/Data/calls.sqlite
std::string CallHistoryFile(const std::string& home);

int NamedByCode(NamedBy namedBy);
NamedBy NamedByFromCode(int code);
int CallSourceCode(CallSource source);
CallSource CallSourceFromCode(int code);

std::int64_t HistoryTime(std::chrono::system_clock::time_point time);  // ms since 1970 UTC
std::chrono::system_clock::time_point HistoryTimePoint(std::int64_t ms);

// The SQLite result code of an error (primary code, e.g. 11 for a corrupt database); 0
// when there is none.
int SqliteCode(const QSqlError& error);
// "<driver text> (<code>)", for log lines.
std::string ErrorText(const QSqlError& error);

// Whether the calls table exists. False with an error when the file cannot be read.
bool HasCallsTable(QSqlDatabase& db, QSqlError& error);

// The newest calls first (time, then id, descending): at most limit of them, older than
// before when given, and when search is not empty only those whose name, caller-ID name,
// first name, number or display number contains it (ASCII letters in any case).
bool SelectCalls(QSqlDatabase& db, int limit,
                 std::optional<std::chrono::system_clock::time_point> before,
                 const std::string& search, std::vector<StoredCall>& out, QSqlError& error);
