// Speed and size of the call history:
//  - recording: CPU per call for Record plus the Flush that writes it, with one call per
//    write (a call now and then) and with 100 per write (a burst);
//  - a history of 1 000 000 calls (about two years of calls every minute, built once in a
//    temporary folder by one bulk INSERT): the newest 50 through CallHistory::Recent, an
//    older page, a search, RunCallsCommand(50) in process beside the open writer, and the
//    whole `--calls 50` as a process (history_calls) from start to exit. Goals: under 50 ms
//    for the process, under 250 bytes per call on disk (counter bytes_per_call).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <QCoreApplication>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "history/CallHistory.h"
#include "history/CallsCommand.h"
#include "history/HistoryTable.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
constexpr long kCalls = 1000000;

std::string TempFolder(const char* name) {
  std::string tmpl = (fs::temp_directory_path() / name).string() + "_XXXXXX";
  if (mkdtemp(tmpl.data()) == nullptr) return {};
  return tmpl;
}

CompletedCall SampleCall(long n) {
  CompletedCall c;
  c.time = std::chrono::system_clock::now();
  c.number = "212555" + std::to_string(1000 + n % 9000);
  c.displayNumber = "(212)555-" + std::to_string(1000 + n % 9000);
  c.callerIdName = "SMITH JOHN";
  c.name = "John Smith";
  c.namedBy = NamedBy::Phonebook;
  c.sourceDetail = "/dev/ttyACM0";
  return c;
}

void Record(benchmark::State& state) {
  const std::string home = TempFolder("history_bench_record");
  const int batch = static_cast<int>(state.range(0));
  {
    CallHistoryConfig config;
    config.file = CallHistoryFile(home);
    CallHistory history(config, {});
    long n = 0;
    for (auto _ : state) {
      for (int i = 0; i < batch; ++i) history.Record(SampleCall(++n));
      if (!history.Flush()) state.SkipWithError("flush failed");
    }
    state.SetItemsProcessed(n);
    state.counters["us_per_call"] = benchmark::Counter(
        static_cast<double>(n), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  }
  fs::remove_all(home);
}
BENCHMARK(Record)->Arg(1)->Arg(100)->Unit(benchmark::kMicrosecond);

// The million-call history, built at first use and removed at exit; the writer stays open,
// as in the running program.
struct Million {
  std::string home = TempFolder("history_bench_million");
  std::string file = CallHistoryFile(home);
  double bytesPerCall = 0;
  std::unique_ptr<CallHistory> history;

  Million() {
    CallHistoryConfig config;
    config.file = file;
    CallHistory(config, {});  // creates the layout
    const auto start = HistoryTime(std::chrono::system_clock::now() - std::chrono::hours(24 * 700));
    {
      QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "bulk");
      db.setDatabaseName(QString::fromStdString(file));
      db.open();
      QSqlQuery q(db);
      q.exec("PRAGMA journal_mode=DELETE");
      q.exec("PRAGMA synchronous=OFF");
      // A call every minute or so from 20 000 numbers; names of phonebook size; a tenth
      // named by the area code, one in fifty renamed by the reverse lookup.
      const bool ok = q.exec(
          QStringLiteral(
              "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < %1),"
              " c(i, k) AS (SELECT i, (i * 7919) % 20000 FROM n)"
              " INSERT INTO calls (time, number, display_number, caller_id_name, name, named_by, "
              "source,"
              " source_detail, first_name)"
              " SELECT %2 + i * 60000 + (i * 104729) % 30000, printf('212%07d', 5550000 + k),"
              " printf('(212)%03d-%04d', 555 + k / 10000, k % 10000),"
              " printf('SMITH%05d JOHN', k), printf('John Smith %d', k),"
              " CASE WHEN i % 50 = 0 THEN 3 WHEN i % 10 = 0 THEN 2 ELSE 1 END, 1, '/dev/ttyACM0',"
              " CASE WHEN i % 50 = 0 THEN printf('SMITH%05d JOHN', k) END FROM c")
              .arg(kCalls)
              .arg(start));
      if (!ok) std::fprintf(stderr, "bulk insert failed: %s\n", ErrorText(q.lastError()).c_str());
      q.exec("PRAGMA journal_mode=WAL");
      q.finish();
      db.close();
    }
    QSqlDatabase::removeDatabase("bulk");
    bytesPerCall = static_cast<double>(fs::file_size(file)) / kCalls;
    history = std::make_unique<CallHistory>(
        config, [](const std::string& t) { std::fprintf(stderr, "%s\n", t.c_str()); });
  }
  ~Million() {
    history.reset();
    fs::remove_all(home);
  }
};

Million& TheMillion() {
  static Million m;
  return m;
}

void Recent50(benchmark::State& state) {
  Million& m = TheMillion();
  for (auto _ : state) {
    auto calls = m.history->Recent(50);
    if (calls.size() != 50) state.SkipWithError("not 50 calls");
    benchmark::DoNotOptimize(calls);
  }
  state.counters["bytes_per_call"] = m.bytesPerCall;
}
BENCHMARK(Recent50)->Unit(benchmark::kMicrosecond);

void Recent50OneYearBack(benchmark::State& state) {
  Million& m = TheMillion();
  const auto before = std::chrono::system_clock::now() - std::chrono::hours(24 * 365);
  for (auto _ : state) {
    auto calls = m.history->Recent(50, before);
    if (calls.size() != 50) state.SkipWithError("not 50 calls");
    benchmark::DoNotOptimize(calls);
  }
}
BENCHMARK(Recent50OneYearBack)->Unit(benchmark::kMicrosecond);

// A name that only a few calls carry: the search reads most of the history.
void SearchRareName(benchmark::State& state) {
  Million& m = TheMillion();
  for (auto _ : state) {
    auto calls = m.history->Recent(50, {}, "Smith 12345");
    benchmark::DoNotOptimize(calls);
  }
}
BENCHMARK(SearchRareName)->Unit(benchmark::kMillisecond);

void CallsCommand50(benchmark::State& state) {
  Million& m = TheMillion();
  std::FILE* null = std::fopen("/dev/null", "w");
  for (auto _ : state)
    if (RunCallsCommand(m.home, 50, false, null, null) != 0) state.SkipWithError("listing failed");
  std::fclose(null);
}
BENCHMARK(CallsCommand50)->Unit(benchmark::kMillisecond);

// `history_calls HOME 50` from spawn to exit, beside the open writer; the counter
// child_cpu_ms is the CPU time the process used.
void CallsProcess50(benchmark::State& state) {
  Million& m = TheMillion();
  const std::string exe = HISTORY_CALLS_EXE;
  char* argv[] = {const_cast<char*>(exe.c_str()), const_cast<char*>(m.home.c_str()),
                  const_cast<char*>("50"), nullptr};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  double cpuMs = 0;
  for (auto _ : state) {
    pid_t pid;
    if (posix_spawn(&pid, exe.c_str(), &actions, nullptr, argv, environ) != 0) {
      state.SkipWithError("spawn failed");
      break;
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) state.SkipWithError("listing failed");
    cpuMs += (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
             (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
  }
  posix_spawn_file_actions_destroy(&actions);
  state.counters["child_cpu_ms"] = benchmark::Counter(cpuMs, benchmark::Counter::kAvgIterations);
}
BENCHMARK(CallsProcess50)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
