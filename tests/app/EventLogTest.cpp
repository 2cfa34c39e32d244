#include "app/EventLog.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <vector>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

struct Sent {
  std::string target, cls, section, data;
};

}  // namespace

TEST(EventLog, LogToFileLineFormat) {
  auto dir = std::filesystem::temp_directory_path() / ("evlog-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  const std::string file = (dir / "log.txt").string();
  std::filesystem::remove(file);
  EventLog log;
  log.SetLogFile(file);
  log.LogToFile("xapvynCID", "xAP Init Error 5 occurred");
  log.SetError(7, "Permission denied");
  log.LogToFile("xapvynCID", "InitXap");
  log.LogToFile("xapvynCID", "after");
  EXPECT_EQ(ReadAll(file),
            "xapvynCID xAP Init Error 5 occurred 0 \r\n"
            "xapvynCID InitXap 7 Permission denied\r\n"
            "xapvynCID after 0 \r\n");
  std::filesystem::remove_all(dir);
}

TEST(EventLog, FullLogFileIsRotated) {
  auto dir = std::filesystem::temp_directory_path() / ("evrot-" + std::to_string(getpid()));
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  const std::string file = (dir / "log.txt").string();
  EventLog log;
  log.SetLogFile(file);
  log.SetLogFileLimit(100);
  for (int i = 0; i < 30; ++i) log.LogToFile("From XAP", std::to_string(i));
  EXPECT_LT(std::filesystem::file_size(file), 120u);
  EXPECT_LT(std::filesystem::file_size(file + ".1"), 120u);
  EXPECT_TRUE(ReadAll(file).ends_with("From XAP 29 0 \r\n")) << "the newest line is kept";
  std::filesystem::remove_all(dir);
}

TEST(EventLog, LogToFileIntoMissingFolderIsSilent) {
  EventLog log;
  log.SetLogFile("/nonexistent-folder-xyz/log.txt");
  log.LogToFile("xapvynCID", "lost");  // must neither throw nor crash
  SUCCEED();
}

TEST(EventLog, LogEventSendsItemsAndConsumesPendingError) {
  std::vector<Sent> sent;
  EventLog log;
  log.SetClock([] { return std::string("12/5/2026 6:45:12 PM"); });
  log.SetXapSend([&](const std::string& t, const std::string& c, const std::string& s, const std::string& d) {
    sent.push_back({t, c, s, d});
  });
  log.LogEvent("xapvynCID", "Using xAP port 32768");
  log.SetError(3, "File not found");
  log.LogEvent("xapvynCID", "PortOpen 1");
  log.LogEvent("xapvynCID", "next");
  ASSERT_EQ(sent.size(), 3u);
  EXPECT_EQ(sent[0].target, "");
  EXPECT_EQ(sent[0].cls, "Homeseer.Event");
  EXPECT_EQ(sent[0].section, "Event.Log");
  EXPECT_EQ(sent[0].data, std::string("Time\x01" "12/5/2026 6:45:12 PM\0Type\x01xapvynCID\0Data\x01Using xAP port 32768", 66));
  EXPECT_NE(sent[1].data.find("Data\x01PortOpen 1 Line 3 File not found"), std::string::npos);
  EXPECT_NE(sent[2].data.find("Data\x01next"), std::string::npos);
  EXPECT_EQ(sent[2].data.find("Line"), std::string::npos);
}

TEST(EventLog, GeneralDateTimeForm) {
  std::string t = EventLog::GeneralDateTime();
  // M/d/yyyy h:mm:ss AM|PM
  EXPECT_TRUE(t.ends_with(" AM") || t.ends_with(" PM")) << t;
  EXPECT_EQ(std::count(t.begin(), t.end(), '/'), 2) << t;
  EXPECT_EQ(std::count(t.begin(), t.end(), ':'), 2) << t;
}

// Standard error under a flood: the same line is written ten times a minute; the
// rest are counted and the count is written once when the minute is over.
TEST(EventLog, RepeatedLinesAreCountedNotRepeated) {
  using namespace std::chrono;
  steady_clock::time_point now{};
  std::vector<std::string> lines;
  EventLog log;
  log.SetEchoToStderr(true);
  log.SetClock([] { return std::string("T"); });
  log.SetMonotonic([&] { return now; });
  log.SetStderrSink([&](const std::string& l) { lines.push_back(l); });
  // One line every 10 ms: a full minute (6000 lines) and 4222 lines of the next.
  for (int i = 0; i < 10222; ++i) {
    log.LogEvent("xapvynCID", "Winsock2_Error at State 0");
    if (i % 100 == 0) log.LogEvent("xapvynCID", "other");
    now += milliseconds(10);
  }
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "T xapvynCID: Winsock2_Error at State 0"), 20);
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "T xapvynCID: other"), 20);
  // The minute ended during the flood: that minute's count, then a new minute.
  EXPECT_NE(std::find(lines.begin(), lines.end(),
                      "xapvynCID: Winsock2_Error at State 0 (repeated 5990 times in the last minute)"),
            lines.end());
  lines.clear();
  now += seconds(61);
  log.FlushRepeats();
  EXPECT_EQ(lines, (std::vector<std::string>{
                       "xapvynCID: Winsock2_Error at State 0 (repeated 4212 times in the last minute)",
                       "xapvynCID: other (repeated 33 times in the last minute)"}));
  // A quiet line after the flood is written again.
  lines.clear();
  log.LogEvent("xapvynCID", "Winsock2_Error at State 0");
  EXPECT_EQ(lines, std::vector<std::string>{"T xapvynCID: Winsock2_Error at State 0"});
}
