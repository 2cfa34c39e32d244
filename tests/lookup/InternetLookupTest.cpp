#include <gtest/gtest.h>

#include <string>

#include "lookup/InternetLookup.h"

namespace {

const std::string kHeading = "<B>Reverse Telephone Listings</B>";

std::string Page(const std::string& afterHeading) {
  return "<HTML><BODY><P>Results</P>" + kHeading + afterHeading + "</BODY></HTML>";
}

struct PageCase {
  const char* name;
  std::string page;
  const char* listed;
};

class InternetLookupTest : public testing::TestWithParam<PageCase> {};

TEST_P(InternetLookupTest, ReadsTheListedName) {
  EXPECT_EQ(InternetLookup(GetParam().page), GetParam().listed);
}

INSTANTIATE_TEST_SUITE_P(
    Pages, InternetLookupTest,
    testing::Values(
        PageCase{"LastCommaFirst", Page("<TR><TD><B>DOE, JANE</B><BR>Main St</TD>"), "JANE DOE"},
        PageCase{"NoCommaStaysAsIs", Page("<B>SMITH &amp; CO</B>"), "SMITH & CO"},
        PageCase{"CommaAndEntity", Page("<B>SMITH &amp; CO, JOHN</B>"), "JOHN SMITH & CO"},
        PageCase{"NoCommaKeepsSpaces", Page("<B> PRINCE </B>"), " PRINCE "},
        PageCase{"SwappedTextIsTrimmed", Page("<B>  DOE ,  JANE </B>"), "JANE    DOE"},
        PageCase{"OnlyTheFirstCommaSplits", Page("<B>DOE, JANE, JR</B>"), "JANE, JR DOE"},
        PageCase{"EntitiesInAnyCase", Page("<B>A &AMP; B &Lt;x&gT;</B>"), "A & B <x>"},
        PageCase{"EntitiesDecodedInOrder", Page("<B>&amp;lt;</B>"), "<"},
        PageCase{"OtherEntitiesStay", Page("<B>O&#39;NEIL</B>"), "O&#39;NEIL"},
        PageCase{"BoldBeforeHeadingIgnored", "<B>WRONG, NAME</B>" + kHeading + "<B>DOE, JANE</B>",
                 "JANE DOE"},
        PageCase{"EmptyListing", Page("<B></B>"), ""},
        PageCase{"NoHeading", "<HTML><B>DOE, JANE</B></HTML>", ""},
        PageCase{"HeadingIsCaseSensitive", "<b>Reverse Telephone Listings</b><B>DOE, JANE</B>", ""},
        PageCase{"HeadingWithoutBold", Page("no listing here"), ""},
        PageCase{"BoldNeverClosed", Page("<B>DOE, JANE"), ""}, PageCase{"EmptyPage", "", ""}),
    [](const testing::TestParamInfo<PageCase>& info) { return std::string(info.param.name); });

struct UrlCase {
  const char* name;
  const char* base;
  const char* key;
  const char* url;
};

class ReverseLookupUrlTest : public testing::TestWithParam<UrlCase> {};

TEST_P(ReverseLookupUrlTest, BuildsTheRequest) {
  EXPECT_EQ(ReverseLookupURL(GetParam().base, GetParam().key), GetParam().url);
}

INSTANTIATE_TEST_SUITE_P(
    Urls, ReverseLookupUrlTest,
    testing::Values(
        UrlCase{"Plain", "http://127.0.0.1:8080", "2015551234",
                "http://127.0.0.1:8080/qry/wp_rl?npa=201&telephone=5551234"
                "&btnsubmit.x=22&btnsubmit.y=16"},
        UrlCase{
            "TrailingSlashDropped", "http://127.0.0.1/", "2125550101",
            "http://127.0.0.1/qry/wp_rl?npa=212&telephone=5550101&btnsubmit.x=22&btnsubmit.y=16"},
        UrlCase{"KeyCannotAddParameters", "http://127.0.0.1", "2&1#55 +/4",
                "http://127.0.0.1/qry/wp_rl?npa=2%261&telephone=%2355%20%2B%2F4"
                "&btnsubmit.x=22&btnsubmit.y=16"},
        UrlCase{"NoBaseNoRequest", "", "2015551234", ""},
        UrlCase{"OnlyTenCharacterKeys", "http://127.0.0.1", "12015551234", ""}),
    [](const testing::TestParamInfo<UrlCase>& info) { return std::string(info.param.name); });

}  // namespace
