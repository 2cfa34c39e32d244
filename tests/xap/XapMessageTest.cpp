#include <gtest/gtest.h>

#include <random>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "xap/XapMessage.h"

namespace {

using namespace std::string_literals;
using Entries = std::vector<std::pair<std::string, std::string>>;

// A reader whose file-log entries are collected.
struct Reader {
  Entries log;
  XapMessage msg{[this](const std::string& source, const std::string& text) {
    log.emplace_back(source, text);
  }};
  explicit Reader(const std::string& text) { EXPECT_EQ(msg.FromXap(text), 0); }
};

const Entries kFromXapLogged = {{"From XAP", ""}};

std::string CidMessage() {
  return "xap-header\n{\nv=12\nhop=1\nuid=FF008000\nclass=CID.Incoming\n"
         "source=vyn.CID.DESK1\ntarget=vyn.Display.Hall\n}\n"
         "CID.Incoming\n{\nType=Voice\nPhone=2015551234\nName=John Smith\n}\n";
}

// ---- Builder ----

TEST(XapMessageBuild, ThirteenLineExampleExactBytes) {
  XapMessage m;
  m.msgClass("CID.Incoming");
  m.msgSource("vyn.CID.DESK1");
  m.msgTarget("");
  m.msgUID("FF008000");
  EXPECT_EQ(m.AddHeader(), 0);
  EXPECT_EQ(m.AddSection("CID.Incoming"), 0);
  EXPECT_EQ(m.AddItem("CID.Incoming", "Type", "Voice"), 0);
  EXPECT_EQ(m.AddItem("CID.Incoming", "Phone", "555"), 0);
  EXPECT_EQ(m.ToXap(),
            "xap-header\n{\nv=12\nhop=1\nuid=FF008000\nclass=CID.Incoming\n"
            "source=vyn.CID.DESK1\n}\nCID.Incoming\n{\nType=Voice\nPhone=555\n}\n");
}

TEST(XapMessageBuild, TargetLineFollowsSourceWhenSet) {
  XapMessage m;
  m.msgClass("WDT.Echo");
  m.msgSource("vyn.CID.DESK1");
  m.msgTarget("other.dev.x");
  m.msgUID("FF008000");
  m.AddHeader();
  m.AddSection("Echo.Response");
  m.AddItem("", "Response", "hi");
  EXPECT_EQ(m.ToXap(),
            "xap-header\n{\nv=12\nhop=1\nuid=FF008000\nclass=WDT.Echo\n"
            "source=vyn.CID.DESK1\ntarget=other.dev.x\n}\nEcho.Response\n{\nResponse=hi\n}\n");
}

TEST(XapMessageBuild, NewInstanceWritesUnknownHeaderValues) {
  XapMessage m;
  m.AddHeader();
  EXPECT_EQ(m.ToXap(),
            "xap-header\n{\nv=12\nhop=1\nuid=Unknown\nclass=Unknown\nsource=Unknown\n"
            "target=Unknown\n}\n}\n");
}

TEST(XapMessageBuild, SectionsCloseEachOtherAndItemsGoToLastOpened) {
  XapMessage m;
  m.msgTarget("");
  m.AddHeader();
  m.AddSection("One");
  m.AddItem("Two", "a", "1");
  m.AddSection("Two");
  m.AddItem("One", "b", "2");
  EXPECT_EQ(m.ToXap(),
            "xap-header\n{\nv=12\nhop=1\nuid=Unknown\nclass=Unknown\nsource=Unknown\n}\n"
            "One\n{\na=1\n}\nTwo\n{\nb=2\n}\n");
}

TEST(XapMessageBuild, NamesAndValuesWrittenVerbatim) {
  XapMessage m;
  m.msgTarget("");
  m.AddHeader();
  m.AddSection(" Sec ");
  m.AddItem("", " name ", " a=b ");
  const std::string text = m.ToXap();
  EXPECT_NE(text.find("\n Sec \n{\n name = a=b \n}\n"), std::string::npos) << text;
}

TEST(XapMessageBuild, ItemBeforeSectionGoesIntoHeaderAndToXapStillClosesOnce) {
  XapMessage m;
  m.msgClass("c");
  m.msgSource("s");
  m.msgTarget("");
  m.msgUID("u");
  m.AddItem("x", "Extra", "1");
  m.AddHeader();
  EXPECT_EQ(m.ToXap(), "Extra=1\nxap-header\n{\nv=12\nhop=1\nuid=u\nclass=c\nsource=s\n}\n}\n");

  XapMessage h;
  h.msgClass("c");
  h.msgSource("s");
  h.msgTarget("");
  h.msgUID("u");
  h.AddHeader();
  h.AddItem("x", "Extra", "1");
  EXPECT_EQ(h.ToXap(), "xap-header\n{\nv=12\nhop=1\nuid=u\nclass=c\nsource=s\n}\nExtra=1\n}\n");
}

TEST(XapMessageBuild, ToXapLeavesBufferAndInitEmptiesIt) {
  XapMessage m;
  m.msgTarget("");
  m.AddHeader();
  m.AddSection("S");
  const std::string first = m.ToXap();
  EXPECT_EQ(m.ToXap(), first);
  m.Reset();
  EXPECT_EQ(m.ToXap(), first);
  EXPECT_EQ(m.Init("ignored"), 0);
  EXPECT_EQ(m.ToXap(), "}\n");
}

TEST(XapMessageBuild, BuiltMessageReadsBack) {
  XapMessage b;
  b.msgClass("CID.Incoming");
  b.msgSource("vyn.CID.DESK1");
  b.msgTarget("");
  b.msgUID("FF008000");
  b.AddHeader();
  b.AddSection("CID.Incoming");
  b.AddItem("", "Name", "John Smith");
  b.AddItem("", "Phone", "(201) 555-1234");

  Reader r(b.ToXap());
  EXPECT_EQ(r.msg.msgClass(), "CID.Incoming");
  EXPECT_EQ(r.msg.msgSource(), "vyn.CID.DESK1");
  EXPECT_EQ(r.msg.msgUID(), "FF008000");
  EXPECT_EQ(r.msg.msgTarget(), "Unknown");
  EXPECT_EQ(r.msg.GetItem("CID.Incoming", "Phone"), "(201) 555-1234");
  EXPECT_EQ(r.msg.GetItem("CID.Incoming", "Name"), "John Smith");
  EXPECT_TRUE(r.log.empty());
}

// ---- Reader ----

TEST(XapMessageRead, HeaderValuesAndSections) {
  Reader r(CidMessage());
  EXPECT_EQ(r.msg.msgClass(), "CID.Incoming");
  EXPECT_EQ(r.msg.msgSource(), "vyn.CID.DESK1");
  EXPECT_EQ(r.msg.msgTarget(), "vyn.Display.Hall");
  EXPECT_EQ(r.msg.msgUID(), "FF008000");
  // The text after the last line feed names one more, empty section.
  EXPECT_EQ(r.msg.msgSection(), (std::vector<std::string>{"cid.incoming", ""}));
  const auto items = r.msg.msgCollection(0);
  ASSERT_TRUE(items.has_value());
  EXPECT_EQ(*items, (XapMessage::ItemCollection{{"type", "Type=Voice"},
                                                {"phone", "Phone=2015551234"},
                                                {"name", "Name=John Smith"}}));
  const auto trailing = r.msg.msgCollection(1);
  ASSERT_TRUE(trailing.has_value());
  EXPECT_TRUE(trailing->empty());
  EXPECT_FALSE(r.msg.msgCollection(2).has_value());
  EXPECT_FALSE(r.msg.msgCollection(-1).has_value());
  EXPECT_TRUE(r.log.empty());
}

struct GetItemCase {
  const char* name;
  const char* section;
  const char* item;
  const char* expected;
};

const GetItemCase kGetItemCases[] = {
    {"ExactCase", "CID.Incoming", "Phone", "2015551234"},
    {"LowerCase", "cid.incoming", "phone", "2015551234"},
    {"UpperCase", "CID.INCOMING", "NAME", "John Smith"},
    {"MixedCase", "cId.InCoMiNg", "tYpE", "Voice"},
    {"MissingSection", "CID.Outgoing", "Phone", "Unknown"},
    {"MissingItem", "CID.Incoming", "RNName", "Unknown"},
    {"HeaderIsNoSection", "xap-header", "class", "Unknown"},
    {"TrailingEmptySectionHasNoItems", "", "Phone", "Unknown"},
    {"NamesAreNotTrimmed", " CID.Incoming", "Phone", "Unknown"},
};

class XapGetItemTest : public testing::TestWithParam<GetItemCase> {};

TEST_P(XapGetItemTest, FindsWithoutRegardToCase) {
  Reader r(CidMessage());
  EXPECT_EQ(r.msg.GetItem(GetParam().section, GetParam().item), GetParam().expected);
  EXPECT_TRUE(r.log.empty());
}

INSTANTIATE_TEST_SUITE_P(Table, XapGetItemTest, testing::ValuesIn(kGetItemCases),
                         [](const testing::TestParamInfo<GetItemCase>& info) {
                           return std::string(info.param.name);
                         });

TEST(XapMessageRead, FreshReaderIsAllUnknown) {
  XapMessage m;
  EXPECT_EQ(m.msgClass(), "Unknown");
  EXPECT_EQ(m.msgSource(), "Unknown");
  EXPECT_EQ(m.msgTarget(), "Unknown");
  EXPECT_EQ(m.msgUID(), "Unknown");
  EXPECT_EQ(m.msgSection(), std::vector<std::string>{""});
  EXPECT_FALSE(m.msgCollection(0).has_value());
  EXPECT_EQ(m.GetItem("a", "b"), "Unknown");
}

TEST(XapMessageRead, MissingTargetStaysUnknown) {
  Reader r(
      "xap-header\n{\nv=12\nhop=1\nuid=FF00AA00\nclass=xAPBSC.Query\nsource=a.b.c\n}\n"
      "request\n{\n}\n");
  EXPECT_EQ(r.msg.msgTarget(), "Unknown");
  EXPECT_EQ(r.msg.msgClass(), "xAPBSC.Query");
  EXPECT_FALSE(r.msg.CompareTarget("vyn.CID.DESK1"));
}

TEST(XapMessageRead, EmptyTargetLineGivesEmptyTarget) {
  Reader r("xap-header\n{\nclass=a\ntarget=\n}\n");
  EXPECT_EQ(r.msg.msgTarget(), "");
  EXPECT_FALSE(r.msg.CompareTarget(">"));
}

TEST(XapMessageRead, HeartbeatIsIgnored) {
  Reader r(
      "xap-hbeat\n{\nv=12\nhop=1\nuid=FF123400\nclass=xap-hbeat.alive\n"
      "source=other.dev.x\ninterval=60\nport=3639\n}\n");
  EXPECT_EQ(r.msg.msgClass(), "Unknown");
  EXPECT_EQ(r.msg.msgSource(), "Unknown");
  EXPECT_EQ(r.msg.msgTarget(), "Unknown");
  EXPECT_EQ(r.msg.msgUID(), "Unknown");
  EXPECT_EQ(r.msg.msgSection(), std::vector<std::string>{""});
  EXPECT_TRUE(r.log.empty());
}

TEST(XapMessageRead, HeaderMarkerFoundAnywhereInFirstLineWithoutRegardToCase) {
  Reader upper("XAP-HEADER\n{\nclass=A\n}\n");
  EXPECT_EQ(upper.msg.msgClass(), "A");
  Reader inside("  my Xap-Header block\r\n{\nclass=B\n}\n");
  EXPECT_EQ(inside.msg.msgClass(), "B");
  Reader secondLine("hello\nxap-header\n{\nclass=C\n}\n");
  EXPECT_EQ(secondLine.msg.msgClass(), "Unknown");
}

TEST(XapMessageRead, SpacesAroundNamesAndValues) {
  Reader r(
      "xap-header\n{\n  Class = CID.Incoming  \nSOURCE=a.b.c\n}\nCID.Incoming\n{\n"
      " Phone = 555\n}\n");
  EXPECT_EQ(r.msg.msgClass(), "CID.Incoming");
  EXPECT_EQ(r.msg.msgSource(), "a.b.c");
  EXPECT_TRUE(r.msg.CompareClass("cid.incoming"));
  EXPECT_EQ(r.msg.GetItem("CID.Incoming", "phone"), " 555");
  EXPECT_EQ(r.msg.msgCollection(0)->at(0),
            (std::pair<std::string, std::string>{"phone", " Phone = 555"}));
}

TEST(XapMessageRead, ValueIsEverythingAfterFirstEquals) {
  Reader r("xap-header\n{\n}\nS\n{\nq=a=b= \n=empty name\nnoequals\n}\n");
  EXPECT_EQ(r.msg.GetItem("s", "Q"), "a=b= ");
  EXPECT_EQ(r.msg.GetItem("s", ""), "empty name");
  EXPECT_EQ(r.msg.msgCollection(0)->size(), 2u);
}

TEST(XapMessageRead, HeaderLinesWithoutKnownNamesAreIgnored) {
  Reader r("xap-header\n{\nv=13\nhop=9\ncolour=red\nuid = X1 \n}\n");
  EXPECT_EQ(r.msg.msgUID(), "X1");
  EXPECT_EQ(r.msg.msgClass(), "Unknown");
}

TEST(XapMessageRead, CrLfAndOneLeadingBlankLineReadLikeLf) {
  const std::string lf =
      "xap-header\n{\nv=12\nclass=CID.Incoming\nsource=a.b.c\n}\n"
      "CID.Incoming\n{\nPhone=555\nName=Smith\n}\n";
  std::string crlf;
  for (char c : lf) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  struct Row {
    const char* name;
    std::string text;
  };
  const Row rows[] = {{"lf", lf},
                      {"crlf", crlf},
                      {"blank line then lf", "\n" + lf},
                      {"blank line then crlf", "\r\n" + crlf}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Reader r(row.text);
    EXPECT_EQ(r.msg.msgClass(), "CID.Incoming");
    EXPECT_EQ(r.msg.msgSource(), "a.b.c");
    EXPECT_EQ(r.msg.GetItem("CID.Incoming", "Phone"), "555");
    EXPECT_EQ(r.msg.GetItem("CID.Incoming", "Name"), "Smith");
    EXPECT_TRUE(r.msg.SectionClosed("CID.Incoming"));
  }
  // Two blank lines are not a message.
  Reader two("\n\n" + lf);
  EXPECT_EQ(two.msg.msgClass(), "Unknown");
}

TEST(XapMessageRead, SectionClosedOnlyWithItsBrace) {
  Reader whole("xap-header\n{\nclass=a\n}\nS\n{\nPhone=555\n}\nT\n{\nx=1\n");
  EXPECT_TRUE(whole.msg.SectionClosed("s"));
  EXPECT_FALSE(whole.msg.SectionClosed("T"));  // cut short
  EXPECT_FALSE(whole.msg.SectionClosed("U"));  // not there
}

TEST(XapMessageRead, LoneCarriageReturnInBodyStaysInValue) {
  Reader r("xap-header\n{\nclass=a\n}\nS\n{\nPhone=55\r5\r\n}\n");
  EXPECT_EQ(r.msg.GetItem("S", "Phone"), "55\r5");
}

TEST(XapMessageRead, BlankLineBeforeSectionNameBecomesTheName) {
  Reader r("xap-header\n{\nclass=a\n}\n\nCID.Incoming\n{\nPhone=555\n}\n");
  EXPECT_EQ(r.msg.GetItem("CID.Incoming", "Phone"), "Unknown");
  EXPECT_EQ(r.msg.GetItem("", "Phone"), "555");
  EXPECT_EQ(r.msg.msgSection().front(), "");
  // The trailing empty name repeats the first one.
  EXPECT_EQ(r.log, kFromXapLogged);
}

TEST(XapMessageRead, RepeatedSectionNameStopsThere) {
  Reader r(
      "xap-header\n{\nclass=a\n}\nOne\n{\nx=1\n}\nTwo\n{\ny=2\n}\nONE\n{\nz=3\n}\n"
      "Three\n{\nw=4\n}\n");
  EXPECT_EQ(r.msg.msgClass(), "a");
  EXPECT_EQ(r.msg.msgSection(), (std::vector<std::string>{"one", "two"}));
  EXPECT_EQ(r.msg.GetItem("one", "x"), "1");
  EXPECT_EQ(r.msg.GetItem("two", "y"), "2");
  EXPECT_EQ(r.msg.GetItem("one", "z"), "Unknown");
  EXPECT_EQ(r.msg.GetItem("three", "w"), "Unknown");
  EXPECT_EQ(r.log, kFromXapLogged);
}

TEST(XapMessageRead, RepeatedItemNameStopsAtSecondLine) {
  Reader r(
      "xap-header\n{\nclass=a\n}\nOne\n{\nName=first\nPhone=1\n NAME =second\nAfter=x\n}\n"
      "Two\n{\ny=2\n}\n");
  EXPECT_EQ(r.msg.GetItem("One", "Name"), "first");
  EXPECT_EQ(r.msg.GetItem("One", "Phone"), "1");
  EXPECT_EQ(r.msg.GetItem("One", "After"), "Unknown");
  EXPECT_EQ(r.msg.msgSection(), std::vector<std::string>{"one"});
  EXPECT_EQ(r.log, kFromXapLogged);
}

TEST(XapMessageRead, SameItemNameInTwoSectionsIsFine) {
  Reader r("xap-header\n{\nclass=a\n}\nOne\n{\nx=1\n}\nTwo\n{\nx=2\n}\n");
  EXPECT_EQ(r.msg.GetItem("One", "x"), "1");
  EXPECT_EQ(r.msg.GetItem("Two", "x"), "2");
  EXPECT_TRUE(r.log.empty());
}

TEST(XapMessageRead, FinalBraceWithoutLineFeedLosesNothing) {
  Reader r("xap-header\n{\nclass=a\n}\nS\n{\nx=1\n}");
  EXPECT_EQ(r.msg.GetItem("S", "x"), "1");
  EXPECT_EQ(r.msg.msgSection(), std::vector<std::string>{"s"});
  EXPECT_EQ(r.log, kFromXapLogged);
}

TEST(XapMessageRead, LargeSectionsStillStopAtRepeats) {
  std::string items;
  for (int i = 0; i < 40; ++i) items += "Item" + std::to_string(i) + "=" + std::to_string(i) + "\n";
  Reader r("xap-header\n{\nclass=a\n}\nS\n{\n" + items + "item7=again\nLate=1\n}\n");
  EXPECT_EQ(r.msg.msgCollection(0)->size(), 40u);
  EXPECT_EQ(r.msg.GetItem("s", "ITEM39"), "39");
  EXPECT_EQ(r.msg.GetItem("s", "item7"), "7");
  EXPECT_EQ(r.msg.GetItem("s", "Late"), "Unknown");
  EXPECT_EQ(r.log, kFromXapLogged);

  std::string sections;
  for (int i = 0; i < 40; ++i) {
    sections += "}\nSec" + std::to_string(i) + "\n{\nx=" + std::to_string(i) + "\n";
  }
  Reader s("xap-header\n{\nclass=a\n" + sections + "}\nSEC20\n{\nx=dup\n}\n");
  EXPECT_EQ(s.msg.msgSection().size(), 40u);
  EXPECT_EQ(s.msg.GetItem("sec39", "x"), "39");
  EXPECT_EQ(s.msg.GetItem("sec20", "x"), "20");
  EXPECT_EQ(s.log, kFromXapLogged);
}

TEST(XapMessageRead, NoSinkMeansNoLogButSameResult) {
  XapMessage m;
  EXPECT_EQ(m.FromXap("xap-header\n{\nclass=a\n}\nS\n{\nx=1\nx=2\n}\n"), 0);
  EXPECT_EQ(m.GetItem("S", "x"), "1");
}

TEST(XapMessageRead, ThrowingSinkDoesNotEscape) {
  XapMessage m([](const std::string&, const std::string&) { throw std::runtime_error("disk"); });
  EXPECT_NO_THROW(m.FromXap("xap-header\n{\n}\nS\n{\n}\nS\n"));
  EXPECT_EQ(m.msgSection(), std::vector<std::string>{"s"});
}

TEST(XapMessageRead, ReaderSurvivesCopyAndMove) {
  XapMessage original;
  original.FromXap("xap-header\n{\nclass=a\n}\nS\n{\nx=1\n}\n");
  XapMessage copy = original;
  XapMessage moved = std::move(original);
  EXPECT_EQ(copy.GetItem("s", "x"), "1");
  EXPECT_EQ(moved.GetItem("s", "x"), "1");
}

struct MalformedCase {
  const char* name;
  std::string text;
};

const MalformedCase kMalformedCases[] = {
    {"Empty", ""},
    {"OnlyLineFeed", "\n"},
    {"MarkerOnly", "xap-header"},
    {"MarkerAndLineFeed", "xap-header\n"},
    {"TwoLines", "xap-header\n{"},
    {"BraceAsThirdAndLastLine", "xap-header\n{\n}"},
    {"BraceThenEmptyName", "xap-header\n{\n}\n"},
    {"BracesOnly", "xap-header\n}\n}\n}\n}\n}\n}"},
    {"NulBytes", "xap-header\n{\nclass=a\0b\n}\n\0\n{\n\0=\0\n}\n"s},
    {"HighBytes", "xap-header\n{\n\xFF=\xFE\n}\n\xC9\n{\n\xE9=\x80\n}\n"},
    {"EqualsEverywhere", "xap-header\n=\n=\n=\n}\n=\n=\n=\n"},
    {"SpacesOnlyNames", "xap-header\n{\n   =   \n}\n \n{\n   =  \n  =\n}\n"},
};

class XapMalformedTest : public testing::TestWithParam<MalformedCase> {};

TEST_P(XapMalformedTest, ParsesWithoutThrowing) {
  XapMessage m([](const std::string&, const std::string&) {});
  EXPECT_NO_THROW(EXPECT_EQ(m.FromXap(GetParam().text), 0));
  EXPECT_NO_THROW(m.msgSection());
  EXPECT_NO_THROW(m.GetItem("", ""));
}

INSTANTIATE_TEST_SUITE_P(Table, XapMalformedTest, testing::ValuesIn(kMalformedCases),
                         [](const testing::TestParamInfo<MalformedCase>& info) {
                           return std::string(info.param.name);
                         });

TEST(XapMessageRead, RandomTextsFromProtocolAlphabet) {
  const std::string alphabet = std::string("xXap-hedr{}=\n\r .", 16) + std::string(1, '\0');
  std::mt19937 rng(12345);
  for (int round = 0; round < 3000; ++round) {
    std::string text = "xap-header\n";
    const int len = static_cast<int>(rng() % 200);
    for (int i = 0; i < len; ++i) text += alphabet[rng() % alphabet.size()];
    XapMessage m;
    ASSERT_NO_THROW(m.FromXap(text)) << round;
    const auto names = m.msgSection();
    for (std::size_t i = 0; i < names.size(); ++i) {
      EXPECT_NO_THROW(m.GetItem(names[i], "x"));
      EXPECT_NO_THROW(m.msgCollection(static_cast<int>(i)));
    }
  }
}

// ---- Address and class comparison ----

struct AddressCase {
  const char* name;
  const char* a;
  const char* b;
  bool match;
};

const AddressCase kAddressCases[] = {
    {"Equal", "vyn.CID.DESK1", "vyn.CID.DESK1", true},
    {"EqualIgnoringCase", "VYN.cid.Desk1", "vyn.CID.DESK1", true},
    {"DifferentPart", "vyn.CID.DESK1", "vyn.CID.DESK2", false},
    {"StarMatchesOnePart", "vyn.CID.*", "vyn.CID.DESK1", true},
    {"StarInMiddle", "a.*.c", "a.b.c", true},
    {"StarIsOnlyOnePart", "vyn.*", "vyn.CID.DESK1", false},
    {"StarOnBothSides", "a.*.c", "a.*.c", true},
    {"GreaterMatchesRest", "vyn.>", "vyn.CID.DESK1", true},
    {"GreaterMatchesOneRemaining", "a.>", "a.b.c", true},
    {"GreaterAlone", ">", "anything.at.all", true},
    {"GreaterMidway", "a.>.zzz", "a.b", true},
    {"GreaterBeyondShorter", "vyn.CID.>", "vyn.CID", false},
    {"PartMismatchBeforeGreater", "x.>", "vyn.CID.DESK1", false},
    {"ShorterPrefix", "vyn.CID", "vyn.CID.DESK1", false},
    {"ShorterByOne", "a.b", "a.b.c", false},
    {"EmptyFirst", "", "a", false},
    {"EmptySecond", "a", "", false},
    {"BothEmpty", "", "", false},
    {"EmptyVersusGreater", "", ">", false},
    {"SubAddressExact", "vyn.CID.DESK1:CID.NetCallerIDLine1.Text",
     "vyn.cid.desk1:cid.netcalleridline1.text", true},
    {"SubAddressStaysInPart", "vyn.CID.DESK1:CID.NetCallerIDLine1.Text", "vyn.CID.DESK1", false},
    {"SubAddressStarPart", "vyn.CID.DESK1:CID.NetCallerIDLine1.Text", "vyn.CID.DESK1:CID.*.Text",
     true},
    {"SubAddressNotSplitAtColon", "vyn.CID.DESK1:CID.NetCallerIDLine1.Text", "vyn.CID.DESK1.*.Text",
     false},
    {"SubAddressStarAcrossColon", "vyn.CID.DESK1:CID.NetCallerIDLine1.Text", "vyn.CID.*.*.Text",
     true},
    {"SubAddressGreater", "vyn.CID.DESK1:CID.NetCallerIDLine1.Text", "vyn.CID.>", true},
    {"EmptyPartsCompare", "a..b", "a.*.b", true},
    {"TrailingDot", "a.", "a.b", false},
    {"StarAgainstTwoParts", "*", "a.b", false},
};

class XapAddressTest : public testing::TestWithParam<AddressCase> {};

TEST_P(XapAddressTest, MatchesBothWays) {
  const AddressCase& c = GetParam();
  XapMessage m;
  EXPECT_EQ(m.CompareAddress(c.a, c.b), c.match);
  EXPECT_EQ(m.CompareAddress(c.b, c.a), c.match);
}

INSTANTIATE_TEST_SUITE_P(Table, XapAddressTest, testing::ValuesIn(kAddressCases),
                         [](const testing::TestParamInfo<AddressCase>& info) {
                           return std::string(info.param.name);
                         });

TEST(XapMessageCompare, TargetAndSourceUseAddressMatch) {
  Reader r(CidMessage());
  EXPECT_TRUE(r.msg.CompareTarget("vyn.Display.*"));
  EXPECT_TRUE(r.msg.CompareTarget("VYN.>"));
  EXPECT_FALSE(r.msg.CompareTarget("vyn.CID.DESK1"));
  EXPECT_TRUE(r.msg.CompareSource("vyn.cid.desk1"));
  EXPECT_FALSE(r.msg.CompareSource("vyn.CID"));
  EXPECT_FALSE(r.msg.CompareSource(""));
}

TEST(XapMessageCompare, ClassIgnoresCaseWithoutWildcards) {
  Reader r(CidMessage());
  EXPECT_TRUE(r.msg.CompareClass("cid.incoming"));
  EXPECT_TRUE(r.msg.CompareClass("CID.INCOMING"));
  EXPECT_FALSE(r.msg.CompareClass("CID.*"));
  EXPECT_FALSE(r.msg.CompareClass("CID.Incoming "));
  EXPECT_FALSE(r.msg.CompareClass(""));
}

}  // namespace
