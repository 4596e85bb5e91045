#include "core/header_text.h"

#include <gtest/gtest.h>

#include <string>

TEST(ResumeRequestHeaders, ValidatorThatWouldBreakTheHeaderIsNotUsed) {
  const std::string plain = "Accept: */*\r\n";
  struct Case {
    int local, total;
    std::string etag, date, headers;
  } cases[] = {
      {5, 10, "abc", "", plain + "Range:bytes=5-\r\nIf-Range:\"abc\"\r\n"},
      {10, 10, "W/abc", "Mon", plain + "Range:bytes=9-\r\nIf-Range:Mon\r\n"},
      {5, 10, "a\r\nX-Evil: 1", "Mon", plain + "Range:bytes=5-\r\nIf-Range:Mon\r\n"},
      {5, 10, "", "Mon\nX: 1", plain},
      {5, 10, std::string("a\0b", 3), "", plain},
      {0, 10, "abc", "", plain},
      {11, 10, "abc", "", plain},
  };
  for (const Case& c : cases)
    EXPECT_EQ(ResumeRequestHeaders(c.local, c.total, c.etag, c.date), c.headers) << c.etag;
}
