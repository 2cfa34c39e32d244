#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>

#include "HostTestUtil.h"
#include "host/CreateFolders.h"
#include "host/GeneralDate.h"
#include "host/IniTool.h"

namespace {

using Strings = std::vector<std::string>;

// Runs fn in a child process, as user nobody when the tests run as root (so that
// folder permissions apply), optionally with a file-size limit that makes writes
// fail part way. Returns the child's exit code, or -1 when it did not exit.
int RunInChild(const std::function<int()>& fn, bool asNobody, rlim_t fileSizeLimit = 0) {
  const pid_t pid = fork();
  if (pid == 0) {
    if (asNobody && geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(90);
    if (fileSizeLimit != 0) {
      signal(SIGXFSZ, SIG_IGN);
      rlimit lim{fileSizeLimit, fileSizeLimit};
      if (setrlimit(RLIMIT_FSIZE, &lim) != 0) _exit(91);
    }
    _exit(fn());
  }
  int status = 0;
  if (pid < 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

// ---- CreateFolders -----------------------------------------------------------

TEST(CreateFolders, CreatesEveryFolderButNotTheLastComponent) {
  TempDir dir;
  const std::string base = dir / "Apps/Tool";
  ASSERT_TRUE(CreateFolders(base + "/Config/x"));
  ASSERT_TRUE(CreateFolders(base + "/Data/x"));
  EXPECT_TRUE(std::filesystem::is_directory(dir / "Apps"));
  EXPECT_TRUE(std::filesystem::is_directory(base + "/Config"));
  EXPECT_TRUE(std::filesystem::is_directory(base + "/Data"));
  EXPECT_FALSE(Exists(base + "/Config/x"));
  EXPECT_FALSE(Exists(base + "/Data/x"));
}

TEST(CreateFolders, TrailingSlashCreatesAllAndDoubleSlashIsHarmless) {
  TempDir dir;
  ASSERT_TRUE(CreateFolders(dir / "a//b/"));
  EXPECT_TRUE(std::filesystem::is_directory(dir / "a/b"));
}

TEST(CreateFolders, RelativePathDoesNothing) {
  TempDir dir;
  const auto cwd = std::filesystem::current_path();
  std::filesystem::current_path(dir.path());
  EXPECT_TRUE(CreateFolders("rel/sub/file"));
  EXPECT_FALSE(Exists(dir / "rel"));
  std::filesystem::current_path(cwd);
}

TEST(CreateFolders, FailureReturnsTheFolderBuiltSoFar) {
  TempDir dir;
  WriteBytes(dir / "blocker", "file, not a folder");
  CreateFoldersResult r = CreateFolders(dir / "blocker/sub/file.ini");
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.folder, dir / "blocker");
  EXPECT_FALSE(r.description.empty());
}

// ---- Load --------------------------------------------------------------------

TEST(IniLoad, MissingFileCreatesFoldersAndAnEmptyFile) {
  TempDir dir;
  Reports reports;
  IniTool ini(reports.Hooks());
  const std::string path = dir / "prog/Config/vynRinglet.ini";
  ASSERT_TRUE(ini.Load(path));
  EXPECT_TRUE(Exists(path));
  EXPECT_EQ(ReadBytes(path), "");
  EXPECT_EQ(ini.Read("General", "XAPPID", "FF008000"), "FF008000");
  EXPECT_EQ(ini.Path(), path);
  EXPECT_TRUE(reports.events.empty());
}

TEST(IniLoad, FolderThatCannotBeMadeIsReportedAndLoadFails) {
  TempDir dir;
  WriteBytes(dir / "blocker", "x");
  Reports reports;
  IniTool ini(reports.Hooks());
  HostStatus status = ini.Load(dir / "blocker/Config/a.ini");
  EXPECT_FALSE(status.ok);
  ASSERT_EQ(reports.events.size(), 1u);
  EXPECT_EQ(reports.events[0].first, "xapvynCID");
  EXPECT_EQ(reports.events[0].second, " CreateFolders " + (dir / "blocker"));
  ASSERT_EQ(reports.errors.size(), 1u);
  EXPECT_FALSE(reports.errors[0].second.empty());
}

TEST(IniLoad, UnreadablePathIsAnErrorValue) {
  TempDir dir;
  std::filesystem::create_directories(dir / "folder.ini");
  IniTool ini;
  HostStatus status = ini.Load(dir / "folder.ini");
  EXPECT_FALSE(status.ok);
  EXPECT_FALSE(status.description.empty());
}

struct ReadCase {
  const char* name;
  std::string text;
  std::string header;
  std::string key;
  std::string expected;  // with default "DEF"
};

class IniReadTable : public ::testing::TestWithParam<ReadCase> {};

TEST_P(IniReadTable, ReadsFromRealFile) {
  const ReadCase& c = GetParam();
  TempDir dir;
  WriteBytes(dir / "t.ini", c.text);
  IniTool ini;
  ASSERT_TRUE(ini.Load(dir / "t.ini"));
  EXPECT_EQ(ini.Read(c.header, c.key, "DEF"), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, IniReadTable,
    ::testing::Values(
        ReadCase{"Plain", "[General]\r\nA=1\r\n", "General", "A", "1"},
        ReadCase{"NamesIgnoreCase", "[general]\r\nserial port=1\r\n", "GENERAL", "Serial Port",
                 "1"},
        ReadCase{"MissingKey", "[General]\r\nA=1\r\n", "General", "B", "DEF"},
        ReadCase{"MissingSection", "[General]\r\nA=1\r\n", "Other", "A", "DEF"},
        ReadCase{"BlankBeforeEqualIsPartOfName", "[S]\r\nk = v\r\n", "S", "k", "DEF"},
        ReadCase{"BlankAfterEqualIsPartOfValue", "[S]\r\nk = v\r\n", "S", "k ", " v"},
        ReadCase{"EmptyValueReadsAsDefault", "[S]\r\nk=\r\n", "S", "k", "DEF"},
        ReadCase{"FirstOfTwoLinesWins", "[S]\r\nk=1\r\nk=2\r\n", "S", "k", "1"},
        ReadCase{"ValueKeepsSpecialCharacters", "[S]\r\nk= a=b ;c~d\r\n", "S", "k", " a=b ;c~d"},
        ReadCase{"ValueBeforeFirstSection", "k=1\r\n[S]\r\nk=2\r\n", "", "k", "1"},
        ReadCase{"LineTrimmedOfBlanks", "  [S]  \r\n   k=1   \r\n", "S", "k", "1"},
        ReadCase{"TabsAreNotTrimmed", "[S]\r\n\tk=1\r\n", "S", "\tk", "1"},
        ReadCase{"TabbedNameDiffers", "[S]\r\n\tk=1\r\n", "S", "k", "DEF"},
        ReadCase{"CommentSkipped", "[S]\r\n;k=1\r\n", "S", ";k", "DEF"},
        ReadCase{"RepeatedSectionMerges",
                 "[General]\r\na=1\r\n[Other]\r\nb=2\r\n[general]\r\nc=3\r\n", "General", "c", "3"},
        ReadCase{"LfOnly", "[S]\nk=1\nj=2\n", "S", "j", "2"},
        ReadCase{"NoFinalLineEnd", "[S]\r\nk=1", "S", "k", "1"},
        ReadCase{"SectionLineWithCommentIsNoSection", "[S] ;note\r\nk=1\r\n", "", "k", "1"},
        ReadCase{"AsciiUpperCaseOnly", "[S]\r\n\xe4=1\r\n", "S", "\xe4", "1"},
        ReadCase{"HighBytesAreNotFolded", "[S]\r\n\xe4=1\r\n", "S", "\xc4", "DEF"}),
    [](const ::testing::TestParamInfo<ReadCase>& info) { return std::string(info.param.name); });

TEST(IniLoad, LfAndCrLfAndMixedFilesLoadTheSame) {
  const std::string crlf =
      "; settings\r\nx=0\r\n[General]\r\nA=1\r\nB = 2 \r\n\r\n[Other]\r\nC=3\r\n";
  std::string lf = crlf;
  for (std::size_t p; (p = lf.find("\r\n")) != std::string::npos;) lf.erase(p, 1);
  std::string mixed = lf;
  mixed.replace(mixed.find("\nA=1"), 1, "\r\n");
  TempDir dir;
  std::string saved[3];
  Strings headers[3];
  const std::string* texts[3] = {&crlf, &lf, &mixed};
  for (int i = 0; i < 3; ++i) {
    WriteBytes(dir / "t.ini", *texts[i]);
    IniTool ini;
    ASSERT_TRUE(ini.Load(dir / "t.ini"));
    saved[i] = ini.SaveText();
    headers[i] = ini.Headers();
  }
  EXPECT_EQ(saved[0], "X=0\r\n[GENERAL]\r\nA=1\r\nB = 2\r\n[OTHER]\r\nC=3\r\n");
  EXPECT_EQ(saved[1], saved[0]);
  EXPECT_EQ(saved[2], saved[0]);
  EXPECT_EQ(headers[1], headers[0]);
  EXPECT_EQ(headers[2], headers[0]);
}

TEST(IniLoad, LineWithoutEqualSignIsReportedAndSkipped) {
  Reports reports;
  IniTool ini(reports.Hooks());
  ini.LoadText("[General\r\n   junk words  \r\n[S] ;note\r\nk=1\r\n");
  using Event = std::pair<std::string, std::string>;
  EXPECT_EQ(reports.events,
            (std::vector<Event>{{"IniTool", " Equal sign not found on line [General"},
                                {"IniTool", " Equal sign not found on line junk words"},
                                {"IniTool", " Equal sign not found on line [S] ;note"}}));
  EXPECT_TRUE(reports.errors.empty());
  EXPECT_EQ(ini.Read("", "k", "DEF"), "1");
  EXPECT_EQ(ini.Headers(), Strings{});
}

TEST(IniLoad, LoadAgainStartsFromAnEmptyTable) {
  IniTool ini;
  ini.LoadText("[A]\r\nx=1\r\n");
  ini.LoadText("[B]\r\ny=2\r\n");
  EXPECT_EQ(ini.Read("A", "x", "DEF"), "DEF");
  EXPECT_EQ(ini.Headers(), Strings{"B"});
}

TEST(IniLoad, ByteOrderMarkBeforeTheFirstSectionIsSkipped) {
  IniTool ini;
  ini.LoadText("\xEF\xBB\xBF[General]\r\nOutlook=0\r\n");
  EXPECT_EQ(ini.Read("General", "Outlook", "DEF"), "0");
  EXPECT_EQ(ini.Headers(), Strings{"General"});
}

// ---- Table operations --------------------------------------------------------

TEST(IniTable, RepeatedSectionGivesOneSectionEntryAsFirstSpelt) {
  IniTool ini;
  ini.LoadText("[General]\r\na=1\r\n[Other]\r\nb=2\r\n[general]\r\nc=3\r\n");
  EXPECT_EQ(ini.Headers(), (Strings{"General", "Other"}));
  EXPECT_EQ(ini.Keys("General"), (Strings{"A", "C"}));
}

TEST(IniTable, HeadersOfNoneAndOneSection) {
  IniTool ini;
  EXPECT_EQ(ini.Headers(), Strings{});
  ini.WriteKey("General", "A", "1");
  EXPECT_EQ(ini.Headers(), Strings{"General"});
}

struct KeysCase {
  const char* name;
  std::string text;
  std::string header;
  Strings expected;
};

class IniKeysTable : public ::testing::TestWithParam<KeysCase> {};

TEST_P(IniKeysTable, ListsKeyNames) {
  const KeysCase& c = GetParam();
  IniTool ini;
  ini.LoadText(c.text);
  EXPECT_EQ(ini.Keys(c.header), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Sections, IniKeysTable,
    ::testing::Values(
        KeysCase{"NoKeysGivesOneEmptyName", "[Empty]\r\n[S]\r\na=1\r\n", "Empty", {""}},
        KeysCase{"MissingSection", "[S]\r\na=1\r\n", "Nope", {""}},
        KeysCase{"OneKey", "[S]\r\na=1\r\n", "S", {"A"}},
        KeysCase{"TableOrderAndCase", "[S]\r\nzz=1\r\nAa=2\r\n[T]\r\nq=3\r\n", "s", {"ZZ", "AA"}},
        KeysCase{
            "OtherSectionWithSamePrefix", "[Gen]\r\na=1\r\n[General]\r\nb=2\r\n", "Gen", {"A"}},
        KeysCase{"EmptyAndBlankNamesLeftOut", "[S]\r\n=1\r\n  x =2\r\n\t=3\r\n", "S", {"X ", "\t"}},
        KeysCase{"TildeInKeyNameKeptWhole", "[S]\r\na~b=1\r\n", "S", {"A~B"}},
        KeysCase{"PatternHeader", "[General]\r\na=1\r\n[Genesis]\r\nb=2\r\n", "Gen.*", {"A", "B"}},
        KeysCase{"UnbalancedParenthesis", "[a(b]\r\nk=1\r\n", "a(b", {""}},
        KeysCase{"OpenBracket", "[[]\r\nk=1\r\n", "[", {""}},
        KeysCase{"BadRepeat", "[*]\r\nk=1\r\n", "*", {""}}),
    [](const ::testing::TestParamInfo<KeysCase>& info) { return std::string(info.param.name); });

TEST(IniTable, WriteKeyAddsSectionAsGivenAndReplacesInPlace) {
  IniTool ini;
  ini.LoadText("[S]\r\na=1\r\nb=2\r\n");
  ini.WriteKey("s", "A", "9");
  ini.WriteKey("New Section", "k", "v");
  EXPECT_EQ(ini.Keys("S"), (Strings{"A", "B"}));
  EXPECT_EQ(ini.Read("S", "a", "DEF"), "9");
  EXPECT_EQ(ini.Headers(), (Strings{"S", "New Section"}));
  EXPECT_EQ(ini.Read("NEW SECTION", "K", "DEF"), "v");
}

TEST(IniTable, RemoveDeletesValueButKeepsSection) {
  IniTool ini;
  ini.LoadText("[S]\r\na=1\r\nb=2\r\nc=3\r\n");
  ini.Remove("S", "b");
  ini.Remove("S", "missing");
  EXPECT_EQ(ini.Keys("S"), (Strings{"A", "C"}));
  EXPECT_EQ(ini.Read("S", "c", "DEF"), "3");
  ini.Remove("S", "a");
  ini.Remove("S", "c");
  EXPECT_EQ(ini.Headers(), Strings{"S"});
  EXPECT_EQ(ini.Keys("S"), Strings{""});
  EXPECT_EQ(ini.SaveText(), "");
}

TEST(IniTable, ClearEmptiesTableButKeepsPath) {
  TempDir dir;
  WriteBytes(dir / "t.ini", "[S]\r\na=1\r\n");
  IniTool ini;
  ASSERT_TRUE(ini.Load(dir / "t.ini"));
  ini.Clear();
  EXPECT_EQ(ini.Read("S", "a", "DEF"), "DEF");
  EXPECT_EQ(ini.Path(), dir / "t.ini");
  ini.DumpHashTable();
}

// ---- Save --------------------------------------------------------------------

struct SaveCase {
  const char* name;
  std::string text;
  std::string expected;
};

class IniSaveTable : public ::testing::TestWithParam<SaveCase> {};

TEST_P(IniSaveTable, LoadThenSaveWritesFile) {
  const SaveCase& c = GetParam();
  TempDir dir;
  const std::string path = dir / "t.ini";
  WriteBytes(path, c.text);
  IniTool ini;
  ASSERT_TRUE(ini.Load(path));
  ASSERT_TRUE(ini.Save());
  EXPECT_EQ(ReadBytes(path), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Files, IniSaveTable,
    ::testing::Values(
        SaveCase{"HandEdited", "[General]\r\nSerial Port=1\r\n; a comment\r\n[Empty]\r\n",
                 "[GENERAL]\r\nSERIAL PORT=1\r\n"},
        SaveCase{"SortedSectionsAndKeys", "[b]\r\nz=1\r\ny=2\r\n[a]\r\nx=3\r\n",
                 "[A]\r\nX=3\r\n[B]\r\nY=2\r\nZ=1\r\n"},
        SaveCase{"EmptySectionValuesFirst", "[S]\r\nk=1\r\n", "[S]\r\nK=1\r\n"},
        SaveCase{"ValuesBeforeFirstSectionStayOnTop", "top=1\r\n[A]\r\nk=2\r\n",
                 "TOP=1\r\n[A]\r\nK=2\r\n"},
        SaveCase{"SecondOfTwoLinesDropped", "[S]\r\nk=1\r\nk=2\r\n", "[S]\r\nK=1\r\n"},
        SaveCase{"ValueKeptVerbatim", "[S]\r\nk= a=b ;c~d\r\n", "[S]\r\nK= a=b ;c~d\r\n"},
        SaveCase{"LfFileSavedWithCrLf", "[S]\nk=1\n", "[S]\r\nK=1\r\n"},
        SaveCase{"ValueEqualToItsTableKeyKept", "[A]\r\nB=A~B\r\n", "[A]\r\nB=A~B\r\n"},
        SaveCase{"TildeSectionWritesNoBogusLine", "[x~y]\r\nz=1\r\n", "[X]\r\nY~Z=1\r\n"},
        SaveCase{"EmptyFile", "", ""}),
    [](const ::testing::TestParamInfo<SaveCase>& info) { return std::string(info.param.name); });

TEST(IniSave, TildeSectionRoundTripsForReads) {
  TempDir dir;
  const std::string path = dir / "t.ini";
  WriteBytes(path, "[x~y]\r\nz=1\r\n");
  IniTool ini;
  ASSERT_TRUE(ini.Load(path));
  ASSERT_TRUE(ini.Save());
  ASSERT_TRUE(ini.Load(path));
  EXPECT_EQ(ini.Read("x~y", "z", "DEF"), "1");
}

// A saved file loads back to the same values whatever the section names hold, including a
// "~" followed by text that would not read back as the key of the line.
struct RoundTripCase {
  const char* name;
  std::string text;             // the file loaded first
  std::vector<Strings> writes;  // {section, key, value} written before the save
  std::vector<Strings> reads;   // {section, key, value} read after loading the save
};

class IniSaveRoundTrip : public ::testing::TestWithParam<RoundTripCase> {};

TEST_P(IniSaveRoundTrip, SavedFileLoadsToTheSameValues) {
  const RoundTripCase& c = GetParam();
  TempDir dir;
  const std::string path = dir / "t.ini";
  WriteBytes(path, c.text);
  IniTool ini;
  ASSERT_TRUE(ini.Load(path));
  for (const Strings& w : c.writes) ini.WriteKey(w[0], w[1], w[2]);
  ASSERT_TRUE(ini.Save());
  IniTool again;
  ASSERT_TRUE(again.Load(path));
  for (const Strings& r : c.reads) EXPECT_EQ(again.Read(r[0], r[1], "DEF"), r[2]) << r[0];
  EXPECT_EQ(again.SaveText(), ReadBytes(path));
}

INSTANTIATE_TEST_SUITE_P(
    Files, IniSaveRoundTrip,
    ::testing::Values(
        // Found by fuzz_ini: the section's "=" ended up in the key part of the saved line.
        RoundTripCase{"FuzzSectionWithTildeAndEqualSign",
                      "[ab~c=d]\r\n\tk=v\tv\t\r\n",
                      {},
                      {{"ab~c=d", "\tk", "v\tv\t"}}},
        // Found by fuzz_ini (minimised input "[~=]"), with the write the target makes.
        RoundTripCase{"FuzzWriteUnderSectionTildeEqualSign",
                      "[~=]",
                      {{"~=", "FuzzKey", "v[~=]"}},
                      {{"~=", "fuzzkey", "v[~=]"}}},
        RoundTripCase{"SectionTildeThenBlank", "[a~ b]\r\nc=1\r\n", {}, {{"a~ b", "c", "1"}}},
        RoundTripCase{"SectionTildeThenSemicolon", "[a~;b]\r\nc=1\r\n", {}, {{"a~;b", "c", "1"}}},
        RoundTripCase{"SectionTildeThenBracket", "[a~[b]\r\nc=x]\r\n", {}, {{"a~[b", "c", "x]"}}},
        RoundTripCase{"KeyWithTilde",
                      "[a]\r\nb~c=1\r\ntop~=2\r\n",
                      {},
                      {{"a", "b~c", "1"}, {"a", "top~", "2"}}},
        RoundTripCase{"EmptySectionAndKey",
                      "=1\r\n[]\r\n=2\r\n[~]\r\n=3\r\n",
                      {},
                      {{"", "", "1"}, {"~", "", "3"}}}),
    [](const ::testing::TestParamInfo<RoundTripCase>& info) {
      return std::string(info.param.name);
    });

TEST(IniSave, BlankedNameAndWrittenNameAreTwoLines) {
  TempDir dir;
  const std::string path = dir / "t.ini";
  WriteBytes(path, "[S]\r\nk = v\r\n");
  IniTool ini;
  ASSERT_TRUE(ini.Load(path));
  EXPECT_EQ(ini.Read("S", "k", "DEF"), "DEF");
  ini.WriteKey("S", "k", "new");
  ASSERT_TRUE(ini.Save());
  EXPECT_EQ(ReadBytes(path), "[S]\r\nK=new\r\nK = v\r\n");
}

TEST(IniSave, LongNamesAreWrittenInFull) {
  TempDir dir;
  const std::string path = dir / "t.ini";
  const std::string section(150, 's');
  const std::string key(100, 'k');
  IniTool ini;
  ASSERT_TRUE(ini.Load(path));
  ini.WriteKey(section, key, "value");
  ini.WriteKey("Short", "k", "1");
  ASSERT_TRUE(ini.Save());
  IniTool again;
  ASSERT_TRUE(again.Load(path));
  EXPECT_EQ(again.Read(section, key, "DEF"), "value");
  EXPECT_EQ(again.Read("Short", "k", "DEF"), "1");
}

TEST(IniSave, KeepsPreviousFileAsBackupAndLeavesNoTemporaryFile) {
  TempDir dir;
  const std::string path = dir / "t.ini";
  const std::string old = "; hand written\r\n[General]\r\nA=1\r\n";
  WriteBytes(path, old);
  IniTool ini;
  ASSERT_TRUE(ini.Load(path));
  ini.WriteKey("General", "B", "2");
  ASSERT_TRUE(ini.Save());
  EXPECT_EQ(ReadBytes(path), "[GENERAL]\r\nA=1\r\nB=2\r\n");
  EXPECT_EQ(ReadBytes(path + "_bck"), old);
  EXPECT_EQ(FolderNames(dir.path()), (Strings{"t.ini", "t.ini_bck"}));

  // A second save replaces the older backup.
  ini.WriteKey("General", "C", "3");
  ASSERT_TRUE(ini.Save());
  EXPECT_EQ(ReadBytes(path + "_bck"), "[GENERAL]\r\nA=1\r\nB=2\r\n");
}

TEST(IniSave, NewFileHasNoBackup) {
  TempDir dir;
  const std::string path = dir / "sub/new.ini";
  IniTool ini;
  ASSERT_TRUE(ini.Load(path));
  std::filesystem::remove(path);
  ini.WriteKey("S", "k", "1");
  ASSERT_TRUE(ini.Save());
  EXPECT_EQ(FolderNames(dir / "sub"), Strings{"new.ini"});
}

TEST(IniSave, KeepsFilePermissions) {
  TempDir dir;
  const std::string path = dir / "t.ini";
  WriteBytes(path, "[S]\r\nk=1\r\n");
  ::chmod(path.c_str(), 0600);
  IniTool ini;
  ASSERT_TRUE(ini.Load(path));
  ASSERT_TRUE(ini.Save());
  struct stat st {};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST(IniSave, SymbolicLinkStaysALink) {
  TempDir dir;
  const std::string target = dir / "real.ini";
  const std::string link = dir / "t.ini";
  WriteBytes(target, "[S]\r\nk=1\r\n");
  std::filesystem::create_symlink(target, link);
  IniTool ini;
  ASSERT_TRUE(ini.Load(link));
  ini.WriteKey("S", "k", "2");
  ASSERT_TRUE(ini.Save());
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_EQ(ReadBytes(target), "[S]\r\nK=2\r\n");
  EXPECT_EQ(ReadBytes(link + "_bck"), "[S]\r\nk=1\r\n");
}

struct FailCase {
  const char* name;
  std::string blocker;  // a folder made at this name beside the file
  int location;
  bool backupWritten;
};

class IniSaveFailure : public ::testing::TestWithParam<FailCase> {};

TEST_P(IniSaveFailure, LeavesOldFileAndReports) {
  const FailCase& c = GetParam();
  TempDir dir;
  const std::string path = dir / "t.ini";
  const std::string old = "[General]\r\nA=1\r\n";
  WriteBytes(path, old);
  std::filesystem::create_directories(path + c.blocker + "/inside");
  Reports reports;
  IniTool ini(reports.Hooks());
  ASSERT_TRUE(ini.Load(path));
  ini.WriteKey("General", "A", "2");
  HostStatus status = ini.Save();
  EXPECT_FALSE(status.ok);
  EXPECT_EQ(status.location, c.location);
  EXPECT_EQ(ReadBytes(path), old);
  using Event = std::pair<std::string, std::string>;
  EXPECT_EQ(reports.events, (std::vector<Event>{{"xapvynCID", "IniTool Save " + path}}));
  ASSERT_EQ(reports.errors.size(), 1u);
  EXPECT_EQ(reports.errors[0].first, c.location);
  EXPECT_FALSE(reports.errors[0].second.empty());
  EXPECT_EQ(Exists(path + "_bck") && !std::filesystem::is_directory(path + "_bck"),
            c.backupWritten);
}

INSTANTIATE_TEST_SUITE_P(
    Steps, IniSaveFailure,
    ::testing::Values(FailCase{"BackupCopyFails", "_bck", IniTool::kSaveBackup, false},
                      FailCase{"TemporaryFileFails", ".tmp", 2, true}),
    [](const ::testing::TestParamInfo<FailCase>& info) { return std::string(info.param.name); });

TEST(IniSave, ReadOnlyFolderLeavesOldFileIntactAndReports) {
  for (bool withBackup : {false, true}) {
    SCOPED_TRACE(withBackup ? "writable backup present" : "no backup");
    TempDir dir;
    ::chmod(dir.path().c_str(), 0755);
    const std::string folder = dir / "Config";
    const std::string path = folder + "/t.ini";
    const std::string old = "[General]\r\nA=1\r\n";
    WriteBytes(path, old);
    if (withBackup) {
      WriteBytes(path + "_bck", "older");
      ::chmod((path + "_bck").c_str(), 0666);
    }
    ::chmod(folder.c_str(), 0555);

    const int code = RunInChild(
        [&] {
          Reports reports;
          IniTool ini(reports.Hooks());
          if (!ini.Load(path)) return 10;
          ini.WriteKey("General", "A", "2");
          if (ini.Save().ok) return 11;
          if (reports.events.size() != 1 || reports.events[0].first != "xapvynCID" ||
              reports.events[0].second != "IniTool Save " + path)
            return 12;
          return reports.errors.size() == 1 ? 0 : 13;
        },
        true);
    EXPECT_EQ(code, 0);
    EXPECT_EQ(ReadBytes(path), old);
    EXPECT_FALSE(Exists(path + ".tmp"));
  }
}

TEST(IniSave, WriteThatDiesHalfWayLeavesOldFileIntact) {
  TempDir dir;
  const std::string path = dir / "t.ini";
  const std::string old = "[General]\r\nA=1\r\n";
  WriteBytes(path, old);
  const int code = RunInChild(
      [&] {
        Reports reports;
        IniTool ini(reports.Hooks());
        if (!ini.Load(path)) return 10;
        ini.WriteKey("General", "Big", std::string(100000, 'x'));
        HostStatus status = ini.Save();
        if (status.ok || status.location != 3) return 11;
        if (reports.events.size() != 1 || reports.events[0].second != "IniTool Save " + path)
          return 12;
        return 0;
      },
      false, 4096);
  EXPECT_EQ(code, 0);
  EXPECT_EQ(ReadBytes(path), old);
  EXPECT_EQ(ReadBytes(path + "_bck"), old);
  EXPECT_EQ(FolderNames(dir.path()), (Strings{"t.ini", "t.ini_bck"}));
}

TEST(IniSave, WithoutLoadFailsAndReports) {
  Reports reports;
  IniTool ini(reports.Hooks());
  ini.WriteKey("S", "k", "1");
  EXPECT_FALSE(ini.Save().ok);
  ASSERT_EQ(reports.events.size(), 1u);
  EXPECT_EQ(reports.events[0].second, "IniTool Save ");
}

// ---- Install operations ------------------------------------------------------

class IniInstall : public ::testing::Test {
 protected:
  void SetUp() override {
    iniPath_ = dir_ / "Config/vynRinglet.ini";
    WriteBytes(iniPath_,
               "[Install]\r\nCIDCommPort=3\r\nXAPPID=\"FF00\"\r\n"
               "[Strings]\r\nCaption= = \"New\"\r\n"
               "[Arr]\r\nOne= 1 'first\r\nTwo=two\r\n");
    SetModified(iniPath_, modified_);
  }

  static void SetModified(const std::string& path, std::chrono::system_clock::time_point t) {
    const timespec times[2] = {{std::chrono::system_clock::to_time_t(t), 0},
                               {std::chrono::system_clock::to_time_t(t), 0}};
    ::utimensat(AT_FDCWD, path.c_str(), times, 0);
  }

  IniTool LoadedTool() {
    HostHooks hooks;
    hooks.now = [this] { return now_; };
    IniTool ini(hooks);
    EXPECT_TRUE(ini.Load(iniPath_));
    return ini;
  }

  std::string LogLine(const std::string& src, const std::string& name) const {
    return GeneralDateText(now_) + "\t" + iniPath_ + "\t" + GeneralDateText(modified_) + "\t" +
           src + "\t" + name + "\r\n";
  }
  std::string Comment() const {
    return "\t'Installed From .ini dated " + GeneralDateText(modified_);
  }

  static constexpr const char* kHeading =
      "Run Date   /   Ini File   /   Date of Ini File    /   File Modified    /  Header "
      "Modified\r\n";

  TempDir dir_;
  std::string iniPath_;
  std::chrono::system_clock::time_point modified_ =
      std::chrono::system_clock::from_time_t(1700000000);
  std::chrono::system_clock::time_point now_ = std::chrono::system_clock::from_time_t(1710000000);
};

TEST_F(IniInstall, KeysRewritesConstantsAndAssignmentsAndLogsTheChange) {
  const std::string src = dir_ / "src/Module.bas";
  WriteBytes(src,
             "Option Explicit\r\n"
             "Public Const CIDCommPort = 1 'old comment\r\n"
             "Const XAPPID=\"x\"\r\n"
             "Sub Init()\r\n"
             "    cidcommport = 7\r\n"
             "    Other = 1\r\n"
             "End Sub\r\n");
  IniTool ini = LoadedTool();
  ASSERT_TRUE(ini.InstallKeys(src, "Install"));
  EXPECT_EQ(ReadBytes(src),
            "Option Explicit\r\n"
            "Public Const CIDCommPort = 3" +
                Comment() +
                "\r\n"
                "Const XAPPID= \"FF00\"" +
                Comment() +
                "\r\n"
                "Sub Init()\r\n"
                "    cidcommport = 3" +
                Comment() +
                "\r\n"
                "    Other = 1\r\n"
                "End Sub\r\n");
  const std::string logPath = dir_ / "Config/vynRinglet_IniLog.txt";
  EXPECT_EQ(ReadBytes(logPath), kHeading + LogLine(src, "Install"));

  // A second run appends to the log and leaves the rewritten file as it is.
  ASSERT_TRUE(ini.InstallKeys(src, "Install"));
  EXPECT_EQ(ReadBytes(logPath), kHeading + LogLine(src, "Install") + LogLine(src, "Install"));
  EXPECT_NE(ReadBytes(src).find("    cidcommport = 3" + Comment() + "\r\n    Other"),
            std::string::npos);
}

TEST_F(IniInstall, EveryOccurrenceIsRewritten) {
  const std::string src = dir_ / "a.bas";
  WriteBytes(src,
             "Const CIDCOMMPORT = 1\r\nConst CIDCOMMPORT = 2\r\nx\r\nConst CIDCOMMPORT = 4\r\n");
  IniTool ini = LoadedTool();
  ASSERT_TRUE(ini.InstallConstant(src, "CIDCOMMPORT", "9"));
  const std::string line = "Const CIDCOMMPORT = 9" + Comment() + "\r\n";
  EXPECT_EQ(ReadBytes(src), line + line + "x\r\n" + line);
  EXPECT_EQ(ReadBytes(dir_ / "Config/vynRinglet_IniLog.txt"),
            kHeading + LogLine(src, "CIDCOMMPORT"));
}

TEST_F(IniInstall, LfOnlySourceKeepsTheRestOfTheFile) {
  const std::string src = dir_ / "a.bas";
  WriteBytes(src, "Const CIDCOMMPORT = 1\nDim a\nDim b\n");
  IniTool ini = LoadedTool();
  ASSERT_TRUE(ini.InstallConstant(src, "CIDCOMMPORT", "9"));
  EXPECT_EQ(ReadBytes(src), "Const CIDCOMMPORT = 9" + Comment() + "\nDim a\nDim b\n");
}

TEST_F(IniInstall, ConstantWithEmptyNameRewritesNothingButLogs) {
  const std::string src = dir_ / "a.bas";
  const std::string text = "Const A = 1\r\n";
  WriteBytes(src, text);
  IniTool ini = LoadedTool();
  ASSERT_TRUE(ini.InstallConstant(src, "", "9"));
  EXPECT_EQ(ReadBytes(src), text);
  EXPECT_EQ(ReadBytes(dir_ / "Config/vynRinglet_IniLog.txt"), kHeading + LogLine(src, ""));
}

TEST_F(IniInstall, StringsPutsTheValueBehindTheKeyName) {
  const std::string src = dir_ / "a.frm";
  WriteBytes(src, "Begin Form\r\n   Caption = \"Old\"\r\n   Other = 1\r\nEnd\r\n");
  IniTool ini = LoadedTool();
  ASSERT_TRUE(ini.InstallStrings(src, "Strings"));
  EXPECT_EQ(ReadBytes(src), "Begin Form\r\n   Caption = \"New\"\r\n   Other = 1\r\nEnd\r\n");
  EXPECT_EQ(ReadBytes(dir_ / "Config/vynRinglet_IniLog.txt"), kHeading + LogLine(src, "Strings"));
}

TEST_F(IniInstall, ArrayRewritesNamesAndValues) {
  const std::string src = dir_ / "a.bas";
  WriteBytes(src, "Names = Array(\"x\")\r\nVals = Array(1)\r\n");
  IniTool ini = LoadedTool();
  ASSERT_TRUE(ini.InstallArray(src, "Arr", "Names", "Vals"));
  EXPECT_EQ(ReadBytes(src), "Names = Array(\"ONE\",\"TWO\")" + Comment() +
                                "\r\nVals = Array(1,two)" + Comment() + "\r\n");
}

TEST_F(IniInstall, BadKeyPatternIsAnErrorAndLeavesTheSource) {
  WriteBytes(iniPath_, "[Bad]\r\nA(B=1\r\n");
  SetModified(iniPath_, modified_);
  const std::string src = dir_ / "a.bas";
  const std::string text = "Const A = 1\r\n";
  WriteBytes(src, text);
  IniTool ini = LoadedTool();
  EXPECT_FALSE(ini.InstallKeys(src, "Bad").ok);
  EXPECT_EQ(ReadBytes(src), text);
}

TEST_F(IniInstall, MissingSourceOrIniFileIsAnError) {
  IniTool ini = LoadedTool();
  EXPECT_FALSE(ini.InstallKeys(dir_ / "missing.bas", "Install").ok);
  IniTool notLoaded;
  const std::string src = dir_ / "a.bas";
  WriteBytes(src, "x\r\n");
  EXPECT_FALSE(notLoaded.InstallKeys(src, "Install").ok);
}

TEST_F(IniInstall, ChangeLogSitsBesideTheIniFileEvenUnderDottedFolders) {
  iniPath_ = dir_ / ".config/xapvynCID/Config/vynRinglet.ini";
  WriteBytes(iniPath_, "[Install]\r\nK=1\r\n");
  SetModified(iniPath_, modified_);
  const std::string src = dir_ / "a.bas";
  WriteBytes(src, "Const K = 0\r\n");
  IniTool ini = LoadedTool();
  ASSERT_TRUE(ini.InstallKeys(src, "Install"));
  EXPECT_EQ(ReadBytes(dir_ / ".config/xapvynCID/Config/vynRinglet_IniLog.txt"),
            kHeading + LogLine(src, "Install"));
  EXPECT_FALSE(Exists(dir_ / "_IniLog.txt"));
}

TEST_F(IniInstall, IniFileNameWithoutDotGetsNoChangeLog) {
  iniPath_ = dir_ / "Config/settings";
  WriteBytes(iniPath_, "[Install]\r\nK=1\r\n");
  const std::string src = dir_ / "a.bas";
  WriteBytes(src, "Const K = 0\r\n");
  IniTool ini = LoadedTool();
  ASSERT_TRUE(ini.InstallKeys(src, "Install"));
  EXPECT_EQ(FolderNames(dir_ / "Config"), (Strings{"settings", "vynRinglet.ini"}));
}

}  // namespace
