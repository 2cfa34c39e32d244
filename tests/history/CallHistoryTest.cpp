// The call history on real SQLite files in a temporary folder: what goes in comes back,
// updates, the write timer, queries, damaged files and retention.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSqlQuery>
#include <filesystem>
#include <fstream>

#include "HistoryRig.h"
#include "history/CallHistory.h"

namespace history_test {
namespace {

namespace fs = std::filesystem;

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// The files of the Data folder whose names start with "calls.sqlite.corrupt-".
std::vector<std::string> Aside(const Home& h) {
  std::vector<std::string> out;
  for (const auto& e : fs::directory_iterator(fs::path(h.file).parent_path())) {
    const std::string name = e.path().filename().string();
    if (name.rfind("calls.sqlite.corrupt-", 0) == 0) out.push_back(e.path().string());
  }
  std::sort(out.begin(), out.end());
  return out;
}

// Another connection that holds the write lock of file while it lives.
class WriteLock {
 public:
  explicit WriteLock(const std::string& file) {
    db_ = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name_);
    db_.setDatabaseName(QString::fromStdString(file));
    EXPECT_TRUE(db_.open());
    QSqlQuery q(db_);
    EXPECT_TRUE(q.exec(QStringLiteral("BEGIN IMMEDIATE")));
  }
  ~WriteLock() {
    {
      QSqlQuery q(db_);
      q.exec(QStringLiteral("ROLLBACK"));
    }
    db_.close();
    db_ = QSqlDatabase();
    QSqlDatabase::removeDatabase(name_);
  }

 private:
  QString name_ = QStringLiteral("history_test_lock");
  QSqlDatabase db_;
};

TEST(CallHistoryStore, EveryFieldComesBackFromDisk) {
  Home h;
  std::vector<CompletedCall> calls;
  const NamedBy namedBy[] = {NamedBy::Phonebook, NamedBy::AreaCode, NamedBy::ReverseLookup,
                             NamedBy::CallerId, NamedBy::Withheld};
  const CallSource sources[] = {CallSource::Serial, CallSource::NetworkBox, CallSource::Xap,
                                CallSource::Ncid};
  for (int i = 0; i < 5; ++i) {
    CompletedCall c = Call(i);
    c.time += std::chrono::milliseconds(i * 7);  // milliseconds are kept
    c.namedBy = namedBy[i];
    c.source = sources[i % 4];
    c.sourceDetail = "detail " + std::to_string(i);
    calls.push_back(c);
  }
  // 8-bit texts come back byte for byte: Latin-1, UTF-8, quotes, control bytes, a NUL.
  calls[1].name = "Zo\xEB \"M\xFCller\"\x01\x1B[0m";
  calls[2].callerIdName = std::string("A\0B", 3);
  calls[2].name = "Ren\xC3\xA9 50%_off";
  calls[2].firstName = "FIRST";
  calls[3].number = "";
  calls[3].displayNumber = "";
  {
    CallHistory history(h.Config(), h.Logger());
    ASSERT_TRUE(history.Enabled());
    for (const CompletedCall& c : calls) history.Record(c);
    EXPECT_TRUE(history.Flush());
  }
  CallHistory reopened(h.Config(), h.Logger());
  const std::vector<StoredCall> back = reopened.Recent(10);
  ASSERT_EQ(back.size(), calls.size());
  for (std::size_t i = 0; i < calls.size(); ++i) {
    EXPECT_EQ(Fields(back[i]), Fields(calls[calls.size() - 1 - i])) << i;
    EXPECT_EQ(back[i].id, static_cast<std::int64_t>(calls.size() - i));
  }
  EXPECT_TRUE(h.log.empty());
  // Another reader sees the same.
  EXPECT_EQ(Fields(OnDisk(h.file).at(3)), Fields(calls[1]));
}

struct UpdateCase {
  const char* name;
  bool flushFirst;          // the call is on disk before the update comes
  std::string updateFirst;  // the update's firstName
  int updates;              // how many updates arrive, each with a new name
  std::string wantFirst;
};

class CallHistoryUpdate : public ::testing::TestWithParam<UpdateCase> {};

TEST_P(CallHistoryUpdate, RenamesTheCallAndKeepsTheFirstName) {
  const UpdateCase& u = GetParam();
  Home h;
  const CompletedCall earlier = Call(0);  // the same number, an hour before
  CompletedCall call = Call(0, BaseTime() + 1h);
  {
    CallHistory history(h.Config(), h.Logger());
    history.Record(earlier);
    history.Record(Call(1));
    history.Record(call);
    history.Record(Call(90));
    if (u.flushFirst) {
      ASSERT_TRUE(history.Flush());
    }
    for (int i = 1; i <= u.updates; ++i) {
      CompletedCall update = call;
      update.name = "Renamed " + std::to_string(i);
      update.namedBy = NamedBy::ReverseLookup;
      update.firstName = u.updateFirst;
      history.Update(update);
    }
    ASSERT_TRUE(history.Flush());
  }
  const std::vector<StoredCall> disk = OnDisk(h.file);
  ASSERT_EQ(disk.size(), 4u);
  const StoredCall& row = disk[1];
  EXPECT_EQ(HistoryTime(row.time), HistoryTime(call.time));
  EXPECT_EQ(row.name, "Renamed " + std::to_string(u.updates));
  EXPECT_EQ(row.namedBy, NamedBy::ReverseLookup);
  EXPECT_EQ(row.firstName, u.wantFirst);
  EXPECT_EQ(row.id, 3);
  EXPECT_EQ(Fields(disk[3]), Fields(earlier));
  EXPECT_TRUE(h.log.empty());
}

INSTANTIATE_TEST_SUITE_P(
    History, CallHistoryUpdate,
    ::testing::Values(UpdateCase{"WhileQueued", false, "Caller 0", 1, "Caller 0"},
                      UpdateCase{"OnDisk", true, "Caller 0", 1, "Caller 0"},
                      UpdateCase{"OnDiskWithoutFirstName", true, "", 1, "Caller 0"},
                      UpdateCase{"QueuedWithoutFirstName", false, "", 1, "Caller 0"},
                      UpdateCase{"TwiceOnDiskKeepsTheFirstOfAll", true, "", 2, "Caller 0"},
                      UpdateCase{"TwiceQueuedKeepsTheFirstOfAll", false, "", 3, "Caller 0"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CallHistoryStore, UpdateOfAnUnknownCallIsStoredAsACall) {
  Home h;
  CallHistory history(h.Config(), h.Logger());
  CompletedCall update = Call(5);
  update.name = "Late Name";
  update.firstName = "Early Name";
  history.Update(update);
  ASSERT_TRUE(history.Flush());
  const std::vector<StoredCall> disk = OnDisk(h.file);
  ASSERT_EQ(disk.size(), 1u);
  EXPECT_EQ(Fields(disk[0]), Fields(update));
}

TEST(CallHistoryStore, TimerWritesWithinTheIntervalAndFlushWritesAtOnce) {
  Home h;
  {
    CallHistory history(h.Config(50), h.Logger());
    history.Record(Call(1));
    history.Record(Call(2));
    EXPECT_EQ(history.PendingCount(), 2u);
    EXPECT_TRUE(OnDisk(h.file).empty());  // queued only: Record returned without writing
    EXPECT_TRUE(Wait([&] { return OnDisk(h.file).size() == 2; }, 3000));
    EXPECT_EQ(history.PendingCount(), 0u);
  }
  {
    CallHistory history(h.Config(3600000), h.Logger());
    history.Record(Call(3));
    Pause(100);
    EXPECT_EQ(OnDisk(h.file).size(), 2u);
    EXPECT_TRUE(history.Flush());
    EXPECT_EQ(OnDisk(h.file).size(), 3u);
    history.Record(Call(4));
  }  // the destructor writes what is left
  EXPECT_EQ(OnDisk(h.file).size(), 4u);
  EXPECT_TRUE(h.log.empty());
}

TEST(CallHistoryStore, RecentSeesQueuedCallsAndWriteFailuresAreRetriedQuietly) {
  Home h;
  CallHistoryConfig config = h.Config(20);
  config.maxPending = 5;
  CallHistory history(config, h.Logger());
  history.Record(Call(0));
  ASSERT_TRUE(history.Flush());
  {
    WriteLock lock(h.file);
    for (int i = 1; i <= 5; ++i) history.Record(Call(i));
    CompletedCall renamed = Call(0);
    renamed.name = "Renamed";
    history.Update(renamed);  // one more than maxPending: the oldest queued call goes
    EXPECT_FALSE(history.Flush());
    Pause(150);  // several timed retries fail too
    EXPECT_EQ(history.PendingCount(), 5u);

    const std::vector<StoredCall> recent = history.Recent(3);
    ASSERT_EQ(recent.size(), 3u);
    EXPECT_EQ(recent[0].name, "Caller 5");
    EXPECT_EQ(recent[0].id, 0);  // not written yet
    EXPECT_EQ(recent[2].name, "Caller 3");
    const std::vector<StoredCall> all = history.Recent(10);
    ASSERT_EQ(all.size(), 5u);
    EXPECT_EQ(all[3].name, "Caller 2");
    EXPECT_EQ(all[4].name, "Renamed");  // a queued update applies to the row read
    EXPECT_EQ(all[4].firstName, "Caller 0");
    EXPECT_EQ(all[4].id, 1);
    EXPECT_EQ(history.Recent(10, {}, "caller 4").size(), 1u);
    // One line for all of it: failures are reported at most once a minute.
    ASSERT_EQ(h.log.size(), 1u) << h.log.back();
    EXPECT_NE(h.log[0].find("too many calls"), std::string::npos) << h.log[0];
  }
  // The lock is gone: the timer's next try writes the queue.
  EXPECT_TRUE(Wait([&] { return OnDisk(h.file).size() == 5; }, 3000));
  const std::vector<StoredCall> disk = OnDisk(h.file);
  EXPECT_EQ(disk[0].name, "Caller 5");
  EXPECT_EQ(disk[3].name, "Caller 2");
  EXPECT_EQ(disk[4].name, "Renamed");
  EXPECT_EQ(h.log.size(), 1u);
}

TEST(CallHistoryStore, PagesGoBackInTimeWithoutGapsOrRepeats) {
  Home h;
  CallHistory history(h.Config(), h.Logger());
  for (int i = 0; i < 25; ++i) history.Record(Call(i));
  std::vector<int> seen;
  std::optional<Clock::time_point> before;
  for (int page = 0; page < 4; ++page) {
    const std::vector<StoredCall> calls = history.Recent(10, before);
    EXPECT_EQ(calls.size(), page < 2 ? 10u : page == 2 ? 5u : 0u) << page;
    for (const StoredCall& c : calls) seen.push_back(std::stoi(c.name.substr(7)));
    if (!calls.empty()) before = calls.back().time;
  }
  ASSERT_EQ(seen.size(), 25u);
  for (int i = 0; i < 25; ++i) EXPECT_EQ(seen[i], 24 - i);
  EXPECT_TRUE(history.Recent(0).empty());
}

struct SearchCase {
  const char* name;
  std::string search;
  std::vector<int> want;  // the calls found, newest first
};

class CallHistorySearch : public ::testing::TestWithParam<SearchCase> {};

TEST_P(CallHistorySearch, FindsNameOrNumber) {
  Home h;
  CallHistory history(h.Config(), h.Logger());
  CompletedCall c0 = Call(0);
  c0.name = "John Smith";
  c0.callerIdName = "SMITH JOHN";
  CompletedCall c1 = Call(1);
  c1.name = "50% Discount_Line";
  c1.number = "8005550199";
  c1.displayNumber = "(800)555-0199";
  CompletedCall c2 = Call(2);
  c2.name = "Mary Jones";
  c2.firstName = "Smithfield Deli";
  CompletedCall c3 = Call(3);
  c3.name = "Ren\xE9 Dupont";
  for (const CompletedCall& c : {c0, c1, c2, c3}) history.Record(c);
  std::vector<int> found;
  for (const StoredCall& c : history.Recent(10, {}, GetParam().search))
    found.push_back(static_cast<int>(HistoryTime(c.time) - HistoryTime(BaseTime())) / 60000);
  EXPECT_EQ(found, GetParam().want);
}

INSTANTIATE_TEST_SUITE_P(History, CallHistorySearch,
                         ::testing::Values(SearchCase{"Everything", "", {3, 2, 1, 0}},
                                           SearchCase{"NamePartInAnyCase", "smith", {2, 0}},
                                           SearchCase{"CallerIdName", "SMITH JOHN", {0}},
                                           SearchCase{"RawNumberPart", "5550199", {1}},
                                           SearchCase{"DisplayNumberPart", "(800)", {1}},
                                           SearchCase{"PercentIsLiteral", "50%", {1}},
                                           SearchCase{"UnderscoreIsLiteral", "t_L", {1}},
                                           SearchCase{"WildcardsDoNotMatchOtherText", "%_", {}},
                                           SearchCase{"Latin1Byte", "Ren\xE9", {3}},
                                           SearchCase{"Nothing", "Nobody", {}}),
                         [](const auto& info) { return std::string(info.param.name); });

// What stands where the history should be.
struct DamageCase {
  const char* name;
  std::function<void(const std::string& file)> make;
  bool keepsContent;  // the moved file still holds what was there
};

class CallHistoryDamage : public ::testing::TestWithParam<DamageCase> {};

TEST_P(CallHistoryDamage, IsMovedAsideAndANewHistoryWorks) {
  Home h;
  fs::create_directories(fs::path(h.file).parent_path());
  GetParam().make(h.file);
  const std::string before = GetParam().keepsContent ? Slurp(h.file) : "";
  {
    CallHistory history(h.Config(), h.Logger());
    ASSERT_TRUE(history.Enabled());
    ASSERT_EQ(h.log.size(), 1u);
    EXPECT_NE(h.log[0].find("moved it to " + h.file + ".corrupt-"), std::string::npos) << h.log[0];
    history.Record(Call(1));
    ASSERT_TRUE(history.Flush());
  }
  const std::vector<std::string> aside = Aside(h);
  ASSERT_EQ(aside.size(), 1u);
  if (GetParam().keepsContent) {
    EXPECT_TRUE(Slurp(aside[0]) == before);
  }
  ASSERT_EQ(OnDisk(h.file).size(), 1u);
  EXPECT_EQ(OnDisk(h.file)[0].name, "Caller 1");
  // The new file is a good history: it opens again without a word.
  CallHistory again(h.Config(), h.Logger());
  EXPECT_EQ(again.Recent(5).size(), 1u);
  EXPECT_EQ(h.log.size(), 1u);
}

void Write(const std::string& file, const std::string& bytes) {
  std::ofstream(file, std::ios::binary) << bytes;
}

INSTANTIATE_TEST_SUITE_P(
    History, CallHistoryDamage,
    ::testing::Values(
        DamageCase{
            "GarbageFile",
            [](const std::string& f) { Write(f, std::string(5000, '\x5a') + "not a database"); },
            true},
        DamageCase{"FolderInTheWay",
                   [](const std::string& f) {
                     fs::create_directories(f);
                     Write(f + "/inside", "x");
                   },
                   false},
        DamageCase{"LinkLoop", [](const std::string& f) { fs::create_symlink(f, f); }, false},
        DamageCase{"ForeignCallsTable",
                   [](const std::string& f) {
                     QSqlDatabase db =
                         QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "foreign");
                     db.setDatabaseName(QString::fromStdString(f));
                     db.open();
                     QSqlQuery(db).exec(QStringLiteral("CREATE TABLE calls (who TEXT, at TEXT)"));
                     db.close();
                     db = QSqlDatabase();
                     QSqlDatabase::removeDatabase("foreign");
                   },
                   false},
        DamageCase{"HeaderOfAnotherFormat",
                   [](const std::string& f) {
                     Write(f, std::string("SQLite format 3\0", 16) + std::string(4080, '\xff'));
                   },
                   true}),
    [](const auto& info) { return std::string(info.param.name); });

// A history file its user may not read, opened by a process of that user (root drops to
// nobody for this, since root may read any file).
TEST(CallHistoryStore, FileWithoutPermissionIsMovedAside) {
  Home h;
  {
    CallHistory history(h.Config(), h.Logger());
    history.Record(Call(1));
  }
  fs::permissions(h.file, fs::perms::none);
  fs::permissions(h.home, fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
  fs::permissions(fs::path(h.file).parent_path(), fs::perms::all);
  QProcess p;
  if (geteuid() == 0)
    p.setChildProcessModifier([] {
      if (setgid(65534) != 0 || setuid(65534) != 0) _exit(9);
    });
  p.start(QStringLiteral(HISTORY_HELPER_EXE), {"open", QString::fromStdString(h.home)});
  ASSERT_TRUE(p.waitForFinished(10000));
  const std::string log = p.readAllStandardOutput().toStdString();
  EXPECT_EQ(p.exitCode(), 0) << log << p.readAllStandardError().toStdString();
  EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 1) << log;
  EXPECT_NE(log.find("moved it to " + h.file + ".corrupt-"), std::string::npos) << log;
  const auto aside = Aside(h);
  ASSERT_EQ(aside.size(), 1u);
  EXPECT_EQ(fs::status(aside[0]).permissions(), fs::perms::none);
  ASSERT_EQ(OnDisk(h.file).size(), 1u);
}

TEST(CallHistoryStore, FileRemovedWhileRunningIsStartedAnew) {
  Home h;
  CallHistory history(h.Config(), h.Logger());
  history.Record(Call(1));
  ASSERT_TRUE(history.Flush());
  fs::remove(h.file);  // its -wal and -shm stay behind
  history.Record(Call(2));
  EXPECT_TRUE(history.Flush());
  ASSERT_EQ(OnDisk(h.file).size(), 1u);
  EXPECT_EQ(OnDisk(h.file)[0].name, "Caller 2");
  ASSERT_EQ(h.log.size(), 1u);
  EXPECT_NE(h.log[0].find("removed or replaced"), std::string::npos) << h.log[0];
}

TEST(CallHistoryStore, WithNowhereToWriteItTurnsItselfOffQuietly) {
  Home h;
  Write(h.home + "/Data", "a file where the folder should be");
  CallHistory history(h.Config(10), h.Logger());
  EXPECT_FALSE(history.Enabled());
  ASSERT_EQ(h.log.size(), 1u);
  EXPECT_EQ(h.log[0].rfind("Call history: cannot open " + h.file + " (", 0), 0u) << h.log[0];
  EXPECT_NE(h.log[0].find("the call history is off"), std::string::npos) << h.log[0];
  history.Record(Call(1));
  CompletedCall update = Call(1);
  history.Update(update);
  EXPECT_EQ(history.PendingCount(), 0u);
  EXPECT_TRUE(history.Recent(10).empty());
  EXPECT_EQ(history.Prune(), 0);
  Pause(50);
  EXPECT_EQ(h.log.size(), 1u);
}

TEST(CallHistoryStore, HistoryOfANewerProgramIsLeftAlone) {
  Home h;
  {
    CallHistory history(h.Config(), h.Logger());
    history.Record(Call(1));
  }
  {
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "newer");
    db.setDatabaseName(QString::fromStdString(h.file));
    ASSERT_TRUE(db.open());
    ASSERT_TRUE(QSqlQuery(db).exec(QStringLiteral("UPDATE schema_version SET version = 99")));
    db.close();
  }
  QSqlDatabase::removeDatabase("newer");
  CallHistory history(h.Config(), h.Logger());
  EXPECT_FALSE(history.Enabled());
  ASSERT_EQ(h.log.size(), 1u);
  EXPECT_NE(h.log[0].find("newer program"), std::string::npos) << h.log[0];
  EXPECT_TRUE(Aside(h).empty());
  EXPECT_EQ(OnDisk(h.file).size(), 1u);
}

TEST(CallHistoryStore, OldCallsArePrunedAtStartAndByTheDailyTimer) {
  Home h;
  const Clock::time_point now = Clock::now();
  const auto daysAgo = [&](int days, int n) {
    CompletedCall c = Call(n, now - 24h * days);
    c.time = now - 24h * days;
    return c;
  };
  {
    CallHistoryConfig keepAll = h.Config();
    keepAll.keepDays = 0;
    CallHistory history(keepAll, h.Logger());
    history.Record(daysAgo(1000, 1));
    history.Record(daysAgo(731, 2));
    history.Record(daysAgo(729, 3));
    history.Record(daysAgo(1, 4));
  }
  {
    CallHistoryConfig keepAll = h.Config();
    keepAll.keepDays = 0;
    CallHistory history(keepAll, h.Logger());
    EXPECT_EQ(history.Recent(10).size(), 4u);
  }
  CallHistoryConfig config = h.Config();
  config.pruneIntervalMs = 30;
  CallHistory history(config, h.Logger());  // KeepDays 730
  std::vector<StoredCall> left = OnDisk(h.file);
  ASSERT_EQ(left.size(), 2u);
  EXPECT_EQ(left[0].name, "Caller 4");
  EXPECT_EQ(left[1].name, "Caller 3");
  // A call that ages past the limit while the program runs goes at the next daily round.
  history.Record(daysAgo(800, 5));
  ASSERT_TRUE(history.Flush());
  EXPECT_EQ(OnDisk(h.file).size(), 3u);
  EXPECT_TRUE(Wait([&] { return OnDisk(h.file).size() == 2; }, 3000));
  EXPECT_TRUE(h.log.empty());
}

}  // namespace
}  // namespace history_test
