#include "core/download_math.h"

#include <gtest/gtest.h>

#include <vector>

TEST(DownloadPercent, CountsBytesUpToOneMebibyteOfAnswerAndKibibytesAbove) {
  struct Case {
    uint32_t length, offset, written;
    int percent;
  } cases[] = {
      {100, 0, 0, 0},
      {100, 0, 50, 50},
      {100, 0, 100, 100},
      {3, 0, 1, 33},                     // truncates
      {1048576, 0, 10485, 0},            // byte units: 0.99...
      {1048576, 0, 10486, 1},            // byte units: 1.00002 (KiB units would give 0)
      {1048576, 0, 1048576, 100},
      {1048577, 0, 1048576, 100},        // KiB units: 1024 of 1024
      {1048577, 0, 1048575, 99},
      {1048577, 0, 10486, 0},            // KiB units: 10 of 1024
      {1048577, 0, 1048577, 100},
      {50, 50, 0, 50},                   // resumed half way
      {50, 50, 25, 75},
      {1000, 104857600, 500, 99},        // large offset, short answer: no wrap-around
      {1000, 104857600, 1000, 100},
      {0, 0, 12345, -1},                 // no length, nothing resumed: no percentage
      {0, 100, 50, 100},                 // no length but resumed: never above 100
      {4294967295u, 0, 4294967295u, 100},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DownloadPercent(c.length, c.offset, c.written), c.percent)
        << c.length << " " << c.offset << " " << c.written;
  }
}

TEST(SpeedReport, FirstReportAndThenEveryHalfSecondAtMost) {
  struct Case {
    uint32_t received, at_report;
    uint32_t now, last;
    bool due;
    long speed;
  } cases[] = {
      {65536, 0, 1000, 500, true, 131072},      // first report of the attempt
      {65536, 0, 1000, 1000, false, 0},         // no time passed: no division by zero
      {131072, 65536, 1400, 1000, false, 0},    // 400 ms after the last report
      {131072, 65536, 1500, 1000, false, 0},    // exactly 500 ms: not yet
      {131072, 65536, 1501, 1000, true, 130810},
      {200000, 100000, 3000, 1000, true, 50000},
      {10, 0, 5, 0xFFFFFFFEu, true, 1428},      // tick counter wrapped (7 ms)
      {4000000000u, 0, 2, 1, true, 2147483647}, // clamps instead of overflowing
  };
  for (const Case& c : cases) {
    long speed = -1;
    EXPECT_EQ(SpeedReportDue(c.received, c.at_report, c.now, c.last, &speed), c.due)
        << c.received << " " << c.now;
    if (c.due) {
      EXPECT_EQ(speed, c.speed) << c.received << " " << c.now;
    }
  }
}

TEST(ReadSizer, TakesTheLowerOfTwoWindowsSoABurstDoesNotCount) {
  struct Read {
    uint32_t received, now;
  };
  const struct Case {
    const char* what;
    std::vector<Read> reads;
    uint32_t speed;
  } cases[] = {
      {"nothing known yet", {{8192, 0}, {65536, 1}}, 0},
      {"one window is not enough", {{8192, 0}, {65536, 85}}, 0},
      // 64 KiB at once, then 2 KiB every 100 ms.
      {"a burst then a slow line", {{8192, 0}, {65536, 1}, {67584, 85}, {69632, 185}}, 20480},
      {"a fast line", {{1 << 20, 0}, {11 << 20, 25}, {21 << 20, 50}}, 400u << 20},
      {"a fast line ends its windows by their bytes", {{0, 0}, {1 << 19, 2}, {1 << 20, 4}}, 262144000},
      {"bytes within one tick", {{0, 7}, {600000, 7}, {1200000, 7}}, 600000000},
      // 768 KiB at once ends one window early; the slow line fills the next.
      {"a burst of one and a half windows", {{0, 0}, {786432, 1}, {788480, 101}}, 20480},
      {"reads inside a window wait for its end", {{0, 0}, {1000, 25}, {2000, 49}, {3000, 50}}, 40000},
      {"a stall lowers it", {{0, 0}, {10000, 100}, {20000, 200}, {20001, 1200}}, 1},
      {"the tick count wraps", {{0, 0xFFFFFFF0u}, {1000, 0x0Cu}, {2000, 0x26u}}, 35714},
      {"more than 4 GiB a second is capped", {{0, 0}, {0xFFFFFFF0u, 25}, {0x0FFFFFFFu, 50}},
       UINT32_MAX},
  };
  for (const Case& c : cases) {
    ReadSizer sizer;
    for (const Read& r : c.reads) sizer.Add(r.received, r.now);
    EXPECT_EQ(sizer.bytes_per_second(), c.speed) << c.what;
  }
}

TEST(ReadSizer, AReadIsGivenUpOnlyWhenTheLineSlowedUnderIt) {
  const struct Case {
    uint32_t asked, speed, waited;
    bool stalled;
  } cases[] = {
      {1 << 20, 400u << 20, 1002, false},  // needs 2 ms: a second's grace beyond it
      {1 << 20, 400u << 20, 1003, true},
      {1 << 20, 1 << 20, 2000, false},     // a 1 MiB/s line needs its second
      {1 << 20, 1 << 20, 2001, true},
      {0, 400u << 20, 60000, false},       // still waiting for the first byte
      {4096, 0, 60000, false},             // no speed sized it: it asked what had come
      {UINT32_MAX, 1, UINT32_MAX, false},  // no wrap in what it needs
  };
  for (const Case& c : cases)
    EXPECT_EQ(ReadStalled(c.asked, c.speed, c.waited), c.stalled) << c.asked << " " << c.waited;
}

TEST(DownloadLimit, WhatTheResumeRecordCanHoldAndNoWrapAbove4GiB) {
  struct Case {
    uint64_t offset, length;
    bool fits;
  } cases[] = {
      {0, 0, true},
      {0, 0x7FFFFFFF, true},
      {0, 0x80000000, false},
      {0x7FFFFFFE, 1, true},
      {0x7FFFFFFF, 1, false},
      {0x40000000, 0x40000000, false},
      {0, 0x100000005ull, false},            // 4 GiB + 5: not taken for 5 bytes
      {0x100000000ull, 0, false},
      {UINT64_MAX, 2, false},                // no wrap of the sum
      {2, UINT64_MAX, false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(FitsDownloadLimit(c.offset, c.length), c.fits) << c.offset << "+" << c.length;

  struct Text {
    const char* text;
    bool ok;
    uint64_t length;
  } texts[] = {
      {"0", true, 0},
      {"1048576", true, 1048576},
      {" 4294967301 ", true, 4294967301ull},
      {"18446744073709551615", true, UINT64_MAX},
      {"18446744073709551616", false, 0},
      {"", false, 0},
      {"  ", false, 0},
      {"-1", false, 0},
      {"12a", false, 0},
      {"1 2", false, 0},
  };
  for (const Text& t : texts) {
    uint64_t length = 77;
    EXPECT_EQ(ParseContentLength(t.text, &length), t.ok) << t.text;
    if (t.ok) {
      EXPECT_EQ(length, t.length) << t.text;
    }
  }
}

TEST(RelativeTarget, OneLeadingBackslashIsDropped) {
  struct Case {
    const char* folder;
    const char* destination;
    const char* target;
  } cases[] = {
      {"C:\\Game\\", "pkg.zip", "C:\\Game\\\\pkg.zip"},
      {"C:\\Game\\", "\\pkg.zip", "C:\\Game\\\\pkg.zip"},
      {"C:\\Game", "sub\\pkg.zip", "C:\\Game\\sub\\pkg.zip"},
      {"C:\\Game", "\\\\pkg.zip", "C:\\Game\\\\pkg.zip"},  // only one is removed
      {"C:\\Game", "", "C:\\Game\\"},
  };
  for (const Case& c : cases) EXPECT_EQ(RelativeTarget(c.folder, c.destination), c.target);
}

TEST(ContentRange, ParsesWellFormedValuesAndRejectsTheRest) {
  struct Case {
    const char* text;
    bool ok;
    uint32_t first, last, total;
    bool total_known;
  } cases[] = {
      {"bytes 100-199/200", true, 100, 199, 200, true},
      {"bytes 0-0/1", true, 0, 0, 1, true},
      {"Bytes 5-9/*", true, 5, 9, 0, false},
      {"  bytes  7-9/10 ", true, 7, 9, 10, true},
      {"bytes 4294967294-4294967294/4294967295", true, 4294967294u, 4294967294u, 4294967295u, true},
      {"", false},
      {"bytes", false},
      {"bytes */200", false},
      {"bytes 100-/200", false},
      {"bytes -199/200", false},
      {"bytes 200-100/300", false},
      {"bytes 0-200/200", false},
      {"bytes 0-9/10x", false},
      {"bytes=0-9/10", false},
      {"items 0-9/10", false},
      {"bytes 99999999999-1/2", false},
      {"bytes 1-2", false},
  };
  for (const Case& c : cases) {
    ContentRange r;
    ASSERT_EQ(ParseContentRange(c.text, &r), c.ok) << c.text;
    if (!c.ok) continue;
    EXPECT_EQ(r.first, c.first) << c.text;
    EXPECT_EQ(r.last, c.last) << c.text;
    EXPECT_EQ(r.totalKnown, c.total_known) << c.text;
    if (c.total_known) {
      EXPECT_EQ(r.total, c.total) << c.text;
    }
  }
}

TEST(PlanBody, AppendsOnlyAPartialAnswerThatContinuesAtTheOffset) {
  struct Case {
    bool appending;
    uint32_t offset;
    uint32_t status;
    const char* range;
    BodyPlan plan;
  } cases[] = {
      {true, 100, 206, "bytes 100-199/200", BodyPlan::kAppend},
      {true, 100, 206, "bytes 100-199/*", BodyPlan::kAppend},
      {true, 100, 200, "", BodyPlan::kFromScratch},               // server ignored the range
      {true, 100, 200, "bytes 100-199/200", BodyPlan::kFromScratch},
      {true, 100, 206, "bytes 50-199/200", BodyPlan::kRestartWithoutRange},
      {true, 100, 206, "bytes 100-149/200", BodyPlan::kRestartWithoutRange},  // stops short
      {true, 100, 206, "", BodyPlan::kRestartWithoutRange},
      {true, 100, 206, "garbage", BodyPlan::kRestartWithoutRange},
      {true, 100, 206, "bytes 0-199/200", BodyPlan::kFromScratch},
      {false, 0, 200, "", BodyPlan::kFromScratch},
      {false, 0, 206, "bytes 0-199/200", BodyPlan::kFromScratch},
      {false, 0, 206, "bytes 100-199/200", BodyPlan::kRestartWithoutRange},
      {false, 0, 204, "", BodyPlan::kFromScratch},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(PlanBody(c.appending, c.offset, c.status, c.range), c.plan)
        << c.appending << " " << c.status << " " << c.range;
  }
}
