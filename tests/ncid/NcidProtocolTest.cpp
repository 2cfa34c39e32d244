// The NCID protocol text without sockets: field cleaning, call lines, the connection start,
// client lines and the reading of a server's CID: line.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <ctime>
#include <string>
#include <vector>

#include "ncid/NcidProtocol.h"

namespace {

using namespace std::string_literals;

// A local time zone with summer time, so that the conversion from UTC shows.
class CentralEuropeanTime {
 public:
  CentralEuropeanTime() {
    if (const char* tz = getenv("TZ")) old_ = tz, hadOld_ = true;
    setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
    tzset();
  }
  ~CentralEuropeanTime() {
    if (hadOld_)
      setenv("TZ", old_.c_str(), 1);
    else
      unsetenv("TZ");
    tzset();
  }

 private:
  std::string old_;
  bool hadOld_ = false;
};

std::chrono::system_clock::time_point Utc(int year, int month, int day, int hour, int minute) {
  std::tm t{};
  t.tm_year = year - 1900;
  t.tm_mon = month - 1;
  t.tm_mday = day;
  t.tm_hour = hour;
  t.tm_min = minute;
  return std::chrono::system_clock::from_time_t(timegm(&t));
}

CompletedCall Call(std::string number, std::string name, NamedBy by = NamedBy::Phonebook) {
  CompletedCall c;
  c.time = Utc(2026, 7, 4, 22, 30);  // 00:30 on 5 July in Central European summer time
  c.number = std::move(number);
  c.name = std::move(name);
  c.namedBy = by;
  return c;
}

// ---------------------------------------------------------------- field cleaning

TEST(NcidCleanField, ControlBytesAndSeparators) {
  struct Row {
    const char* label;
    std::string in, out;
  };
  const Row rows[] = {
      {"PlainText", "Joe Smith", "Joe Smith"},
      {"StarIsSeparator", "a*b**", "a b  "},
      {"CrLfAndTab", "a\r\nb\tc", "a  b c"},
      {"NulAndEscape", "a\0b\x1b"s, "a b "},
      {"Delete", "a\x7f", "a "},
      {"EightBitStays", "M\xfcller \xe9\x80\xff", "M\xfcller \xe9\x80\xff"},
      {"CutToLimit", std::string(300, 'x'), std::string(ncid::kMaxField, 'x')},
      {"Empty", "", ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.label);
    EXPECT_EQ(ncid::CleanField(row.in), row.out);
  }
}

// ---------------------------------------------------------------- call lines

TEST(NcidCallLine, FieldsOfACall) {
  CentralEuropeanTime tz;
  struct Row {
    const char* label;
    CompletedCall call;
    std::string lineLabel;
    std::string number, name, line;
  };
  CompletedCall outByName = Call("", "Unknown", NamedBy::Withheld);
  outByName.callerIdName = "OUT OF AREA";
  CompletedCall received = Call("(555) 123-4567", "Joe Smith");
  received.receivedNumber = "1-555-123-4567";
  const Row rows[] = {
      {"Named", Call("5551234567", "Joe Smith"), "-", "5551234567", "Joe Smith", "-"},
      {"BlankName", Call("5551234567", "  "), "-", "5551234567", "NO NAME", "-"},
      {"NoNumber", Call("", "Joe"), "-", "NO-NUMBER", "Joe", "-"},
      {"NumberAsReceived", received, "-", "1-555-123-4567", "Joe Smith", "-"},
      {"Withheld", Call("5551234567", "Unknown", NamedBy::Withheld), "-", "5551234567", "PRIVATE",
       "-"},
      {"PrivateNumber", Call("P", "Unknown", NamedBy::CallerId), "-", "P", "PRIVATE", "-"},
      {"OutOfAreaNumber", Call("O", "Unknown", NamedBy::Withheld), "-", "O", "OUT-OF-AREA", "-"},
      {"OutOfAreaCallerIdName", outByName, "-", "NO-NUMBER", "OUT-OF-AREA", "-"},
      {"LineLabel", Call("1", "A"), "HOME", "1", "A", "HOME"},
      {"BlankLineLabel", Call("1", "A"), " \t", "1", "A", "-"},
      {"HostileBytes", Call("55*5\r\n", "Bob*\r\nCID: *X"), "L*1", "55 5  ", "Bob   CID:  X",
       "L 1"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.label);
    const ncid::CallFields f = ncid::NcidFieldsOf(row.call, row.lineLabel);
    EXPECT_EQ(f.date, "07052026");
    EXPECT_EQ(f.time, "0030");
    EXPECT_EQ(f.number, row.number);
    EXPECT_EQ(f.name, row.name);
    EXPECT_EQ(f.line, row.line);
  }
}

TEST(NcidCallLine, WinterTimeAndMorning) {
  CentralEuropeanTime tz;
  CompletedCall c = Call("1", "A");
  c.time = Utc(2026, 1, 2, 8, 5);
  const ncid::CallFields f = ncid::NcidFieldsOf(c, "-");
  EXPECT_EQ(f.date, "01022026");
  EXPECT_EQ(f.time, "0905");
}

TEST(NcidCallLine, ExactLineAndNoFieldBreaksIt) {
  ncid::CallFields f;
  f.date = "07052026";
  f.time = "0030";
  f.line = "-";
  f.number = "5551234567";
  f.name = "Joe Smith";
  EXPECT_EQ(ncid::FormatCallLine("CID", f),
            "CID: *DATE*07052026*TIME*0030*LINE*-*NMBR*5551234567*MESG*NONE*NAME*Joe Smith*\r\n");
  EXPECT_EQ(
      ncid::FormatCallLine("CIDLOG", f),
      "CIDLOG: *DATE*07052026*TIME*0030*LINE*-*NMBR*5551234567*MESG*NONE*NAME*Joe Smith*\r\n");

  // Uncleaned fields handed in directly are cleaned on the way out.
  f.name = "a*b\r\nc";
  f.number = "\n";
  const std::string line = ncid::FormatCallLine("CID", f);
  EXPECT_EQ(line, "CID: *DATE*07052026*TIME*0030*LINE*-*NMBR* *MESG*NONE*NAME*a b  c*\r\n");
  EXPECT_EQ(line.find_first_of("\r\n"), line.size() - 2);
}

// ---------------------------------------------------------------- connection start

TEST(NcidStartup, GreetingAndLogSection) {
  CentralEuropeanTime tz;
  EXPECT_EQ(ncid::ServerGreeting("Server: xapvynCID 0.2"),
            "200 Server: xapvynCID 0.2\r\n210 API 1.0 Feature Set 1\r\n");
  EXPECT_EQ(ncid::ServerGreeting("a\r\nb"), "200 a  b\r\n210 API 1.0 Feature Set 1\r\n");

  const std::vector<CompletedCall> two = {Call("111", "First"), Call("", "")};
  struct Row {
    const char* label;
    std::vector<CompletedCall> calls;
    bool sendLog;
    std::string out;
  };
  const Row rows[] = {
      {"TwoCallsOldestFirst", two, true,
       "CIDLOG: *DATE*07052026*TIME*0030*LINE*L1*NMBR*111*MESG*NONE*NAME*First*\r\n"
       "CIDLOG: *DATE*07052026*TIME*0030*LINE*L1*NMBR*NO-NUMBER*MESG*NONE*NAME*NO NAME*\r\n"
       "250 End of call log\r\n"},
      {"Empty", {}, true, "252 Call log empty\r\n"},
      {"NotSent", two, false, "251 Call log not sent\r\n"},
      {"NotSentEmpty", {}, false, "251 Call log not sent\r\n"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.label);
    EXPECT_EQ(ncid::CallLogSection(row.calls, "L1", row.sendLog), row.out);
  }
}

TEST(NcidStartup, ClientLines) {
  struct Row {
    const char* label;
    std::string line;
    ncid::ClientLine kind;
  };
  const Row rows[] = {
      {"Empty", "", ncid::ClientLine::KeepAlive},
      {"Blanks", "  ", ncid::ClientLine::KeepAlive},
      {"Ident", "HELLO: IDENT: client ncid 1.11", ncid::ClientLine::Hello},
      {"NoLog", "HELLO: CMD: no_log", ncid::ClientLine::HelloNoLog},
      {"NoLogBlanks", "HELLO:  CMD:no_log ", ncid::ClientLine::HelloNoLog},
      {"OtherCommand", "HELLO: CMD: send_log", ncid::ClientLine::Hello},
      {"NoLogNotWhole", "HELLO: CMD: no_logs", ncid::ClientLine::Hello},
      {"LowerCaseHello", "hello: CMD: no_log", ncid::ClientLine::Other},
      {"Message", "MSG: hello all", ncid::ClientLine::Other},
      {"HelloLater", "x HELLO: CMD: no_log", ncid::ClientLine::Other},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.label);
    EXPECT_EQ(ncid::ClassifyClientLine(row.line), row.kind);
  }
}

// ---------------------------------------------------------------- reading CID: lines

TEST(NcidParseCidLine, Table) {
  struct Row {
    const char* label;
    std::string line;
    bool call;
    std::string number, name;
  };
  const Row rows[] = {
      {"Plain", "CID: *DATE*07052026*TIME*0030*LINE*-*NMBR*5551234567*MESG*NONE*NAME*Joe Smith*",
       true, "5551234567", "Joe Smith"},
      {"NoBlankAfterColon", "CID:*DATE*07052026*TIME*0030*NMBR*1*NAME*A*", true, "1", "A"},
      {"MoreFields",
       "CID: *DATE*07052026*TIME*0030*LINE*POTS*NMBR*2015551234*MESG*NONE*NAME*WIRELESS*"
       "FNMBR*1-201-555-1234*NTYPE*CELL*CTRY*US*LOCA*-*CARI*-*NAME2*x*",
       true, "2015551234", "WIRELESS"},
      {"NcidWordsPassOn", "CID: *NMBR*NO-NUMBER*NAME*NO NAME*", true, "NO-NUMBER", "NO NAME"},
      {"NoName", "CID: *DATE*07052026*NMBR*123*", true, "123", ""},
      {"LastFieldWithoutStar", "CID: *NMBR*123*NAME*Joe", true, "123", "Joe"},
      {"BlanksTrimmed", "CID: *NMBR* 123 *NAME*  Joe  *", true, "123", "Joe"},
      {"ControlBytesCleaned",
       "CID: *NMBR*1\x01\x02"
       "2*NAME*a\rb\x7f"
       "c\x1b*",
       true, "1  2", "a b c"},
      {"EightBitKept", "CID: *NMBR*1*NAME*M\xfcller*", true, "1", "M\xfcller"},
      {"LongNameCut", "CID: *NMBR*1*NAME*" + std::string(500, 'n') + "*", true, "1",
       std::string(ncid::kMaxField, 'n')},
      {"KeyAsValueDoesNotCount", "CID: *NAME*NMBR*X*Y*", false, "", ""},
      {"NoNumberField", "CID: *DATE*07052026*NAME*Joe*", false, "", ""},
      {"CallLog", "CIDLOG: *DATE*07052026*TIME*0030*NMBR*1*NAME*A*", false, "", ""},
      {"RingInfo", "CIDINFO: *LINE*-*RING*1*TIME*0030*", false, "", ""},
      {"Message", "MSG: *NMBR*1*NAME*A*", false, "", ""},
      {"Replies", "300 End of connection startup", false, "", ""},
      {"LowerCase", "cid: *NMBR*1*NAME*A*", false, "", ""},
      {"NoFields", "CID: hello", false, "", ""},
      {"Empty", "", false, "", ""},
      {"JustCid", "CID:", false, "", ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.label);
    const auto got = ncid::ParseCidLine(row.line);
    ASSERT_EQ(got.has_value(), row.call);
    if (!got) continue;
    EXPECT_EQ(got->number, row.number);
    EXPECT_EQ(got->name, row.name);
  }
}

TEST(NcidParseCidLine, ReadsWhatTheServerWrites) {
  CentralEuropeanTime tz;
  const CompletedCall calls[] = {Call("5551234567", "Joe Smith"), Call("", ""),
                                 Call("O", "x", NamedBy::Withheld),
                                 Call("1*2", "Bob*\r\nCID: *NMBR*666*x")};
  for (const CompletedCall& call : calls) {
    SCOPED_TRACE(call.name);
    const ncid::CallFields f = ncid::NcidFieldsOf(call, "-");
    std::string line = ncid::FormatCallLine("CID", f);
    line.resize(line.size() - 2);  // CR LF
    const auto got = ncid::ParseCidLine(line);
    ASSERT_TRUE(got.has_value());
    EXPECT_EQ(got->number, f.number);
    EXPECT_EQ(got->name, f.name);
  }
}

}  // namespace
