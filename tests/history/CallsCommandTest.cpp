// `xapvynCID --calls`: the read-only listing of the history file, beside a running writer
// and alone, in text and JSON; no history; and the history under SIGKILL.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdio.h>
#include <sys/stat.h>

#include <QProcess>
#include <QSqlQuery>
#include <filesystem>
#include <fstream>
#include <set>

#include "HistoryRig.h"
#include "history/CallsCommand.h"

namespace history_test {
namespace {

namespace fs = std::filesystem;

struct Output {
  int status = -1;
  std::string out, err;
};

Output RunCalls(const std::string& home, int n, bool json) {
  char* outText = nullptr;
  char* errText = nullptr;
  std::size_t outSize = 0, errSize = 0;
  FILE* out = open_memstream(&outText, &outSize);
  FILE* err = open_memstream(&errText, &errSize);
  Output o;
  o.status = RunCallsCommand(home, n, json, out, err);
  std::fclose(out);
  std::fclose(err);
  o.out.assign(outText, outSize);
  o.err.assign(errText, errSize);
  std::free(outText);
  std::free(errText);
  return o;
}

// The Data folder: names, sizes and modification times.
std::set<std::string> Listing(const std::string& home) {
  std::set<std::string> out;
  for (const auto& e : fs::directory_iterator(home + "/Data")) {
    struct stat st;
    ::stat(e.path().c_str(), &st);
    out.insert(e.path().filename().string() + " " + std::to_string(st.st_size) + " " +
               std::to_string(st.st_mtim.tv_sec) + "." + std::to_string(st.st_mtim.tv_nsec));
  }
  return out;
}

// Three calls with texts that need care, the oldest first.
std::vector<CompletedCall> Sample() {
  CompletedCall a = Call(0);
  a.number = "";
  a.displayNumber = "";
  a.callerIdName = "Unknown";
  a.name = "Withheld";
  a.namedBy = NamedBy::Withheld;
  CompletedCall b = Call(1);
  b.name = "Zo\xEB \"Z\" M\xFCller\x07";  // Latin-1, quotes and a bell
  b.callerIdName = "ZOE MULLER";
  b.namedBy = NamedBy::ReverseLookup;
  b.firstName = "ZOE MULLER";
  b.source = CallSource::NetworkBox;
  b.sourceDetail = "192.168.1.20:3333";
  CompletedCall c = Call(2);
  c.name = "Ren\xC3\xA9\ttab";  // UTF-8 and a tab
  c.namedBy = NamedBy::AreaCode;
  c.source = CallSource::Xap;
  c.sourceDetail = "vendor.device.host";
  return {a, b, c};
}

const char* kText =
    "2026-12-10 14:05:22  (555)102-1002  Ren\xC3\xA9?tab         area_code\n"
    "2026-12-10 14:04:22  (555)101-1001  Zo\xC3\xAB \"Z\" M\xC3\xBCller?  reverse_lookup\n"
    "2026-12-10 14:03:22                 Withheld         withheld\n";

const char* kJson =
    "[\n"
    "{\"id\":3,\"time\":\"2026-12-10T14:05:22+01:00\",\"number\":\"5551000002\","
    "\"display_number\":\"(555)102-1002\",\"name\":\"Ren\xC3\xA9\\u0009tab\",\"caller_id_name\":"
    "\"CALLER 2\","
    "\"named_by\":\"area_code\",\"source\":\"xap\",\"source_detail\":\"vendor.device.host\"},\n"
    "{\"id\":2,\"time\":\"2026-12-10T14:04:22+01:00\",\"number\":\"5551000001\","
    "\"display_number\":\"(555)101-1001\",\"name\":\"Zo\xC3\xAB \\\"Z\\\" M\xC3\xBCller\\u0007\","
    "\"caller_id_name\":\"ZOE MULLER\",\"named_by\":\"reverse_lookup\",\"source\":\"network_box\","
    "\"source_detail\":\"192.168.1.20:3333\",\"first_name\":\"ZOE MULLER\"},\n"
    "{\"id\":1,\"time\":\"2026-12-10T14:03:22+01:00\",\"number\":\"\",\"display_number\":\"\","
    "\"name\":\"Withheld\",\"caller_id_name\":\"Unknown\",\"named_by\":\"withheld\",\"source\":"
    "\"serial\","
    "\"source_detail\":\"/dev/ttyACM0\"}\n"
    "]\n";

TEST(CallsCommand, ListsBesideARunningWriterAndAlone) {
  TimeZone tz("CET-1CEST,M3.5.0,M10.5.0/3");
  Home h;
  {
    CallHistory writer(h.Config(), h.Logger());
    for (const CompletedCall& c : Sample()) writer.Record(c);
    ASSERT_TRUE(writer.Flush());
    writer.Record(Call(3));                    // queued only: not on disk yet, so not listed
    ASSERT_TRUE(fs::exists(h.file + "-wal"));  // the calls are in the writer's WAL

    const auto before = Listing(h.home);
    Output text = RunCalls(h.home, 20, false);
    EXPECT_EQ(text.status, 0) << text.err;
    EXPECT_EQ(text.out, kText);
    EXPECT_EQ(text.err, "");
    Output json = RunCalls(h.home, 20, true);
    EXPECT_EQ(json.status, 0) << json.err;
    EXPECT_EQ(json.out, kJson);
    EXPECT_EQ(Listing(h.home), before);
  }
  // The writer is gone (and Call(3) with it on disk); the reader touches nothing.
  const auto before = Listing(h.home);
  EXPECT_FALSE(fs::exists(h.file + "-wal"));
  Output text = RunCalls(h.home, 3, false);
  EXPECT_EQ(text.status, 0) << text.err;
  const std::string all = kText;
  const std::string firstTwo = all.substr(0, all.find('\n', all.find('\n') + 1) + 1);
  EXPECT_EQ(text.out.substr(text.out.find('\n') + 1), firstTwo);
  Output json = RunCalls(h.home, 1, true);
  EXPECT_EQ(json.out.substr(0, 13), "[\n{\"id\":4,\"ti");
  EXPECT_EQ(Listing(h.home), before);
}

TEST(CallsCommand, ShowsTheNewestNAndTwentyByDefault) {
  Home h;
  {
    CallHistory writer(h.Config(), h.Logger());
    for (int i = 0; i < 30; ++i) writer.Record(Call(i));
  }
  const auto numbers = [](const std::string& out) {
    std::vector<std::string> lines;
    for (std::size_t at = 0; at < out.size(); at = out.find('\n', at) + 1)
      lines.push_back(out.substr(at + 21, 13));
    return lines;
  };
  Output five = RunCalls(h.home, 5, false);
  EXPECT_EQ(five.status, 0);
  EXPECT_EQ(numbers(five.out),
            (std::vector<std::string>{"(555)129-1029", "(555)128-1028", "(555)127-1027",
                                      "(555)126-1026", "(555)125-1025"}));
  EXPECT_EQ(numbers(RunCalls(h.home, 0, false).out).size(), 20u);
  EXPECT_EQ(numbers(RunCalls(h.home, 100, false).out).size(), 30u);
}

TEST(CallsCommand, ReadsAHomeWithAnyCharactersInItsName) {
  Home base;
  const std::string home = base.home + "/my home #1 %41?x=y&z";
  CallHistoryConfig config;
  config.file = CallHistoryFile(home);
  {
    CallHistory writer(config, base.Logger());
    writer.Record(Call(7));
  }
  Output o = RunCalls(home, 20, false);
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_NE(o.out.find("Caller 7"), std::string::npos) << o.out;
  EXPECT_FALSE(fs::exists(config.file + "-wal"));
}

struct NoHistoryCase {
  const char* name;
  std::function<void(const Home&)> make;
  int status;
  const char* errPart;
};

class CallsCommandWithout : public ::testing::TestWithParam<NoHistoryCase> {};

TEST_P(CallsCommandWithout, SaysSoInOneLine) {
  Home h;
  GetParam().make(h);
  Output o = RunCalls(h.home, 20, GetParam().status == 2);
  EXPECT_EQ(o.status, GetParam().status);
  EXPECT_EQ(o.out, "");
  EXPECT_NE(o.err.find(GetParam().errPart), std::string::npos) << o.err;
  EXPECT_EQ(std::count(o.err.begin(), o.err.end(), '\n'), 1) << o.err;
  EXPECT_EQ(o.err.back(), '\n');
}

INSTANTIATE_TEST_SUITE_P(
    History, CallsCommandWithout,
    ::testing::Values(
        NoHistoryCase{"NoDataFolder", [](const Home&) {}, 2, "no call history"},
        NoHistoryCase{"NoFile", [](const Home& h) { fs::create_directories(h.home + "/Data"); }, 2,
                      "no call history"},
        NoHistoryCase{"AFolderByThatName", [](const Home& h) { fs::create_directories(h.file); }, 2,
                      "no call history"},
        NoHistoryCase{"EmptyFile",
                      [](const Home& h) {
                        fs::create_directories(h.home + "/Data");
                        std::ofstream(h.file).flush();
                      },
                      2, "no call history"},
        NoHistoryCase{"NoCallsTable",
                      [](const Home& h) {
                        fs::create_directories(h.home + "/Data");
                        {
                          QSqlDatabase db =
                              QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "other");
                          db.setDatabaseName(QString::fromStdString(h.file));
                          db.open();
                          QSqlQuery(db).exec(QStringLiteral("CREATE TABLE notes (text TEXT)"));
                          db.close();
                        }
                        QSqlDatabase::removeDatabase("other");
                      },
                      2, "no call history"},
        NoHistoryCase{"Garbage",
                      [](const Home& h) {
                        fs::create_directories(h.home + "/Data");
                        std::ofstream(h.file) << std::string(3000, 'x');
                      },
                      1, "cannot read the call history"}),
    [](const auto& info) { return std::string(info.param.name); });

QString HelperExe() { return QStringLiteral(HISTORY_HELPER_EXE); }

TEST(CallsCommand, RunsWithoutAQtApplication) {
  TimeZone tz("CET-1CEST,M3.5.0,M10.5.0/3");
  Home h;
  {
    CallHistory writer(h.Config(), h.Logger());
    for (const CompletedCall& c : Sample()) writer.Record(c);
  }
  QProcess p;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("TZ", "CET-1CEST,M3.5.0,M10.5.0/3");
  p.setProcessEnvironment(env);
  p.start(HelperExe(), {"calls", QString::fromStdString(h.home), "20", "--json"});
  ASSERT_TRUE(p.waitForFinished(10000));
  EXPECT_EQ(p.exitCode(), 0);
  EXPECT_EQ(p.readAllStandardOutput().toStdString(), kJson);
  EXPECT_EQ(p.readAllStandardError().toStdString(), "");
}

// A recording process killed with SIGKILL loses at most the calls of the last flush
// interval; what it wrote is a whole, readable history.
TEST(CallsCommand, SigkillLosesAtMostTheLastInterval) {
  constexpr int kFlushMs = 200;
  for (int round = 0; round < 3; ++round) {
    Home h;
    QProcess p;
    p.start(HelperExe(), {"record", QString::fromStdString(h.home), QString::number(kFlushMs)});
    ASSERT_TRUE(p.waitForStarted(5000));
    ASSERT_TRUE(p.waitForReadyRead(5000));
    Pause(700 + 37 * round);
    const Clock::time_point killed = Clock::now();
    ::kill(static_cast<pid_t>(p.processId()), SIGKILL);
    ASSERT_TRUE(p.waitForFinished(5000));

    std::vector<std::string> log;
    CallHistoryConfig config;
    config.file = h.file;
    CallHistory after(config, [&](const std::string& text) { log.push_back(text); });
    EXPECT_TRUE(after.Enabled());
    EXPECT_TRUE(log.empty()) << log.front();
    const std::vector<StoredCall> calls = after.Recent(100000);
    ASSERT_FALSE(calls.empty());
    // Newest first: numbers n, n-1, ..., 1 without a gap.
    for (std::size_t i = 0; i < calls.size(); ++i)
      ASSERT_EQ(calls[i].number, std::to_string(calls.size() - i)) << i;
    const auto lost = std::chrono::duration_cast<std::chrono::milliseconds>(killed - calls[0].time);
    // The interval, plus room for a busy machine to run the timer late.
    EXPECT_LT(lost.count(), kFlushMs + 400) << calls.size() << " calls kept";
  }
}

}  // namespace
}  // namespace history_test
