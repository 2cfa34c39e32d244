// The caller identifier against real files and a real HTTP server on 127.0.0.1.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "HttpStub.h"
#include "LookupTestUtil.h"
#include "Loopback.h"
#include "lookup/CallerIdentifier.h"
#include "lookup/PhonebookReaders.h"

namespace {

struct Announcement {
  std::string name;
  std::string callerName;
  std::string number;
  bool operator==(const Announcement&) const = default;
};

struct Sentry {
  std::string callerName;
  std::string displayNumber;
  bool operator==(const Sentry&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Announcement& a) {
  return os << "{" << a.name << "|" << a.callerName << "|" << a.number << "}";
}
std::ostream& operator<<(std::ostream& os, const Sentry& s) {
  return os << "{" << s.callerName << "|" << s.displayNumber << "}";
}

// Answers each request with the listing for its telephone part, after its delay.
struct Listing {
  std::string telephone;  // the last seven digits of the key
  std::string listing;
  int delayMs = 0;
};

class CallerIdentifierTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(stub.Listening());
    ASSERT_FALSE(dir.path().empty());
    settings.FormatSuffix = true;
    settings.Outlook = true;
    settings.FriendsLocation = dir.path() + "/";
    settings.ContactBookFolder = dir / "contacts";
    std::filesystem::create_directories(settings.ContactBookFolder);
    settings.ReverseLookupBaseURL = stub.BaseURL();
    Make();
  }

  void Make() {
    CallerIdentifier::Hooks hooks;
    hooks.LogEvent = [this](const std::string& type, const std::string& text) {
      logs.push_back(type + ": " + text + pendingError);
      pendingError.clear();
    };
    hooks.SetError = [this](int location, const std::string& d) {
      pendingError = " Line " + std::to_string(location) + " " + d;
    };
    // The program announces a renamed call as (name, name, number) and sends the
    // displays (name, number).
    hooks.Renamed = [this](const std::string& n, const std::string& num) {
      announced.push_back({n, n, num});
      sentries.push_back({n, num});
    };
    id = std::make_unique<CallerIdentifier>(settings, hooks);
    id->BuildPhonebook();
  }

  void Serve(std::vector<Listing> listings) {
    stub.handler = [listings](const std::string& path) {
      for (const Listing& l : listings) {
        if (path.find("&telephone=" + l.telephone + "&") != std::string::npos) {
          return HttpStub::Answer{true, l.delayMs, 200, ListingPage(l.listing)};
        }
      }
      return HttpStub::Answer{true, 0, 200, "<HTML>nothing listed</HTML>"};
    };
  }

  std::vector<std::string> Contacts() { return FileNames(settings.ContactBookFolder); }

  HttpStub stub;
  LookupTempDir dir;
  Settings settings;
  std::unique_ptr<CallerIdentifier> id;
  std::vector<std::string> logs;
  std::string pendingError;
  std::vector<Announcement> announced;
  std::vector<Sentry> sentries;
};

TEST_F(CallerIdentifierTest, FoundNameIsAnnouncedStoredAndKnownNextTime) {
  Serve({{"5551234", "DOE, JANE"}});
  EXPECT_EQ(id->HSPAddressBookLookup("(201) 555-1234", "Unknown"),
            "(201) 555-1234 : N New Jersey: Jersey City, Hackensack Bayone");
  EXPECT_EQ(id->LookupNumber(), "(201) 555-1234");
  ASSERT_TRUE(WaitFor([&] { return !announced.empty(); }));

  ASSERT_EQ(stub.paths.size(), 1u);
  EXPECT_EQ(stub.paths[0], "/qry/wp_rl?npa=201&telephone=5551234&btnsubmit.x=22&btnsubmit.y=16");
  EXPECT_EQ(announced, (std::vector<Announcement>{{"JANE DOE", "JANE DOE", "(201) 555-1234"}}));
  EXPECT_EQ(sentries, (std::vector<Sentry>{{"JANE DOE", "(201) 555-1234"}}));
  EXPECT_EQ(id->LastFoundName(), "JANE DOE");

  const std::vector<std::string> files = Contacts();
  ASSERT_EQ(files.size(), 1u);
  const VCardReadResult card =
      ReadVCards(ReadFileBytes(settings.ContactBookFolder + "/" + files[0]));
  ASSERT_EQ(card.contacts.size(), 1u);
  EXPECT_EQ(card.contacts[0].FirstName, "JANE");
  EXPECT_EQ(card.contacts[0].LastName, "DOE");
  EXPECT_EQ(card.contacts[0].HomeTelephoneNumber, "(201) 555-1234");

  EXPECT_EQ(id->HSPAddressBookLookup("(201) 555-1234", "Unknown"),
            "(201) 555-1234 : JANE DOE from home");
  EXPECT_FALSE(id->LookupBusy());
  EXPECT_EQ(stub.paths.size(), 1u);

  // The contact folder brings the name back after a rebuild.
  id->BuildPhonebook();
  EXPECT_EQ(id->HSPAddressBookLookup("2015551234", ""), "(201) 555-1234 : JANE DOE from home");
  EXPECT_TRUE(logs.empty());
}

TEST_F(CallerIdentifierTest, CallerIdNameBecomesAContactBeforeTheAreaCodeReplacesIt) {
  Serve({});
  EXPECT_EQ(id->HSPAddressBookLookup("(212) 555-0101", "DOE JOHN"),
            "(212) 555-0101 : New York: New York City");
  const std::vector<std::string> files = Contacts();
  ASSERT_EQ(files.size(), 1u);
  const VCardReadResult card =
      ReadVCards(ReadFileBytes(settings.ContactBookFolder + "/" + files[0]));
  ASSERT_EQ(card.contacts.size(), 1u);
  EXPECT_EQ(card.contacts[0].FirstName, "DOE");
  EXPECT_EQ(card.contacts[0].LastName, "JOHN");
  EXPECT_EQ(card.contacts[0].HomeTelephoneNumber, "(212) 555-0101");

  // A page without a listing: nothing announced, nothing logged, nothing learned.
  ASSERT_TRUE(WaitFor([&] { return stub.paths.size() == 1 && !id->LookupBusy(); }));
  EXPECT_TRUE(announced.empty());
  EXPECT_TRUE(logs.empty());
  EXPECT_EQ(id->Entries().count("2125550101"), 0u);
}

// Naming a call writes nothing and asks nobody: the contact and the reverse lookup wait
// for FinishCall, which the program runs once the call is announced.
TEST_F(CallerIdentifierTest, NamingLeavesContactAndReverseLookupToFinishCall) {
  Serve({});
  EXPECT_EQ(id->NameCall("(212) 555-0101", "DOE JOHN"), "(212) 555-0101 : New York: New York City");
  EXPECT_TRUE(Contacts().empty());
  EXPECT_FALSE(id->LookupBusy());
  id->FinishCall();
  EXPECT_EQ(Contacts().size(), 1u);
  ASSERT_TRUE(WaitFor([&] { return stub.paths.size() == 1; }));
  // What was finished is not done again.
  ASSERT_TRUE(WaitFor([&] { return !id->LookupBusy(); }));
  id->FinishCall();
  Spin(50);
  EXPECT_EQ(Contacts().size(), 1u);
  EXPECT_EQ(stub.paths.size(), 1u);
}

TEST_F(CallerIdentifierTest, ShortAndElevenDigitCallsMakeNoRequest) {
  Serve({});
  EXPECT_EQ(id->HSPAddressBookLookup("555-1234", "CHARLIE"), "555-1234 : CHARLIE");
  EXPECT_EQ(id->HSPAddressBookLookup("1201 555 1234", "JOHN DOE"), "1201 555 1234 : JOHN DOE");
  EXPECT_EQ(id->HSPAddressBookLookup("555-1234", "O"), "555-1234 : Unknown");
  EXPECT_FALSE(id->LookupBusy());
  EXPECT_EQ(Contacts().size(), 2u);  // CHARLIE and JOHN DOE; not "Unknown"
  Spin(50);
  EXPECT_TRUE(stub.paths.empty());
}

TEST_F(CallerIdentifierTest, WithoutBaseUrlNoRequestIsMade) {
  settings.ReverseLookupBaseURL.clear();
  EXPECT_EQ(id->HSPAddressBookLookup("(212) 555-0101", "Unknown"),
            "(212) 555-0101 : New York: New York City");
  EXPECT_FALSE(id->LookupBusy());
  Spin(50);
  EXPECT_TRUE(stub.paths.empty());
  EXPECT_TRUE(logs.empty());
}

TEST_F(CallerIdentifierTest, OutlookOffAnnouncesButRemembersNothing) {
  settings.Outlook = false;
  Serve({{"5551234", "DOE, JANE"}});
  id->HSPAddressBookLookup("(201) 555-1234", "JANE DOE");
  ASSERT_TRUE(WaitFor([&] { return !announced.empty(); }));
  EXPECT_EQ(sentries, (std::vector<Sentry>{{"JANE DOE", "(201) 555-1234"}}));
  EXPECT_TRUE(Contacts().empty());
  EXPECT_EQ(id->HSPAddressBookLookup("(201) 555-1234", "Unknown"),
            "(201) 555-1234 : N New Jersey: Jersey City, Hackensack Bayone");
}

TEST_F(CallerIdentifierTest, NameWithoutSpaceAddsNoBlank) {
  Serve({{"5551234", "PRINCE"}});
  id->HSPAddressBookLookup("(201) 555-1234", "Unknown");
  ASSERT_TRUE(WaitFor([&] { return !announced.empty(); }));
  EXPECT_EQ(announced[0], (Announcement{"PRINCE", "PRINCE", "(201) 555-1234"}));
  EXPECT_EQ(id->HSPAddressBookLookup("(201) 555-1234", ""), "(201) 555-1234 : PRINCE from home");
}

TEST_F(CallerIdentifierTest, NetworkCallsLearnNothingUnlessAllowed) {
  settings.ReverseLookupBaseURL.clear();
  id->HSPAddressBookLookup("(201) 555-1234", "BANK OF TRUST", true);
  EXPECT_TRUE(Contacts().empty());
  settings.LearnFromNetworkCalls = true;
  id->HSPAddressBookLookup("(201) 555-1234", "BANK OF TRUST", true);
  EXPECT_EQ(Contacts().size(), 1u);
}

TEST_F(CallerIdentifierTest, OneContactPerNumberAndTenAMinute) {
  settings.ReverseLookupBaseURL.clear();
  for (int i = 0; i < 3; ++i) id->HSPAddressBookLookup("(201) 555-1234", "JANE DOE");
  id->HSPAddressBookLookup("1-201-555-1234", "JANE DOE");
  EXPECT_EQ(Contacts().size(), 1u);
  for (int i = 0; i < 20; ++i) {
    id->HSPAddressBookLookup("(201) 555-10" + std::to_string(10 + i), "NAME " + std::to_string(i));
  }
  EXPECT_EQ(Contacts().size(), CallerIdentifier::kContactsPerMinute);
}

TEST_F(CallerIdentifierTest, LearnedNamesWithoutContactFolderLastUntilTheRebuild) {
  settings.ContactBookFolder = dir / "no-such-folder";
  Serve({{"5550101", "DOE, JANE"}});
  id->HSPAddressBookLookup("(212) 555-0101", "Unknown");
  ASSERT_TRUE(WaitFor([&] { return !announced.empty(); }));
  EXPECT_EQ(id->HSPAddressBookLookup("(212) 555-0101", ""), "(212) 555-0101 : JANE DOE from home");
  id->BuildPhonebook();
  EXPECT_EQ(id->HSPAddressBookLookup("(212) 555-0101", ""),
            "(212) 555-0101 : New York: New York City");
  EXPECT_TRUE(logs.empty());
}

TEST_F(CallerIdentifierTest, ServerThatNeverAnswersIsAbandonedSilently) {
  id->SetInetTimerInterval(100);
  stub.handler = [](const std::string&) { return HttpStub::Answer{false, 0, 200, ""}; };
  id->HSPAddressBookLookup("(201) 555-1234", "Unknown");
  ASSERT_TRUE(WaitFor([&] { return stub.paths.size() == 1; }));
  EXPECT_TRUE(id->LookupBusy());
  ASSERT_TRUE(WaitFor([&] { return !id->LookupBusy(); }));
  ASSERT_TRUE(WaitFor([&] { return stub.closedByClient == 1; }));
  EXPECT_TRUE(announced.empty());
  EXPECT_TRUE(sentries.empty());
  EXPECT_TRUE(logs.empty());
  EXPECT_TRUE(Contacts().empty());

  // The next call is handled as usual.
  Serve({{"5550101", "ROE, RICHARD"}});
  EXPECT_EQ(id->HSPAddressBookLookup("(212) 555-0101", "Unknown"),
            "(212) 555-0101 : New York: New York City");
  ASSERT_TRUE(WaitFor([&] { return !announced.empty(); }));
  EXPECT_EQ(announced,
            (std::vector<Announcement>{{"RICHARD ROE", "RICHARD ROE", "(212) 555-0101"}}));
}

TEST_F(CallerIdentifierTest, SlowAnswerIsAttributedToItsOwnNumber) {
  WriteFileBytes(dir / "Friends.txt", "(303) 555-0000\tMum\r\n");
  id->BuildPhonebook();
  Serve({{"5551234", "DOE, JANE", 300}});
  id->HSPAddressBookLookup("(201) 555-1234", "Unknown");
  ASSERT_TRUE(WaitFor([&] { return stub.paths.size() == 1; }));
  // A known caller rings while the answer is on its way.
  EXPECT_EQ(id->HSPAddressBookLookup("(303) 555-0000", ""), "(303) 555-0000 : Mum");
  EXPECT_EQ(id->LookupNumber(), "(303) 555-0000");

  ASSERT_TRUE(WaitFor([&] { return !announced.empty(); }));
  EXPECT_EQ(announced, (std::vector<Announcement>{{"JANE DOE", "JANE DOE", "(201) 555-1234"}}));
  EXPECT_EQ(sentries, (std::vector<Sentry>{{"JANE DOE", "(201) 555-1234"}}));
  EXPECT_EQ(id->HSPAddressBookLookup("(303) 555-0000", ""), "(303) 555-0000 : Mum");
  EXPECT_EQ(id->HSPAddressBookLookup("(201) 555-1234", ""), "(201) 555-1234 : JANE DOE from home");
  const VCardReadResult card =
      ReadVCards(ReadFileBytes(settings.ContactBookFolder + "/" + Contacts().at(0)));
  ASSERT_EQ(card.contacts.size(), 1u);
  EXPECT_EQ(card.contacts[0].HomeTelephoneNumber, "(201) 555-1234");
}

TEST_F(CallerIdentifierTest, LaterLookupCancelsTheEarlierAndEachAnswerKeepsItsNumber) {
  Serve({{"5551234", "DOE, JANE", 400}, {"5550101", "ROE, RICHARD", 50}, {"5550202", "POE, ED"}});
  id->HSPAddressBookLookup("(201) 555-1234", "Unknown");
  ASSERT_TRUE(WaitFor([&] { return stub.paths.size() == 1; }));
  id->HSPAddressBookLookup("(212) 555-0101", "Unknown");
  ASSERT_TRUE(WaitFor([&] { return !announced.empty(); }));
  Spin(500);  // past the time the first answer would have come
  EXPECT_EQ(stub.closedByClient, 1);
  EXPECT_EQ(announced,
            (std::vector<Announcement>{{"RICHARD ROE", "RICHARD ROE", "(212) 555-0101"}}));
  EXPECT_EQ(id->Entries().count("2015551234"), 0u);

  // One after the other, each answer names its own caller.
  id->HSPAddressBookLookup("(303) 555-0202", "Unknown");
  ASSERT_TRUE(WaitFor([&] { return announced.size() == 2; }));
  EXPECT_EQ(announced[1], (Announcement{"ED POE", "ED POE", "(303) 555-0202"}));
  EXPECT_EQ(id->HSPAddressBookLookup("2125550101", ""), "(212) 555-0101 : RICHARD ROE from home");
  EXPECT_EQ(id->HSPAddressBookLookup("3035550202", ""), "(303) 555-0202 : ED POE from home");
}

TEST_F(CallerIdentifierTest, ErrorStatusIsIgnored) {
  stub.handler = [](const std::string&) {
    return HttpStub::Answer{true, 0, 404, ListingPage("DOE, JANE")};
  };
  id->HSPAddressBookLookup("(201) 555-1234", "Unknown");
  ASSERT_TRUE(WaitFor([&] { return stub.paths.size() == 1 && !id->LookupBusy(); }));
  Spin(20);
  EXPECT_TRUE(announced.empty());
  EXPECT_TRUE(logs.empty());
}

TEST_F(CallerIdentifierTest, ContactThatCannotBeWrittenIsLoggedAndTheCallStillNamed) {
  settings.ContactBookFolder = "/proc";  // a folder nobody can create files in
  settings.ReverseLookupBaseURL.clear();
  EXPECT_EQ(id->HSPAddressBookLookup("(212) 555-0101", "DOE JOHN"),
            "(212) 555-0101 : New York: New York City");
  ASSERT_EQ(logs.size(), 1u);
  EXPECT_EQ(logs[0].rfind("xapvynCID: HSPAddressBookLookup  Line 2 ", 0), 0u) << logs[0];
}

TEST_F(CallerIdentifierTest, InvalidBaseUrlIsLogged) {
  settings.ReverseLookupBaseURL = "ftp://127.0.0.1";
  id->HSPAddressBookLookup("(212) 555-0101", "Unknown");
  EXPECT_FALSE(id->LookupBusy());
  ASSERT_EQ(logs.size(), 1u);
  EXPECT_EQ(logs[0],
            "xapvynCID: TCPClient GetURL ftp://127.0.0.1/qry/wp_rl?npa=212&telephone=5550101"
            "&btnsubmit.x=22&btnsubmit.y=16 Line 1 the URL is not a valid http address");
}

}  // namespace
