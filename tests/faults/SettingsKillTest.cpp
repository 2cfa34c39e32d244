// A process killed with SIGKILL in the middle of a settings save: the settings file
// is whole afterwards, exactly as one completed save left it (old or new, never
// half), its backup is whole too, and the program starts with it and joins the
// network.
#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <thread>

#include "FaultRig.h"
#include "SaveLoopValues.h"
#include "host/IniTool.h"

namespace faults {
namespace {

constexpr long kKeys = 1500;  // about 100 KB of settings: a save takes a while
constexpr int kKills = 100;

// The settings text before the first save: [General] for the program, then [Filler].
std::string OriginalFiller() {
  std::string text = "[Filler]\r\n";
  for (long k = 0; k < kKeys; ++k) text += FillerKey(k) + "=" + OriginalValue(k) + "\r\n";
  return text;
}

// Checks that `text` is the whole file as it stood after some completed save and
// returns the number of that save (0: the original file); -1 with a reason otherwise.
long CompletedSave(const std::string& text, std::string& reason) {
  auto fail = [&](std::string why) {
    reason = std::move(why);
    return -1L;
  };
  int reports = 0;
  HostHooks hooks;
  hooks.logEvent = [&](const std::string&, const std::string&) { ++reports; };
  IniTool ini(hooks);
  ini.LoadText(text);
  if (reports > 0) return fail("lines without \"=\"");
  if (text.size() < 2 || text.compare(text.size() - 2, 2, "\r\n") != 0)
    return fail("no final CR LF");
  if (ini.Read("General", "XAPNode", "") != "faults" || ini.Read("General", "OCID", "") != "0")
    return fail("[General] lost");
  if (ini.Keys(kFillerSection).size() != static_cast<std::size_t>(kKeys))
    return fail("key count " + std::to_string(ini.Keys(kFillerSection).size()));
  // The newest save in the file fixes what every key must hold.
  long newest = 0;
  for (long k = 0; k < kKeys; ++k) {
    const std::string v = ini.Read(kFillerSection, FillerKey(k), "");
    if (v.rfind("gen", 0) == 0) newest = std::max(newest, std::atol(v.c_str() + 3));
  }
  for (long k = 0; k < kKeys; ++k) {
    const long last = newest - ((newest - k) % kKeys + kKeys) % kKeys;  // newest save of key k
    const std::string want = last >= 1 ? FillerValue(last) : OriginalValue(k);
    if (ini.Read(kFillerSection, FillerKey(k), "") != want)
      return fail(FillerKey(k) + " holds \"" + ini.Read(kFillerSection, FillerKey(k), "") +
                  "\" after save " + std::to_string(newest));
  }
  return newest;
}

TEST(SettingsKill, KilledSaveLeavesAWholeFileTheProgramStartsWith) {
  Program p("OCID=0\r\nXAPNode=faults\r\n", OriginalFiller());
  const std::string ini = p.Path("/Config/vynRinglet.ini");
  std::string reason;
  ASSERT_EQ(CompletedSave(ReadFile(ini), reason), 0) << reason;

  std::mt19937 random(std::random_device{}());
  std::uniform_int_distribution<int> delayUs(0, 40000);
  long saved = 0;
  int midWrite = 0;
  for (int kill = 0; kill < kKills; ++kill) {
    QFile::remove(QString::fromStdString(ini + ".tmp"));
    QProcess helper;
    helper.start(FAULTS_SAVE_LOOP_EXE, {QString::fromStdString(p.home), QString::number(saved + 1),
                                        QString::number(kKeys)});
    ASSERT_TRUE(helper.waitForStarted(5000));
    ASSERT_TRUE(helper.waitForReadyRead(5000)) << "helper did not start saving";
    std::this_thread::sleep_for(std::chrono::microseconds(delayUs(random)));
    ::kill(static_cast<pid_t>(helper.processId()), SIGKILL);
    ASSERT_TRUE(helper.waitForFinished(5000));
    ASSERT_EQ(helper.exitStatus(), QProcess::CrashExit)
        << "the helper ended by itself: " << helper.readAllStandardError().toStdString();

    const long now = CompletedSave(ReadFile(ini), reason);
    ASSERT_GE(now, saved) << "after kill " << kill << ": " << reason;
    saved = now;
    // A temporary file left behind means the kill fell inside the write itself.
    midWrite += QFile::exists(QString::fromStdString(ini + ".tmp"));
    // The backup is whole too: the file as an earlier completed save left it.
    if (QFile::exists(QString::fromStdString(ini + "_bck"))) {
      const long backup = CompletedSave(ReadFile(ini + "_bck"), reason);
      ASSERT_GE(backup, 0) << "backup after kill " << kill << ": " << reason;
      EXPECT_LE(backup, now);
    }
  }
  RecordProperty("saves", static_cast<int>(saved));
  RecordProperty("killsDuringWrite", midWrite);
  EXPECT_GT(saved, 0) << "no save completed between the kills";
  EXPECT_GT(midWrite, 0) << "no kill fell inside a write";

  Hub hub;
  ASSERT_TRUE(hub.Bound()) << "127.0.0.1:3639 is in use";
  ASSERT_TRUE(p.Start());
  ASSERT_TRUE(Wait([&] { return hub.CountEvents("Using xAP port") == 1; }, 5000));
  ASSERT_FALSE(hub.messages.empty());
  EXPECT_NE(hub.messages[0].find("\nsource=vyn.CID.faults."), std::string::npos) << hub.messages[0];
  EXPECT_EQ(hub.CountEvents("Equal sign"), 0u);
  EXPECT_EQ(p.Terminate(2000), 0);
  // The program only reads its settings: the file is as the last save left it.
  EXPECT_EQ(CompletedSave(ReadFile(ini), reason), saved) << reason;
}

}  // namespace
}  // namespace faults
