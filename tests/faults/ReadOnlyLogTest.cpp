// The log file's folder (Data/) not writable: the program runs on. It joins the
// network, announces calls and answers queries; only the file-log lines are lost.
//
// Root ignores permission bits, so as root the program runs as user nobody
// (setpriv) on a program folder owned by root: nobody may read Config/ but not
// write to Data/. Run as another user, the test takes the write permission away
// from that user instead. The settings carry an OCID value that is not a number,
// which the program reports to the file log at start-up: that write is refused.
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>

#include <filesystem>

#include "FaultRig.h"

namespace faults {
namespace {

namespace fs = std::filesystem;

struct Row {
  const char* name;
  bool dataExists;     // Data/ is there (read-only) or missing under a read-only home
  bool logFileExists;  // Data/xapvynCID.txt is there, read-only
};

// The program folder readable and searchable by everyone, writable by nobody but root.
void MakeReadOnlyForOthers(const std::string& path, bool root) {
  const auto mode = root ? fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                               fs::perms::others_read | fs::perms::others_exec
                         : fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                               fs::perms::group_exec | fs::perms::others_read |
                               fs::perms::others_exec;
  fs::permissions(path, mode);
}

TEST(ReadOnlyLog, ProgramRunsOnWithoutItsFileLog) {
  const bool root = ::geteuid() == 0;
  const passwd* nobody = ::getpwnam("nobody");
  if (root && (!nobody || !QFile::exists("/usr/bin/setpriv")))
    GTEST_SKIP() << "running as root without setpriv or user nobody";
  const Row rows[] = {
      {"DataReadOnly", true, false},
      {"LogFileReadOnly", true, true},
      {"DataMissingHomeReadOnly", false, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Hub hub;
    ASSERT_TRUE(hub.Bound()) << "127.0.0.1:3639 is in use";
    Modem modem;
    ASSERT_FALSE(modem.device.empty());
    Program p("OCID=abc\r\nCIDCommPort=" + modem.device + "\r\n");
    const std::string data = p.Path("/Data");
    const std::string logFile = data + "/xapvynCID.txt";
    if (row.dataExists) fs::create_directory(data);
    if (row.logFileExists) {
      WriteFile(logFile, "earlier line\r\n");
      fs::permissions(logFile,
                      fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    }
    QStringList wrapper;
    if (root) {
      // The temporary folder is root's own (mode 700): let nobody in, and give it the
      // modem and its own client-service store.
      fs::permissions(p.dir.path().toStdString(), fs::perms::owner_all | fs::perms::others_exec);
      ASSERT_EQ(::fchown(modem.slave, nobody->pw_uid, nobody->pw_gid), 0);
      ASSERT_EQ(::chown(p.configHome.c_str(), nobody->pw_uid, nobody->pw_gid), 0);
      ASSERT_EQ(::chown((p.configHome + "/xapvynCID").c_str(), nobody->pw_uid, nobody->pw_gid), 0);
      wrapper = {"/usr/bin/setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups", "--"};
    }
    if (row.dataExists) MakeReadOnlyForOthers(data, root);
    MakeReadOnlyForOthers(p.home, root);
    MakeReadOnlyForOthers(p.Path("/Config"), root);

    ASSERT_TRUE(p.Start(wrapper));
    ASSERT_TRUE(Wait([&] { return hub.CountEvents("Using xAP port") == 1; }, 5000)) << p.stderrText;
    ASSERT_TRUE(modem.WaitText("AT#CID=1\r\n", 5000)) << p.stderrText;
    // The refused file-log line went to standard error only.
    ASSERT_TRUE(Wait(
        [&] { return p.stderrText.find("xapvynCID InitXap 8 Type mismatch") != std::string::npos; },
        2000))
        << p.stderrText;
    if (!row.dataExists) {
      EXPECT_EQ(hub.CountEvents(" CreateFolders "), 1u);
    }
    if (root) {
      const std::string status = ReadFile("/proc/" + std::to_string(p.Pid()) + "/status");
      const std::string uid = std::to_string(nobody->pw_uid);
      EXPECT_NE(status.find("\nUid:\t" + uid + "\t" + uid + "\t"), std::string::npos) << status;
    }

    modem.Write(RingText("5551230005", "READ ONLY"));
    ASSERT_TRUE(Wait([&] { return hub.Phones().size() == 1; }, 5000)) << p.stderrText;
    EXPECT_EQ(hub.Phones()[0], "5551230005");

    const std::size_t before = hub.messages.size();
    SendUdp(hub.ProgramPort(),
            "xap-header\n{\nv=12\nhop=1\nuid=FF123400\nclass=WDT.Echo\nsource=faults.test.echo\n}\n"
            "Echo.Query\n{\nQuery=Still There\n}\n");
    ASSERT_TRUE(Wait([&] { return !hub.OfClass("WDT.Echo", before).empty(); }, 3000));
    EXPECT_EQ(Item(hub.OfClass("WDT.Echo", before)[0], "Echo.Response", "Response"), "still there");

    EXPECT_EQ(p.Terminate(2000), 0);
    EXPECT_EQ(ReadFile(logFile), row.logFileExists ? "earlier line\r\n" : "");
    EXPECT_EQ(QFile::exists(QString::fromStdString(logFile)), row.logFileExists);
    // Let the temporary folder go again (as another user than root).
    fs::permissions(p.home, fs::perms::owner_all, fs::perm_options::add);
    if (row.dataExists) fs::permissions(data, fs::perms::owner_all, fs::perm_options::add);
  }
}

}  // namespace
}  // namespace faults
