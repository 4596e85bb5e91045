#include "core/retry_policy.h"

#include <gtest/gtest.h>

#include <cstdint>

#include "core/download_math.h"

TEST(Backoff, DoublesFromOneSecondUpToThirtyWithBoundedJitter) {
  struct Case {
    int failures;
    double jitter;
    uint32_t ms;
  } cases[] = {
      {1, 0.0, 1000}, {2, 0.0, 2000}, {3, 0.0, 4000}, {4, 0.0, 8000},   {5, 0.0, 16000},
      {6, 0.0, 30000}, {7, 0.0, 30000}, {1000, 0.0, 30000}, {0, 0.0, 1000},
      {1, 0.5, 900}, {6, 0.5, 27000}, {1, 0.9999, 801}, {1, 5.0, 801}, {1, -1.0, 1000},
  };
  for (const Case& c : cases) EXPECT_EQ(BackoffDelayMs(c.failures, c.jitter), c.ms) << c.failures;
}

TEST(Backoff, RetryAfterLengthensThePauseUpToTheCap) {
  const char kDate[] = "Mon, 07 Dec 2026 04:00:00 GMT";
  struct Case {
    const char* value;
    const char* date;
    int64_t after_ms;
    int failures;
    uint32_t delay_ms;  // with jitter 0
  } cases[] = {
      {"", kDate, -1, 1, 1000},
      {"5", kDate, 5000, 1, 5000},
      {" 12 ", "", 12000, 3, 12000},
      {"0", kDate, 0, 2, 2000},                      // never sooner than the back-off
      {"2", kDate, 2000, 3, 4000},
      {"120", kDate, 120000, 1, 30000},              // within the cap
      {"99999999999999999999999", kDate, int64_t{INT32_MAX} * 1000, 1, 30000},
      {"-5", kDate, -1, 1, 1000},
      {"5s", kDate, -1, 1, 1000},
      {"1.5", kDate, -1, 1, 1000},
      {"Mon, 07 Dec 2026 04:00:20 GMT", kDate, 20000, 1, 20000},
      {"Tue, 08 Dec 2026 04:00:00 GMT", kDate, 86400000, 1, 30000},
      {"Thu, 01 Jan 2026 00:00:07 GMT", "Wed, 31 Dec 2025 23:59:59 GMT", 8000, 1, 8000},
      {"Sun, 01 Mar 2026 00:00:00 GMT", "Sat, 28 Feb 2026 23:59:50 GMT", 10000, 1, 10000},
      {"Sun, 06 Dec 2026 04:00:00 GMT", kDate, 0, 1, 1000},   // already past
      {"Mon, 07 Dec 2026 04:00:20 GMT", "", -1, 1, 1000},     // no server clock to measure by
      {"Mon, 07 Xyz 2026 04:00:20 GMT", kDate, -1, 1, 1000},
      {"Mon, 07 Dec 2026 04:00:20 UTC", kDate, -1, 1, 1000},
      {"Mon, 07 Dec 2026 24:00:20 GMT", kDate, -1, 1, 1000},
      {"Mon, 07 Dec 2026 04:00:20 GMT x", kDate, -1, 1, 1000},
  };
  for (const Case& c : cases) {
    const int64_t after = RetryAfterMs(c.value, c.date);
    EXPECT_EQ(after, c.after_ms) << c.value;
    EXPECT_EQ(RetryDelayMs(c.failures, 0.0, after), c.delay_ms) << c.value;
  }
  EXPECT_EQ(RetryDelayMs(1, 0.5, 700), 900u);  // the jittered back-off still holds
}

TEST(RetriableStatus, TryAgainLaterIsRetriedAndOtherClientErrorsAreFinal) {
  for (uint32_t s : {408u, 429u, 500u, 502u, 503u, 504u, 599u}) EXPECT_TRUE(IsRetriableStatus(s)) << s;
  for (uint32_t s : {400u, 401u, 403u, 404u, 407u, 409u, 410u, 416u, 428u, 431u, 451u, 499u})
    EXPECT_FALSE(IsRetriableStatus(s)) << s;
}

TEST(CertificateError, OnlyCertificateFailuresAreFinal) {
  for (uint32_t e : {12037u, 12038u, 12045u, 12057u, 12169u, 12175u}) EXPECT_TRUE(IsCertificateError(e)) << e;
  // Time-outs, refused or reset connections and unknown hosts may pass.
  for (uint32_t e : {0u, 12002u, 12007u, 12029u, 12030u, 12031u, 12152u}) EXPECT_FALSE(IsCertificateError(e)) << e;
}

// Every failure has one verdict and one text; the rows cover each step.
TEST(DownloadFailure, EachStepHasOneVerdictAndOneText) {
  const std::string u = "http://h/p";
  struct Case {
    DownloadStep step;
    uint32_t error, status;
    const char* detail;
    Verdict verdict;
    const char* text;
  } cases[] = {
      {DownloadStep::kStopped, 0, 0, "", Verdict::kFail, ""},
      {DownloadStep::kTempFile, 0, 0, "", Verdict::kFail, "获取临时文件路径出错"},
      {DownloadStep::kSession, 8, 0, "", Verdict::kRetry, "网络错误:8, 请检测网络是否正常！"},
      {DownloadStep::kConnect, 12029, 0, "", Verdict::kRetry,
       "网络连接错误:12029, 请检测网络是否正常！\n下载失败:http://h/p"},
      {DownloadStep::kConnect, 12029, 0, "refused", Verdict::kRetry,
       "网络连接错误:refused, 请检测网络是否正常！\n下载失败:http://h/p"},
      {DownloadStep::kConnect, 12045, 0, "", Verdict::kFail,
       "安全证书错误:12045, 服务器的证书不受信任或与网址不符！\n下载失败:http://h/p"},
      {DownloadStep::kStatus, 0, 503, "", Verdict::kRetry, "服务器错误:HTTP 503, 请稍后重试！\n下载失败:http://h/p"},
      {DownloadStep::kStatus, 0, 404, "", Verdict::kFail, "服务器错误:HTTP 404, 请稍后重试！\n下载失败:http://h/p"},
      {DownloadStep::kPartialAnswer, 0, 206, "", Verdict::kRetry, "服务器错误:HTTP 206, 请稍后重试！\n下载失败:http://h/p"},
      {DownloadStep::kStaleRange, 0, 416, "", Verdict::kRestart, "服务器错误:HTTP 416, 请稍后重试！\n下载失败:http://h/p"},
      {DownloadStep::kTooLarge, 0, 0, "4294967296", Verdict::kFail,
       "文件过大:4294967296 字节, 超出了可下载的上限 2147483647 字节！\n下载失败:http://h/p"},
      {DownloadStep::kOpenTarget, 5, 0, "C:\\a", Verdict::kFail, "无法写入文件:C:\\a"},
      {DownloadStep::kRead, 12030, 0, "", Verdict::kRetry, "网络错误:12030, 请检测网络是否正常！\n下载失败:http://h/p"},
      {DownloadStep::kLineSlowed, 12002, 0, "", Verdict::kRestart, "网络错误:12002, 请检测网络是否正常！\n下载失败:http://h/p"},
      {DownloadStep::kWrite, 112, 0, "C:\\a", Verdict::kFail, "写入文件失败:C:\\a, 请检查磁盘空间！"},
      {DownloadStep::kVerify, 0, 0, "", Verdict::kFail, "安装包校验失败:http://h/p"},
      {DownloadStep::kTimedOut, 0, 0, "", Verdict::kFail, "网络超时, 请检测网络是否正常！\n下载失败:http://h/p"},
  };
  for (const Case& c : cases) {
    const DownloadFailure f{c.step, c.error, c.status, c.detail};
    EXPECT_EQ(Classify(f), c.verdict) << static_cast<int>(c.step);
    EXPECT_EQ(DownloadFailureText(f, u), c.text) << static_cast<int>(c.step);
  }
  // A long URL is cut to the buffer on a whole character.
  EXPECT_EQ(DownloadFailureText({DownloadStep::kVerify}, std::string(400, 'x')).size(),
            kMessageTextMax);
}

TEST(RetryPolicy, PresetsGiveUpAsNamed) {
  struct Case {
    RetryPolicy policy;
    int attempts;
    uint32_t elapsed_ms;
    bool gives_up;
  } cases[] = {
      {kTryOnce, 1, 0, true},          {kUntilStopped, 1000, UINT32_MAX, false},
      {kOptionalFile, 3, 59999, false}, {kOptionalFile, 4, 0, true},
      {kOptionalFile, 1, 60000, true},
  };
  for (const Case& c : cases)
    EXPECT_EQ(GivesUp(c.policy, c.attempts, c.elapsed_ms), c.gives_up) << c.attempts;
}
