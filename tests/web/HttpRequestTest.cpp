// Request heads: good requests, near misses, hostile bytes, and basic authentication.
#include <gtest/gtest.h>

#include "web/HttpRequest.h"

namespace {

using web::HeadState;

TEST(HttpRequest, CutsAWholeHead) {
  const std::string text =
      "GET /api/calls?limit=5&search=J%C3%B6rg+M&x HTTP/1.1\r\nHost: a\r\n"
      "authorization:  Basic YTpi \r\n\r\nextra";
  const web::HeadResult r = web::ParseRequestHead(text, 8192);
  ASSERT_EQ(r.state, HeadState::Complete);
  EXPECT_EQ(r.headLength, text.size() - 5);
  EXPECT_EQ(r.request.method, "GET");
  EXPECT_EQ(r.request.path, "/api/calls");
  EXPECT_EQ(r.request.Query("limit"), "5");
  EXPECT_EQ(r.request.Query("search"), "J\xC3\xB6rg M");
  EXPECT_TRUE(r.request.HasQuery("x"));
  EXPECT_FALSE(r.request.HasQuery("before"));
  EXPECT_EQ(r.request.authorization, "Basic YTpi");
}

TEST(HttpRequest, WaitsForTheBlankLine) {
  EXPECT_EQ(web::ParseRequestHead("GET / HTTP/1.1\r\nHost: a\r\n", 8192).state,
            HeadState::Incomplete);
  EXPECT_EQ(web::ParseRequestHead("", 8192).state, HeadState::Incomplete);
  EXPECT_EQ(web::ParseRequestHead("GET / HTTP/1.0\n\n", 8192).state, HeadState::Complete);
}

TEST(HttpRequest, RefusesNearMissesTable) {
  struct Case {
    const char* name;
    std::string text;
    int status;
  };
  const Case cases[] = {
      {"too_long_unfinished", "GET /" + std::string(9000, 'a'), 431},
      {"too_long_finished", "GET / HTTP/1.1\r\nX: " + std::string(9000, 'a') + "\r\n\r\n", 431},
      {"no_version", "GET /\r\n\r\n", 400},
      {"http2", "GET / HTTP/2.0\r\n\r\n", 505},
      {"not_http", "GET / FTP/1.0\r\n\r\n", 400},
      {"absolute_form", "GET http://x/ HTTP/1.1\r\n\r\n", 400},
      {"double_space", "GET  / HTTP/1.1\r\n\r\n", 400},
      {"control_in_target", "GET /\x01 HTTP/1.1\r\n\r\n", 400},
      {"encoded_nul", "GET /a%00b HTTP/1.1\r\n\r\n", 400},
      {"dot_dot", "GET /%2e%2e/etc/passwd HTTP/1.1\r\n\r\n", 400},
      {"broken_escape", "GET /?a=%zz HTTP/1.1\r\n\r\n", 400},
      {"cut_escape", "GET /?a=%4 HTTP/1.1\r\n\r\n", 400},
      {"header_without_colon", "GET / HTTP/1.1\r\nHost\r\n\r\n", 400},
      {"header_bad_name", "GET / HTTP/1.1\r\nHo st: a\r\n\r\n", 400},
      {"body", "POST / HTTP/1.1\r\nContent-Length: 5\r\n\r\nhello", 413},
      {"chunked", "POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n", 413},
      {"bad_method", "G<T / HTTP/1.1\r\n\r\n", 400},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const web::HeadResult r = web::ParseRequestHead(c.text, 8192);
    EXPECT_EQ(r.state, HeadState::Error);
    EXPECT_EQ(r.status, c.status);
  }
}

TEST(HttpRequest, BasicAuthTable) {
  struct Case {
    const char* name;
    const char* header;
    bool ok;
  };
  // "ann:s3cret" = YW5uOnMzY3JldA==
  const Case cases[] = {
      {"right", "Basic YW5uOnMzY3JldA==", true},
      {"scheme_any_case", "basic YW5uOnMzY3JldA==", true},
      {"no_padding", "Basic YW5uOnMzY3JldA", true},
      {"wrong_password", "Basic YW5uOnMzY3JldDE=", false},      // ann:s3cret1
      {"prefix_password", "Basic YW5uOnMzY3Jl", false},          // ann:s3cre
      {"wrong_user", "Basic Ym9iOnMzY3JldA==", false},           // bob:s3cret
      {"garbage", "Basic !!!!", false},
      {"bearer", "Bearer YW5uOnMzY3JldA==", false},
      {"empty", "", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(web::BasicAuthMatches(c.header, "ann", "s3cret"), c.ok);
  }
}

}  // namespace
