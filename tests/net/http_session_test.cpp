#include "net/http_session.h"

#include <gtest/gtest.h>

#include <string>

#include "scripted_server.h"

namespace {

std::string Body(size_t n) {
  std::string s;
  for (size_t i = 0; i < n; ++i) s += static_cast<char>('a' + i % 26);
  return s;
}

}  // namespace

TEST(HttpSession, FetchesWholeTextsAndReplacesThePreviousOne) {
  ScriptedServer server;
  server.ServeResource("/empty", "");
  server.ServeResource("/big", Body(8191 * 3 + 17));  // several read chunks and a tail
  server.ServeResource("/small", "ok");
  HttpSession s;
  OpenHttpSession(&s);
  ASSERT_TRUE(s.session);

  const char* text = FetchUrlText(&s, (server.BaseUrl() + "/empty").c_str());
  ASSERT_NE(text, nullptr);
  EXPECT_STREQ(text, "");

  text = FetchUrlText(&s, (server.BaseUrl() + "/big").c_str());
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(std::string(text), Body(8191 * 3 + 17));

  text = FetchUrlText(&s, (server.BaseUrl() + "/small").c_str());
  ASSERT_NE(text, nullptr);
  EXPECT_STREQ(text, "ok");

  // No URL: null, and the previous text and request stay.
  HINTERNET before = s.request.get();
  EXPECT_EQ(FetchUrlText(&s, nullptr), nullptr);
  EXPECT_EQ(s.lastError, -1);
  EXPECT_EQ(s.request.get(), before);
  EXPECT_STREQ(s.text.data(), "ok");

  // The session's own user agent goes with every request.
  auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 3u);
  EXPECT_EQ(requests[0].userAgent, "Marlowen HTTP Retriever 1.0");
  EXPECT_EQ(requests[0].Header("Pragma"), "");  // no cache-bypass flags here
  EXPECT_EQ(requests[2].target, "/small");
  CloseHttpSession(&s);
  EXPECT_FALSE(s.session);
  EXPECT_FALSE(s.request);
}

TEST(HttpSession, ErrorPagesAreTextAndRefusedConnectionsFail) {
  ScriptedServer server;  // nothing served: 404 with a small page
  HttpSession s;
  OpenHttpSession(&s);
  const char* text = FetchUrlText(&s, (server.BaseUrl() + "/Members/UserAPI.aspx?type=installs").c_str());
  ASSERT_NE(text, nullptr);
  EXPECT_NE(std::string(text).find("404"), std::string::npos);
  EXPECT_EQ(server.Requests().at(0).target, "/Members/UserAPI.aspx?type=installs");

  // A port nobody listens on: the request cannot be opened.
  std::string dead;
  {
    ScriptedServer gone;
    dead = gone.BaseUrl() + "/x";
  }
  EXPECT_EQ(FetchUrlText(&s, dead.c_str()), nullptr);
  EXPECT_NE(s.lastError, 0);
  EXPECT_NE(s.lastError, -1);
  // The text of the last successful fetch is still there.
  EXPECT_NE(std::string(s.text.data()).find("404"), std::string::npos);

  // A session that never opened fails every fetch.
  HttpSession closed;
  EXPECT_EQ(FetchUrlText(&closed, (server.BaseUrl() + "/x").c_str()), nullptr);
  EXPECT_NE(closed.lastError, 0);
  EXPECT_NE(closed.lastError, -1);
}

TEST(HttpSession, StalledOrHugeAnswersNeverHoldTheCaller) {
  ScriptedServer server;
  Fault silent;
  silent.stallBeforeHead = true;  // accepts, then never answers
  silent.stallMs = 60000;
  server.QueueFault("/stall", silent);
  Fault slow_body;
  slow_body.stallAfterBodyBytes = 10;
  slow_body.stallMs = 60000;
  server.ServeResource("/trickle", Body(100));
  server.QueueFault("/trickle", slow_body);
  server.ServeResource("/huge", Body(3 << 20));
  SetFetchWaitForTesting(700);
  HttpSession s;
  OpenHttpSession(&s);
  for (const char* path : {"/stall", "/trickle"}) {
    DWORD start = GetTickCount();
    EXPECT_EQ(FetchUrlText(&s, (server.BaseUrl() + path).c_str()), nullptr) << path;
    EXPECT_LT(GetTickCount() - start, 3000u) << path;
    EXPECT_EQ(s.lastError, ERROR_INTERNET_TIMEOUT) << path;
  }
  // Only the first 64 KiB of an answer are read.
  SetFetchWaitForTesting(0);
  const char* text = FetchUrlText(&s, (server.BaseUrl() + "/huge").c_str());
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(std::string(text), Body(64 * 1024));
  // Closing while the abandoned helpers still wait is safe; they end with the server.
  CloseHttpSession(&s);
  EXPECT_FALSE(s.session);
}
