#include "net/download_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <numeric>
#include <string>
#include <thread>
#include <vector>

#include "core/gbk_text.h"
#include "net/download_hooks.h"
#include "core/md5.h"
#include "core/retry_policy.h"
#include "core/signed_manifest.h"
#include "net_test_support.h"
#include "scripted_server.h"
#include "system/seams.h"

namespace {

const char kLastModified[] = "Mon, 07 Dec 2026 04:00:00 GMT";

class DownloadFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    gbk::CopyToBuffer(c_.installFolder, sizeof c_.installFolder, install_.path() + "\\");
    c_.agencyIds.StandaloneAgencyID = "AG01";
  }

  std::string Url(const std::string& path) const { return server_.BaseUrl() + path; }

  DownloadRun Run(const std::string& path, DownloadArgs args) {
    rec_.Clear();
    return RunDownload(&rec_, &c_, Url(path), args);
  }
  DownloadRun RunUrl(const std::string& url, DownloadArgs args) {
    rec_.Clear();
    return RunDownload(&rec_, &c_, url, args);
  }

  static DownloadArgs Relative(const char* name, bool retry = true) {
    DownloadArgs a;
    a.destination = name;
    a.retry = retry;
    a.agency = true;
    return a;
  }

  // An answer that announces the whole body but ends (cleanly) after `after` bytes.
  static ScriptedAnswer Truncated(const std::string& body, size_t after,
                                  const std::string& etag = "\"v1\"") {
    ScriptedAnswer a;
    a.contentLength = false;
    a.headers = {{"Content-Length", std::to_string(body.size())}, {"Last-Modified", kLastModified}};
    if (!etag.empty()) a.headers.push_back({"ETag", etag});
    a.body = body.substr(0, after);
    return a;
  }

  // An interrupted first download of `path` (serving `body`) into `name`:
  // leaves a partial file of `after` bytes and its record.
  void Interrupt(const std::string& path, const std::string& body, const char* name, size_t after,
                 const std::string& etag = "\"v1\"") {
    server_.ServeResource(path, body, etag, kLastModified);
    server_.QueueAnswer(path, Truncated(body, after, etag));
    DownloadArgs a = Relative(name, false);
    a.report = false;
    DownloadRun r = Run(path, a);
    EXPECT_EQ(r.result, -1);
    EXPECT_EQ(ReadFileBytes(r.path), body.substr(0, after));
  }

  std::string Target(const char* name) const { return install_.path() + "\\\\" + name; }

  // The text of the cache file that holds this server's records.
  std::string CacheFileText() const {
    std::string key = server_.BaseUrl().substr(7);
    std::replace(key.begin(), key.end(), '.', '_');
    std::replace(key.begin(), key.end(), ':', '_');
    return ReadFileBytes(temp_.path() + key + "\\cachefile_AG01.cfg");
  }

  ScopedTempRedirect temp_;
  TempFolder install_;
  ScopedNoSleep noSleep_;
  ScopedMessageBoxRecorder boxes_;
  ScriptedServer server_;
  MessageRecorder rec_;
  XGameSetup c_;
};

bool EndsWith(const std::string& s, const std::string& tail) {
  return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}
bool StartsWith(const std::string& s, const std::string& head) { return s.rfind(head, 0) == 0; }

}  // namespace

TEST_F(DownloadFileTest, CompleteCurrentCopyIsNotTransferredAgain) {
  const std::string body = PatternBody(5000);
  server_.ServeResource("/pkg.bin", body);
  DownloadRun first = Run("/pkg.bin", Relative("pkg.bin"));
  ASSERT_EQ(first.result, 0);
  EXPECT_EQ(ReadFileBytes(first.path), body);
  EXPECT_EQ(rec_.Progress().back(), 100);
  EXPECT_EQ(rec_.Speeds().back(), 0);

  // The server holds the body back: the call must end without waiting for it.
  Fault hold;
  hold.stallAfterBodyBytes = 0;
  hold.stallMs = 20000;
  server_.QueueFault("/pkg.bin", hold);
  DWORD start = GetTickCount();
  DownloadRun second = Run("/pkg.bin", Relative("pkg.bin"));
  EXPECT_LT(GetTickCount() - start, 10000u);
  EXPECT_EQ(second.result, 0);
  EXPECT_EQ(second.path, first.path);
  EXPECT_LE(server_.BodyBytesSent("/pkg.bin"), body.size() + 1);
  EXPECT_EQ(rec_.Progress(), (std::vector<int>{0, 100}));
  EXPECT_EQ(rec_.Speeds(), (std::vector<int>{0}));
  EXPECT_TRUE(rec_.States().empty());
  auto requests = server_.RequestsFor("/pkg.bin");
  ASSERT_EQ(requests.size(), 2u);
  // Only the last byte is asked for, on condition the copy is current.
  EXPECT_EQ(requests[1].range, "bytes=4999-");
  EXPECT_EQ(requests[1].ifRange, "\"v1\"");
  EXPECT_EQ(requests[1].accept, "*/*");
  // Each attempt names itself "Agent<milliseconds>" and asks past any cache.
  for (const auto& q : requests) {
    EXPECT_TRUE(q.userAgent.size() > 5 && q.userAgent.compare(0, 5, "Agent") == 0 &&
                q.userAgent.find_first_not_of("0123456789-", 5) == std::string::npos)
        << q.userAgent;
    EXPECT_EQ(q.Header("Pragma"), "no-cache");
  }
  EXPECT_EQ(requests[0].ifRange, "");
}

TEST_F(DownloadFileTest, StoredRecordDescribesTheAnswerAndTheFileOnDisk) {
  // The cache file is read by later runs (and earlier installers' runs):
  // its text is checked to the byte.
  const std::string host = server_.BaseUrl().substr(7);  // "127.0.0.1:<port>"
  std::string key = host;
  std::replace(key.begin(), key.end(), '.', '_');
  std::replace(key.begin(), key.end(), ':', '_');
  const std::string cache_file = temp_.path() + key + "\\cachefile_AG01.cfg";
  const std::string url = Url("/Rec/Pkg.BIN");
  const std::string section = "[http://" + host + "/rec/pkg.bin]\r\n";
  auto record_text = [&](const char* etag, size_t total, const std::string& body) {
    return section + "resurl_lastmodified=" + kLastModified + "\r\nresurl_etag=" + etag +
           "\r\nresurl_bytetotalsize=" + std::to_string(total) + "\r\ndstfile_path=" +
           Target("rec.bin") + "\r\ndstfile_md5=" + Md5OfBytes(body.data(), body.size()) +
           "\r\ndstfile_size=" + std::to_string(body.size()) + "\r\n";
  };

  // A quoted ETag is stored without its quotes; the sizes are the answer's.
  const std::string first = PatternBody(300000, 30);
  server_.ServeResource("/Rec/Pkg.BIN", first, "\"Quoted-V1\"", kLastModified);
  ASSERT_EQ(Run("/Rec/Pkg.BIN", Relative("rec.bin", false)).result, 0);
  EXPECT_EQ(ReadFileBytes(cache_file), record_text("Quoted-V1", first.size(), first));

  // Another version, broken off: the file was rewritten from scratch, and the
  // total is the new answer's length.
  const std::string second = PatternBody(200000, 31);
  server_.ServeResource("/Rec/Pkg.BIN", second, "\"v2\"", kLastModified);
  server_.QueueAnswer("/Rec/Pkg.BIN", Truncated(second, 80000, "\"v2\""));
  DownloadArgs once = Relative("rec.bin", false);
  once.report = false;
  ASSERT_EQ(Run("/Rec/Pkg.BIN", once).result, -1);
  EXPECT_EQ(ReadFileBytes(cache_file), record_text("v2", second.size(), second.substr(0, 80000)));

  // Appended to: the record vouches for the whole file.
  ASSERT_EQ(Run("/Rec/Pkg.BIN", Relative("rec.bin", false)).result, 0);
  EXPECT_EQ(server_.RequestsFor("/Rec/Pkg.BIN").back().range, "bytes=80000-");
  EXPECT_EQ(ReadFileBytes(Target("rec.bin")), second);
  EXPECT_EQ(ReadFileBytes(cache_file), record_text("v2", second.size(), second));
}

TEST_F(DownloadFileTest, InterruptedTransferIsContinuedWithARangeAndItsValidator) {
  struct Case {
    const char* path;
    const char* etag;
    const char* if_range;
    const char* lm = kLastModified;
  } cases[] = {
      {"/etag.bin", "\"v1\"", "\"v1\""},
      {"/lm.bin", "", kLastModified},  // no ETag: the Last-Modified text, unquoted
      {"/weak.bin", "W/\"w1\"", kLastModified},  // a weak ETag: the date stands in
      {"/weakonly.bin", "W/\"w1\"", nullptr, ""},  // nothing usable: a plain request
  };
  for (const Case& c : cases) {
    const std::string body = PatternBody(200000, 7);
    server_.ServeResource(c.path, body, c.etag, c.lm);
    ScriptedAnswer cut = Truncated(body, 70000, c.etag);
    if (!*c.lm) cut.headers.erase(cut.headers.begin() + 1);
    server_.QueueAnswer(c.path, cut);
    DownloadRun r = Run(c.path, Relative(c.path + 1));
    ASSERT_EQ(r.result, 0) << c.path;
    EXPECT_EQ(ReadFileBytes(r.path), body) << c.path;
    auto requests = server_.RequestsFor(c.path);
    ASSERT_EQ(requests.size(), 2u) << c.path;
    EXPECT_EQ(requests[0].range, "");
    EXPECT_EQ(requests[1].range, c.if_range ? "bytes=70000-" : "") << c.path;
    EXPECT_EQ(requests[1].ifRange, c.if_range ? c.if_range : "") << c.path;
    EXPECT_EQ(server_.BodyBytesSent(c.path), body.size() + (c.if_range ? 0 : 70000)) << c.path;
    // Speed 0 before the retry and at the end; the pause went in slices.
    auto speeds = rec_.Speeds();
    EXPECT_GE(std::count(speeds.begin(), speeds.end(), 0), 2) << c.path;
    auto sleeps = ScopedNoSleep::Requested();
    ASSERT_FALSE(sleeps.empty());
    for (DWORD s : sleeps) EXPECT_LE(s, 100u);
    // The record stored after the appended part vouches for the whole file.
    DownloadRun again = Run(c.path, Relative(c.path + 1));
    EXPECT_EQ(again.result, 0);
    EXPECT_EQ(rec_.Progress(), (std::vector<int>{0, 100})) << c.path;
  }
}

TEST_F(DownloadFileTest, ResetConnectionIsRetriedUntilTheFileIsWhole) {
  const std::string body = PatternBody(300000, 6);
  server_.ServeResource("/rst.bin", body);
  Fault f;
  f.closeAfterBodyBytes = 150000;
  f.resetAfterMs = 300;  // the bytes arrive, and the read waiting for more fails
  server_.QueueFault("/rst.bin", f);
  DownloadRun r = Run("/rst.bin", Relative("rst.bin"));
  ASSERT_EQ(r.result, 0);
  EXPECT_EQ(ReadFileBytes(r.path), body);
  auto requests = server_.RequestsFor("/rst.bin");
  ASSERT_EQ(requests.size(), 2u);
  // Everything received before the reset is kept, also what the failed read
  // had: only the rest is sent again.
  EXPECT_EQ(requests[1].range, "bytes=150000-");
  EXPECT_EQ(server_.BodyBytesSent("/rst.bin"), body.size());
}

TEST_F(DownloadFileTest, WithoutAUsableRecordTheNextAttemptFetchesTheWholeBody) {
  // Each case leaves a first request behind whose record cannot be used; the
  // next call must fetch the whole body again.
  const std::string body = PatternBody(100000, 40);
  auto reset_at = [](long bytes) {
    Fault f;
    f.closeAfterBodyBytes = bytes;
    return f;
  };
  struct Case {
    const char* path;
    std::function<void(const char* path)> first;
  } cases[] = {
      {"/novalidator.bin",
       [&](const char* path) {
         server_.ServeResource(path, body, "", "");
         server_.QueueFault(path, reset_at(40000));
       }},
      {"/nolength.bin",  // complete, but its record has no total size
       [&](const char* path) {
         server_.ServeResource(path, body);
         ScriptedAnswer a;
         a.contentLength = false;
         a.headers = {{"ETag", "\"v1\""}, {"Last-Modified", kLastModified}};
         a.body = body;
         server_.QueueAnswer(path, a);
         ASSERT_EQ(Run(path, Relative(path + 1)).result, 0);
       }},
      {"/deleted.bin",
       [&](const char* path) {
         server_.ServeResource(path, body);
         DownloadRun r = Run(path, Relative(path + 1));
         ASSERT_EQ(r.result, 0);
         ASSERT_TRUE(::DeleteFileA(r.path.c_str()));
       }},
  };
  for (const Case& c : cases) {
    c.first(c.path);
    DownloadRun r = Run(c.path, Relative(c.path + 1, true));
    ASSERT_EQ(r.result, 0) << c.path;
    EXPECT_TRUE(ReadFileBytes(r.path) == body) << c.path;
    EXPECT_GT(rec_.Progress().size(), 2u) << c.path;  // a body was transferred
    auto requests = server_.RequestsFor(c.path);
    ASSERT_EQ(requests.size(), 2u) << c.path;
    EXPECT_EQ(requests[1].range, "") << c.path;
    EXPECT_EQ(requests[1].ifRange, "") << c.path;
  }
}

TEST_F(DownloadFileTest, ChangedValidatorsStartOverIntoTheSameFile) {
  // A partial file whose resource changed since.
  Interrupt("/p.bin", PatternBody(100000, 1), "p.bin", 40000);
  const std::string second_body = PatternBody(90000, 2);
  server_.ServeResource("/p.bin", second_body, "\"v2\"");
  DownloadRun r = Run("/p.bin", Relative("p.bin"));
  ASSERT_EQ(r.result, 0);
  EXPECT_EQ(r.path, Target("p.bin"));
  EXPECT_EQ(ReadFileBytes(r.path), second_body);
  EXPECT_EQ(server_.RequestsFor("/p.bin").back().ifRange, "\"v1\"");

  // A complete file whose resource changed since.
  server_.ServeResource("/c.bin", PatternBody(30000, 3), "\"v1\"");
  ASSERT_EQ(Run("/c.bin", Relative("c.bin")).result, 0);
  const std::string third_body = PatternBody(20000, 4);
  server_.ServeResource("/c.bin", third_body, "\"v3\"");
  r = Run("/c.bin", Relative("c.bin"));
  ASSERT_EQ(r.result, 0);
  EXPECT_EQ(ReadFileBytes(r.path), third_body);
  EXPECT_EQ(server_.RequestsFor("/c.bin").back().range, "bytes=29999-");

  // A longer version cut off exactly at the old length is not complete.
  const std::string fourth_body = PatternBody(50000, 5);
  server_.ServeResource("/c.bin", fourth_body, "\"v4\"");
  server_.QueueAnswer("/c.bin", Truncated(fourth_body, third_body.size(), "\"v4\""));
  DownloadArgs once = Relative("c.bin", false);
  once.report = false;
  EXPECT_EQ(Run("/c.bin", once).result, -1);
  r = Run("/c.bin", Relative("c.bin"));
  ASSERT_EQ(r.result, 0);
  EXPECT_EQ(ReadFileBytes(r.path), fourth_body);
  EXPECT_EQ(server_.RequestsFor("/c.bin").back().range, "bytes=20000-");
}

TEST_F(DownloadFileTest, AnotherLocalPathForTheSameUrlStartsFromScratch) {
  const std::string body = PatternBody(100000, 4);
  Interrupt("/same.bin", body, "a.bin", 30000);
  DownloadRun r = Run("/same.bin", Relative("b.bin"));
  ASSERT_EQ(r.result, 0);
  EXPECT_EQ(ReadFileBytes(r.path), body);
  EXPECT_EQ(server_.RequestsFor("/same.bin").back().range, "");
  // The record now belongs to b.bin: a second call transfers nothing.
  r = Run("/same.bin", Relative("b.bin"));
  EXPECT_EQ(r.result, 0);
  EXPECT_EQ(rec_.Progress(), (std::vector<int>{0, 100}));
}

TEST_F(DownloadFileTest, StopDuringTransferLeavesARecordTheNextRunResumesFrom) {
  // The pause comes after the first gathered buffer's worth (1 MiB), so the
  // stop raised on the first progress report is seen while the transfer is
  // still running.
  const std::string body = PatternBody(3 << 20, 5);
  server_.ServeResource("/stop.bin", body);
  Fault f;
  f.stallAfterBodyBytes = (1 << 20) + 300000;
  f.stallMs = 700;
  server_.QueueFault("/stop.bin", f);
  rec_.onMessage = [&](const PostedMessage& m) {
    if (m.msg == WM_SETUP_PROGRESS && m.lParam > 0) c_.RequestStop();
  };
  DownloadRun stopped = Run("/stop.bin", Relative("stop.bin"));
  rec_.onMessage = nullptr;
  EXPECT_EQ(stopped.result, 1);
  EXPECT_STREQ(c_.errorText, "");
  EXPECT_TRUE(boxes_.shown().empty());
  EXPECT_EQ(rec_.States(), (std::vector<int>{0}));
  EXPECT_EQ(rec_.Speeds().back(), 0);
  const size_t partial = ReadFileBytes(stopped.path).size();
  ASSERT_GT(partial, 0u);
  ASSERT_LT(partial, body.size());

  c_.stopRequest = false;
  DownloadRun resumed = Run("/stop.bin", Relative("stop.bin"));
  ASSERT_EQ(resumed.result, 0);
  EXPECT_EQ(ReadFileBytes(resumed.path), body);
  EXPECT_EQ(server_.RequestsFor("/stop.bin").back().range,
            "bytes=" + std::to_string(partial) + "-");
}

TEST_F(DownloadFileTest, PercentUnitsChangeAboveOneMebibyteOfAnswer) {
  // The last value before an answer breaks off shows the units exactly.
  struct Case {
    size_t length, sent;
    int last;
  } cases[] = {
      {1048576, 10486, 1},      // bytes: 1.00002 % (KiB units would say 0)
      {1048576, 1048575, 99},
      {1048577, 1048576, 100},  // KiB: 1024 of 1024 (byte units would say 99)
      {1048577, 10486, 0},
  };
  int n = 0;
  for (const Case& c : cases) {
    const std::string body = PatternBody(c.length, 20);
    const std::string path = "/units" + std::to_string(++n) + ".bin";
    server_.QueueAnswer(path, Truncated(body, c.sent));
    DownloadArgs a = Relative(path.c_str() + 1, false);
    a.report = false;
    DownloadRun r = Run(path, a);
    ASSERT_EQ(r.result, -1) << c.length << "/" << c.sent;
    ASSERT_EQ(ReadFileBytes(r.path).size(), c.sent);
    auto p = rec_.Progress();
    EXPECT_TRUE(std::is_sorted(p.begin(), p.end())) << c.length << "/" << c.sent;
    EXPECT_EQ(p.back(), c.last) << c.length << "/" << c.sent;
  }
}

TEST_F(DownloadFileTest, AnswerWithoutLengthPostsNoPercentageUntilTheEnd) {
  for (bool chunked : {false, true}) {
    ScriptedAnswer a;
    a.contentLength = false;
    a.chunked = chunked;
    a.body = PatternBody(150000, 10);
    server_.QueueAnswer("/nolen.bin", a);
    DownloadRun r = Run("/nolen.bin", Relative(chunked ? "chunked.bin" : "nolen.bin", false));
    ASSERT_EQ(r.result, 0) << chunked;
    EXPECT_EQ(ReadFileBytes(r.path), a.body) << chunked;
    EXPECT_EQ(rec_.Progress(), (std::vector<int>{0, 100})) << chunked;
  }
}

TEST_F(DownloadFileTest, RelativeDestinationWithOrWithoutLeadingBackslash) {
  server_.ServeResource("/rel.bin", "12345");
  DownloadRun plain = Run("/rel.bin", Relative("rel.bin"));
  DownloadRun slashed = Run("/rel.bin", Relative("\\rel.bin"));
  EXPECT_EQ(plain.result, 0);
  EXPECT_EQ(slashed.result, 0);
  EXPECT_EQ(plain.path, Target("rel.bin"));
  EXPECT_EQ(slashed.path, plain.path);

  TempFolder elsewhere;
  DownloadArgs a;
  a.destination = nullptr;
  std::string absolute = elsewhere.File("abs.bin");
  a.destination = absolute.c_str();
  a.absolute = true;
  DownloadRun abs = Run("/rel.bin", a);
  EXPECT_EQ(abs.result, 0);
  EXPECT_EQ(abs.path, absolute);
  EXPECT_EQ(ReadFileBytes(absolute), "12345");
}

TEST_F(DownloadFileTest, UnreportedFailureShowsNothingAndReturnsMinusOne) {
  DownloadArgs a = Relative("missing.bin", false);
  a.report = false;
  DownloadRun r = Run("/missing.bin", a);
  EXPECT_EQ(r.result, -1);
  EXPECT_TRUE(boxes_.shown().empty());
  EXPECT_TRUE(rec_.States().empty());
  EXPECT_EQ(rec_.Progress(), (std::vector<int>{0}));
  EXPECT_EQ(rec_.Speeds(), (std::vector<int>{0}));
  EXPECT_NE(std::string(c_.errorText).find("HTTP 404"), std::string::npos);
}

namespace {
HINTERNET WINAPI FailingInternetOpen(LPCSTR, DWORD, LPCSTR, LPCSTR, DWORD) {
  ::SetLastError(ERROR_INTERNET_INTERNAL_ERROR);
  return nullptr;
}
std::atomic<int> g_open_failures_left{0};
HINTERNET WINAPI FlakyInternetOpen(LPCSTR agent, DWORD access, LPCSTR proxy, LPCSTR bypass,
                                   DWORD flags) {
  if (g_open_failures_left.fetch_sub(1) > 0) return FailingInternetOpen(agent, access, proxy, bypass, flags);
  return ::InternetOpenA(agent, access, proxy, bypass, flags);
}
struct ScopedInternetOpen {
  explicit ScopedInternetOpen(download_hooks::InternetOpenFn fn)
      : previous(download_hooks::SetInternetOpenForTesting(fn)) {}
  ~ScopedInternetOpen() { download_hooks::SetInternetOpenForTesting(previous); }
  download_hooks::InternetOpenFn previous;
};
}  // namespace

TEST_F(DownloadFileTest, EachFailureWritesItsOwnErrorText) {
  // A port where nothing listens.
  std::string refused_base;
  {
    ScriptedServer gone;
    refused_base = gone.BaseUrl();
  }
  server_.ServeResource("/cut.bin", PatternBody(100000, 11));
  struct Case {
    const char* name;
    std::function<DownloadRun()> run;
    std::function<std::string()> text;  // expected whole text, or
    const char* prefix;                 // expected start when the text has a number
    bool ends_with_url;
  };
  const std::string refused_url = refused_base + "/x.bin";
  const std::string cut_url = Url("/cut.bin");
  Case cases[] = {
      {"no temporary file",
       [&] {
         ScopedTempRedirect broken("C:\\no_such_temp_folder_here\\");
         DownloadArgs a;  // no destination
         a.retry = false;
         return Run("/cut.bin", a);
       },
       [] { return std::string("获取临时文件路径出错"); }, nullptr, false},
      {"session cannot open",
       [&] {
         ScopedInternetOpen hook(&FailingInternetOpen);
         return Run("/cut.bin", Relative("s.bin", false));
       },
       [] { return std::string("网络错误:12004, 请检测网络是否正常！"); }, nullptr, false},
      {"connection refused",
       [&] { return RunUrl(refused_url, Relative("r.bin", false)); },
       [&] { return "网络连接错误:12029, 请检测网络是否正常！\n下载失败:" + refused_url; }, nullptr,
       false},
      {"read broken",
       [&] {
         Fault f;
         f.closeAfterBodyBytes = 20000;
         server_.QueueFault("/cut.bin", f);
         return Run("/cut.bin", Relative("c.bin", false));
       },
       nullptr, "网络错误:", true},
      {"larger than a record can hold (4 GiB + 5 must not pass for 5 bytes)",
       [&] {
         ScriptedAnswer a;
         a.contentLength = false;
         a.headers = {{"Content-Length", "4294967301"}, {"ETag", "\"big\""}};
         a.body = "12345";
         server_.QueueAnswer("/huge.bin", a);
         return Run("/huge.bin", Relative("huge.bin", true));
       },
       [&] {
         return "文件过大:4294967301 字节, 超出了可下载的上限 2147483647 字节！\n下载失败:" +
                Url("/huge.bin");
       },
       nullptr, false},
      {"just above what a record can hold",
       [&] {
         ScriptedAnswer a;
         a.contentLength = false;
         a.headers = {{"Content-Length", "2147483648"}};
         a.body = "12345";
         server_.QueueAnswer("/huge2.bin", a);
         return Run("/huge2.bin", Relative("huge2.bin", true));
       },
       nullptr, "文件过大:2147483648 字节", false},
      {"not found",
       [&] { return Run("/nothing.bin", Relative("n.bin", true)); },
       [&] { return "服务器错误:HTTP 404, 请稍后重试！\n下载失败:" + Url("/nothing.bin"); }, nullptr,
       false},
      {"target cannot be opened",
       [&] {
         DownloadArgs a = Relative("deep\\deeper\\t.bin", true);
         return Run("/cut.bin", a);
       },
       [&] { return "无法写入文件:" + Target("deep\\deeper\\t.bin"); }, nullptr, false},
  };
  for (const Case& c : cases) {
    size_t boxes_before = boxes_.shown().size();
    DownloadRun r = c.run();
    EXPECT_EQ(r.result, 1) << c.name;
    const std::string text = c_.errorText;
    if (c.text) {
      EXPECT_EQ(text, c.text()) << c.name;
    }
    if (c.prefix) {
      EXPECT_TRUE(StartsWith(text, c.prefix)) << c.name << ": " << text;
    }
    if (c.ends_with_url) {
      EXPECT_TRUE(EndsWith(text, "\n下载失败:" + cut_url)) << c.name;
    }
    auto shown = boxes_.shown();
    ASSERT_EQ(shown.size(), boxes_before + 1) << c.name;
    EXPECT_EQ(shown.back().text, text) << c.name;
    EXPECT_EQ(shown.back().caption, "错误") << c.name;
    EXPECT_EQ(shown.back().type, static_cast<UINT>(MB_OK)) << c.name;
    EXPECT_EQ(shown.back().owner, rec_.hwnd()) << c.name;
    EXPECT_EQ(rec_.States(), (std::vector<int>{0})) << c.name;
    EXPECT_EQ(rec_.Speeds().back(), 0) << c.name;
  }
  // The unopenable target failed at once: one request even with retrying on.
  EXPECT_EQ(server_.RequestsFor("/cut.bin").size(), 2u);
  EXPECT_EQ(server_.RequestsFor("/nothing.bin").size(), 1u);
  // Too large is final, and no file is started for it.
  EXPECT_EQ(server_.RequestsFor("/huge.bin").size(), 1u);
  EXPECT_FALSE(FileExists(Target("huge.bin")));
}

TEST_F(DownloadFileTest, LongErrorTextIsCutOnAWholeCharacter) {
  std::string refused_base;
  {
    ScriptedServer gone;
    refused_base = gone.BaseUrl();
  }
  for (size_t pad = 0; pad < 2; ++pad) {
    std::string url = refused_base + "/" + std::string(pad + 1, 'a');
    for (int i = 0; i < 150; ++i) url += "牌";
    DownloadRun r = RunUrl(url, Relative("long.bin", false));
    EXPECT_EQ(r.result, 1);
    const std::string text = c_.errorText;
    EXPECT_LE(text.size(), 260u);
    EXPECT_GE(text.size(), 259u);
    EXPECT_EQ(std::string(gbk::CutToBytes(text, text.size())), text) << pad;
    EXPECT_TRUE(StartsWith(text, "网络连接错误:"));
  }
}

TEST_F(DownloadFileTest, TemporaryFileDownloadFindsItsEarlierFile) {
  const std::string body = PatternBody(120000, 12);
  server_.ServeResource("/tmp.txt", body);
  Fault f;
  f.closeAfterBodyBytes = 50000;
  server_.QueueFault("/tmp.txt", f);
  DownloadArgs a;  // no destination, retry
  a.retry = true;
  DownloadRun first = Run("/tmp.txt", a);
  ASSERT_EQ(first.result, 0);
  EXPECT_EQ(ReadFileBytes(first.path), body);
  EXPECT_TRUE(StartsWith(first.path, temp_.path() + "wpk")) << first.path;

  DownloadRun second = Run("/tmp.txt", a);
  EXPECT_EQ(second.result, 0);
  EXPECT_EQ(second.path, first.path);
  EXPECT_EQ(rec_.Progress(), (std::vector<int>{0, 100}));  // nothing transferred

  // The retry inside the first call reused its file: one temporary file in all.
  int temp_files = 0;
  WIN32_FIND_DATAA fd;
  HANDLE h = FindFirstFileA((temp_.path() + "wpk*").c_str(), &fd);
  if (h != INVALID_HANDLE_VALUE) {
    do ++temp_files;
    while (FindNextFileA(h, &fd));
    FindClose(h);
  }
  EXPECT_EQ(temp_files, 1);
}

TEST_F(DownloadFileTest, WholeBodyAnswerToARangedRequestReplacesThePartialFile) {
  const std::string body = PatternBody(100000, 13);
  Interrupt("/ign.bin", body, "ign.bin", 40000);
  Fault f;
  f.ignoreRange = true;
  server_.QueueFault("/ign.bin", f);
  DownloadRun r = Run("/ign.bin", Relative("ign.bin"));
  ASSERT_EQ(r.result, 0);
  EXPECT_FALSE(server_.RequestsFor("/ign.bin").back().range.empty());
  EXPECT_EQ(ReadFileBytes(r.path), body);
}

TEST_F(DownloadFileTest, ClientErrorFailsAtOnceAndLeavesThePartialFileAlone) {
  Interrupt("/gone.bin", PatternBody(100000, 14), "gone.bin", 40000);
  const std::string partial = ReadFileBytes(Target("gone.bin"));
  size_t before = server_.RequestsFor("/gone.bin").size();
  Fault f;
  f.status = "404 Not Found";
  server_.QueueFault("/gone.bin", f);
  DownloadRun r = Run("/gone.bin", Relative("gone.bin", true));
  EXPECT_EQ(r.result, 1);
  EXPECT_EQ(server_.RequestsFor("/gone.bin").size(), before + 1);
  EXPECT_EQ(ReadFileBytes(r.path), partial);
  EXPECT_TRUE(ScopedNoSleep::Requested().empty());
  EXPECT_EQ(rec_.States(), (std::vector<int>{0}));
}

TEST_F(DownloadFileTest, ServerErrorIsRetriedWithGrowingPauses) {
  const std::string body = PatternBody(20000, 15);
  server_.ServeResource("/busy.bin", body);
  Fault f;
  f.status = "503 Service Unavailable";
  server_.QueueFault("/busy.bin", f);
  server_.QueueFault("/busy.bin", f);
  DownloadRun r = Run("/busy.bin", Relative("busy.bin", true));
  ASSERT_EQ(r.result, 0);
  EXPECT_EQ(ReadFileBytes(r.path), body);
  EXPECT_EQ(server_.RequestsFor("/busy.bin").size(), 3u);
  auto sleeps = ScopedNoSleep::Requested();
  DWORD total = std::accumulate(sleeps.begin(), sleeps.end(), DWORD{0});
  EXPECT_GE(total, 2400u);  // about 1 s, then about 2 s
  EXPECT_LE(total, 3000u);
  for (DWORD s : sleeps) EXPECT_LE(s, 100u);

  // A file nobody waits for gives up after a few tries, quietly.
  Fault down;
  down.status = "503 Service Unavailable";
  for (int i = 0; i < 10; ++i) server_.QueueFault("/opt.bin", down);
  const size_t boxes_before = boxes_.shown().size();
  rec_.Clear();
  c_.window = rec_.hwnd();
  std::string opt_path;
  EXPECT_EQ(DownloadOptionalFile(Target("opt.bin").c_str(), &opt_path, &c_,
                                 Url("/opt.bin").c_str(), true, true),
            -1);
  rec_.Pump();
  EXPECT_EQ(server_.RequestsFor("/opt.bin").size(), 4u);
  EXPECT_NE(std::string(c_.errorText).find("HTTP 503"), std::string::npos);
  EXPECT_EQ(boxes_.shown().size(), boxes_before);
  EXPECT_TRUE(rec_.States().empty());

  // Without retrying, the first 503 ends the call.
  server_.QueueFault("/busy.bin", f);
  DownloadArgs once = Relative("busy2.bin", false);
  r = Run("/busy.bin", once);
  EXPECT_EQ(r.result, 1);
  EXPECT_NE(std::string(c_.errorText).find("HTTP 503"), std::string::npos);
  EXPECT_FALSE(FileExists(Target("busy2.bin")));
}

TEST_F(DownloadFileTest, TryAgainLaterIsRetriedAfterTheBackOffOrWhatTheServerAsks) {
  const char kDate[] = "Mon, 07 Dec 2026 04:00:00 GMT";
  struct Case {
    const char* status;
    const char* retry_after;  // null: none
    DWORD min_ms, max_ms;     // the pause before the second request
  };
  // The first step of the back-off, less its jitter at the most.
  const DWORD first = kBackoffStepsMs[0], soonest = first - first / kBackoffJitterShare;
  const Case cases[] = {
      {"408 Request Timeout", nullptr, soonest, first},
      {"429 Too Many Requests", nullptr, soonest, first},
      {"429 Too Many Requests", "7", 7000, 7000},
      {"429 Too Many Requests", "Mon, 07 Dec 2026 04:00:12 GMT", 12000, 12000},
      {"503 Service Unavailable", "3600", kBackoffCapMs, kBackoffCapMs},  // no more than the cap
      {"408 Request Timeout", "0", soonest, first},  // no sooner than the back-off
  };
  const std::string body = PatternBody(20000, 23);
  int n = 0;
  for (const Case& c : cases) {
    const std::string path = "/later" + std::to_string(++n) + ".bin";
    server_.ServeResource(path, body);
    ScriptedAnswer later;
    later.status = c.status;
    later.body = "later";
    later.headers = {{"Date", kDate}};
    if (c.retry_after) later.headers.push_back({"Retry-After", c.retry_after});
    server_.QueueAnswer(path, later);
    ScopedNoSleep fresh;
    DownloadRun r = Run(path, Relative(path.c_str() + 1, true));
    ASSERT_EQ(r.result, 0) << c.status;
    EXPECT_EQ(ReadFileBytes(r.path), body) << c.status;
    EXPECT_EQ(server_.RequestsFor(path).size(), 2u) << c.status;
    auto sleeps = ScopedNoSleep::Requested();
    const DWORD total = std::accumulate(sleeps.begin(), sleeps.end(), DWORD{0});
    EXPECT_GE(total, c.min_ms) << c.status << " " << (c.retry_after ? c.retry_after : "");
    EXPECT_LE(total, c.max_ms) << c.status << " " << (c.retry_after ? c.retry_after : "");
  }
  // Without retrying they end the call like any error status.
  server_.QueueAnswer("/later1.bin", ScriptedAnswer{"429 Too Many Requests", {}, "later"});
  DownloadRun once = Run("/later1.bin", Relative("once.bin", false));
  EXPECT_EQ(once.result, 1);
  EXPECT_NE(std::string(c_.errorText).find("HTTP 429"), std::string::npos);
}

TEST_F(DownloadFileTest, UnsatisfiableRangeClearsTheRecordAndStartsOver) {
  Interrupt("/shrunk.bin", PatternBody(100000, 16), "shrunk.bin", 40000, "\"same\"");
  const std::string small = PatternBody(500, 17);
  server_.ServeResource("/shrunk.bin", small, "\"same\"");
  size_t before = server_.RequestsFor("/shrunk.bin").size();
  DownloadRun r = Run("/shrunk.bin", Relative("shrunk.bin", false));
  ASSERT_EQ(r.result, 0);
  EXPECT_EQ(ReadFileBytes(r.path), small);
  auto requests = server_.RequestsFor("/shrunk.bin");
  ASSERT_EQ(requests.size(), before + 2);
  EXPECT_FALSE(requests[before].range.empty());
  EXPECT_EQ(requests[before + 1].range, "");
}

TEST_F(DownloadFileTest, BodyShorterThanItsLengthIsAnInterruptedTransfer) {
  const std::string body = PatternBody(1000, 18);
  auto truncated = [&] {
    ScriptedAnswer a;
    a.contentLength = false;
    a.headers = {{"Content-Length", "1000"}, {"ETag", "\"t1\""}};
    a.body = body.substr(0, 400);
    return a;
  };
  server_.ServeResource("/short.bin", body, "\"t1\"");

  server_.QueueAnswer("/short.bin", truncated());
  DownloadArgs once = Relative("short.bin", false);
  once.report = false;
  DownloadRun r = Run("/short.bin", once);
  EXPECT_EQ(r.result, -1);
  EXPECT_TRUE(StartsWith(c_.errorText, "网络错误:")) << c_.errorText;

  // With retrying, the next attempt asks for the rest.
  server_.QueueAnswer("/short.bin", truncated());
  DownloadRun again = Run("/short.bin", Relative("short2.bin", true));
  ASSERT_EQ(again.result, 0);
  EXPECT_EQ(ReadFileBytes(again.path), body);
  EXPECT_EQ(server_.RequestsFor("/short.bin").back().range, "bytes=400-");
}

TEST_F(DownloadFileTest, ChunkedBodyEndingBeforeItsLastChunkIsNotASuccess) {
  // Wine's WinINet (8.0) ends a chunked body cut off by a close or a reset
  // exactly like a whole one (TRUE with 0 bytes, nothing left to query): the
  // cut can only be shown on Windows.
  if (::GetProcAddress(::GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr)
    GTEST_SKIP() << "Wine's WinINet reports a cut chunked body as complete";
  ScriptedAnswer a;
  a.chunked = true;
  a.lastChunk = false;
  a.body = PatternBody(20000, 12);
  server_.QueueAnswer("/chunks.bin", a);
  DownloadRun r = Run("/chunks.bin", Relative("chunks.bin", false));
  EXPECT_EQ(r.result, 1);
  EXPECT_TRUE(StartsWith(c_.errorText, "网络错误:")) << c_.errorText;
  EXPECT_EQ(server_.RequestsFor("/chunks.bin").size(), 1u);
}

TEST_F(DownloadFileTest, DeadConnectionEndsByTimeOutAndResumes) {
  // Wine's WinINet (8.0) lets a blocking read wait for data whatever the
  // receive time-out says; the behaviour can only be shown on Windows.
  if (::GetProcAddress(::GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr)
    GTEST_SKIP() << "receive time-outs are not honoured by Wine's WinINet";
  download_hooks::SetTimeoutsForTesting(2000, 500);
  const std::string body = PatternBody(120000, 19);
  server_.ServeResource("/dead.bin", body);
  Fault f;
  f.stallAfterBodyBytes = 50000;
  f.stallMs = 20000;
  server_.QueueFault("/dead.bin", f);
  DWORD start = GetTickCount();
  DownloadRun r = Run("/dead.bin", Relative("dead.bin", true));
  DWORD took = GetTickCount() - start;
  download_hooks::SetTimeoutsForTesting(0, 0);
  ASSERT_EQ(r.result, 0);
  EXPECT_EQ(ReadFileBytes(r.path), body);
  EXPECT_LT(took, 10000u);
  EXPECT_FALSE(server_.RequestsFor("/dead.bin").back().range.empty());
}

TEST_F(DownloadFileTest, OptionalFileOnAStalledConnectionIsLeftBehindAtItsDeadline) {
  // Wine keeps the read blocked; elsewhere the receive time-out ends it.
  Fault f;
  f.stallAfterBodyBytes = 100;
  f.stallMs = 20000;
  server_.ServeResource("/stalled.bin", PatternBody(50000, 20));
  server_.QueueFault("/stalled.bin", f);
  download_hooks::SetOptionalDeadlineForTesting(800);
  c_.window = rec_.hwnd();
  std::string path = "unchanged";
  DWORD start = GetTickCount();
  int result = DownloadOptionalFile(Target("stalled.bin").c_str(), &path, &c_,
                                    Url("/stalled.bin").c_str(), true, true);
  DWORD took = GetTickCount() - start;
  download_hooks::SetOptionalDeadlineForTesting(0);
  EXPECT_EQ(result, -1);
  EXPECT_LT(took, 10000u);
  EXPECT_EQ(path, "unchanged");
  EXPECT_NE(std::string(c_.errorText).find("网络超时"), std::string::npos);
  rec_.Pump();
  EXPECT_TRUE(rec_.States().empty());
}

namespace {
std::atomic<XGameSetup*> g_stop_target{nullptr};
std::atomic<int> g_sleep_calls{0};
void SleepThenStop(DWORD) {
  if (++g_sleep_calls == 3) g_stop_target.load()->RequestStop();
}
}  // namespace

TEST_F(DownloadFileTest, StopEndsTheRetryingOfAnUnopenableSession) {
  ScopedInternetOpen hook(&FailingInternetOpen);
  g_stop_target = &c_;
  g_sleep_calls = 0;
  seams::SleepFn previous = seams::SetSleepForTesting(&SleepThenStop);
  DownloadRun r = Run("/never.bin", Relative("never.bin", true));
  seams::SetSleepForTesting(previous);
  EXPECT_EQ(r.result, 1);
  EXPECT_EQ(g_sleep_calls.load(), 3);
  EXPECT_STREQ(c_.errorText, "");
  EXPECT_TRUE(boxes_.shown().empty());
  EXPECT_EQ(rec_.States(), (std::vector<int>{0}));
  EXPECT_TRUE(server_.Requests().empty());
}

TEST_F(DownloadFileTest, SessionThatOpensOnALaterTryIsUsed) {
  server_.ServeResource("/late.bin", "late");
  g_open_failures_left = 2;
  ScopedInternetOpen hook(&FlakyInternetOpen);
  DownloadRun r = Run("/late.bin", Relative("late.bin", true));
  EXPECT_EQ(r.result, 0);
  EXPECT_EQ(ReadFileBytes(r.path), "late");
  EXPECT_FALSE(ScopedNoSleep::Requested().empty());
}

namespace {
std::atomic<long> g_write_budget{0};
size_t WriteUntilFull(const void* data, size_t n, FILE* f) {
  const long left = g_write_budget.fetch_sub(static_cast<long>(n));
  const size_t now = left <= 0 ? 0 : std::min<size_t>(n, static_cast<size_t>(left));
  return std::fwrite(data, 1, now, f);
}
int FailingFlush(FILE* f) {
  std::fflush(f);
  return EOF;
}
int FailingClose(FILE* f) {
  std::fclose(f);
  return EOF;
}
}  // namespace

TEST_F(DownloadFileTest, AFullDiskFailsWithARecordOfWhatReachedIt) {
  download_hooks::SetCheckpointForTesting(64 * 1024, 0);
  struct Case {
    const char* name;
    download_hooks::FileOps ops;
  } cases[] = {
      {"write", {&WriteUntilFull, nullptr, nullptr}},
      {"flush", {nullptr, &FailingFlush, nullptr}},
      {"close", {nullptr, nullptr, &FailingClose}},
  };
  const std::string body = PatternBody(300000, 21);
  server_.ServeResource("/full.bin", body);
  for (const Case& c : cases) {
    g_write_budget = 100000;
    download_hooks::FileOps previous = download_hooks::SetFileOpsForTesting(c.ops);
    DownloadRun r = Run("/full.bin", Relative(c.name, true));
    download_hooks::SetFileOpsForTesting(previous);
    EXPECT_EQ(r.result, 1) << c.name;
    EXPECT_TRUE(StartsWith(c_.errorText, "写入文件失败:")) << c.name << ": " << c_.errorText;
    EXPECT_EQ(rec_.States(), (std::vector<int>{0})) << c.name;
    // The next run goes on from what the disk really holds.
    const std::string kept = ReadFileBytes(r.path);
    EXPECT_TRUE(body.compare(0, kept.size(), kept) == 0) << c.name;
    DownloadRun again = Run("/full.bin", Relative(c.name, true));
    ASSERT_EQ(again.result, 0) << c.name;
    EXPECT_TRUE(ReadFileBytes(r.path) == body) << c.name;
    const std::string range = server_.RequestsFor("/full.bin").back().range;
    EXPECT_EQ(range, "bytes=" + std::to_string(kept.size() < body.size() ? kept.size()
                                                                         : body.size() - 1) + "-")
        << c.name;
  }
  download_hooks::SetCheckpointForTesting(0, 0);
}

namespace {
struct SlowLine {
  const char* what;
  Fault line;
  size_t stop_after;  // body bytes sent before the stop is asked for (300 ms later)
  size_t kept = 0;    // bytes the file holds at least then (0: stop_after)
  std::vector<Fault> then = {};  // the lines of the requests that follow
};
}  // namespace

class SlowLineTest : public DownloadFileTest {
 protected:
  // Stop and progress must follow the line within about a second.
  void Check(const std::vector<SlowLine>& cases) {
    int n = 0;
    for (const SlowLine& c : cases) {
      const std::string path = "/slow" + std::to_string(++n) + ".bin";
      const std::string body = PatternBody((5 << 20) + 12345, 22);
      server_.ServeResource(path, body);
      server_.QueueFault(path, c.line);
      for (const Fault& f : c.then) server_.QueueFault(path, f);
      c_.stopRequest = false;
      std::atomic<DWORD> stop_tick{0};
      std::atomic<bool> done{false};
      std::thread stopper([&] {
        while (!done && server_.BodyBytesSent(path) < c.stop_after) ::Sleep(5);
        ::Sleep(300);
        stop_tick = GetTickCount();
        c_.RequestStop();
      });
      DownloadRun r = Run(path, Relative(path.c_str() + 1));
      const DWORD took = GetTickCount() - stop_tick;
      done = true;
      stopper.join();
      EXPECT_EQ(r.result, 1) << c.what;
      EXPECT_LT(took, 1500u) << c.what;
      // What came on the slow line reached the file, and was reported.
      const std::string kept = ReadFileBytes(r.path);
      EXPECT_GE(kept.size(), c.kept ? c.kept : c.stop_after) << c.what;
      EXPECT_TRUE(body.compare(0, kept.size(), kept) == 0) << c.what;
      EXPECT_GT(rec_.Progress().size(), 1u) << c.what;
    }
  }
};

TEST_F(SlowLineTest, StopOnASlowLineIsSeenWithinASecond) {
  SlowLine c = {"a burst, then 20 KiB/s", {}, 64 * 1024};  // the burst must not pass for the speed
  c.line.burstBytes = 64 * 1024;
  c.line.paceBytes = 2048;
  c.line.paceMs = 100;
  Check({c});
}

// A line that drops from full speed to 5 KiB/s in the middle of the body:
// the read sized by the fast speed would wait until its whole 1 MiB had come
// (minutes); it is given up, and the transfer goes on over a new request
// whose reads follow the slow line, with what earlier reads gathered kept
// (what the given-up read held comes again).
TEST_F(SlowLineTest, StopAndProgressFollowALineThatSlowsMidTransfer) {
  Fault slow;
  slow.slowBytes = 512;
  slow.slowMs = 100;
  SlowLine c = {"full speed for 3 MiB, then 5 KiB/s", slow, (3 << 20) + 16384, (3 << 20) + 4096,
                {slow}};
  c.line.slowAfterBytes = 3 << 20;
  // About 3 MiB/s: reads sized by a quarter second gather in the buffer.
  SlowLine d = c;
  d.what = "64 KiB every 20 ms for 2.5 MiB and 4 KiB, then 5 KiB/s";
  d.line.paceBytes = 64 * 1024;
  d.line.paceMs = 20;
  d.line.slowAfterBytes = (5 << 19) + 4096;
  d.stop_after = d.line.slowAfterBytes + 16384;
  d.kept = 1 << 20;
  Check({c, d});
}

namespace {
constexpr size_t kBlock = 64 * 1024;

// The signed record of `body`, with blocks of `block` bytes (0: none).
ManifestFile SignedRecord(const std::string& body, size_t block) {
  ManifestFile f;
  f.size = body.size();
  f.sha256 = Sha256Of(body.data(), body.size());
  f.blockSize = block;
  for (size_t at = 0; block != 0 && at < body.size(); at += block)
    f.blocks.push_back(Sha256Of(body.data() + at, std::min(block, body.size() - at)));
  return f;
}
}  // namespace

TEST_F(DownloadFileTest, SignedFileIsHeldToItsRecord) {
  // More than two transfer buffers, so a bad block is met while bytes still come.
  const std::string body = PatternBody(40 * kBlock + 1000, 50);
  const std::string bad = [&] {
    std::string b = body;
    b[5 * kBlock + 7] ^= 1;
    return b;
  }();
  const std::string longer = body + PatternBody(5000, 51);
  auto answer = [](const std::string& text, bool length) {
    ScriptedAnswer a{"200 OK", {{"ETag", "\"v1\""}, {"Last-Modified", kLastModified}}, text};
    a.contentLength = length;
    return a;
  };
  // setup: `first` bytes of `served` came by an earlier run without a
  // record to hold them to (0: none); `tamper`: the signed download's first
  // answer has one byte changed there.
  struct Case {
    const char* what;
    size_t block;  // 0: no block digests
    const std::string* served;
    size_t first;
    long tamper;
    bool queued;  // `served` once as a queued answer, with `length` or not
    int result;
    std::vector<std::string> ranges;  // of the signed download's requests
  } cases[] = {
      {"a block changed on the way is fetched again from its start", kBlock, &body, 0,
       30 * kBlock + 5, false, 0, {"", "bytes=1966080-"}},
      {"a block that stays bad: three more tries, then nothing kept", kBlock, &bad, 0, -1, false,
       1, {"", "bytes=327680-", "bytes=327680-", "bytes=327680-"}},
      {"a longer body is cut at the signed size", kBlock, &longer, 0, -1, true, 0, {""}},
      {"a resumed part with a bad block goes on from that block", kBlock, &bad,
       20 * kBlock + 100, -1, false, 0, {"bytes=327680-"}},
      {"a resumed part ending inside a block goes on from that block", kBlock, &body,
       20 * kBlock + 100, -1, false, 0, {"bytes=1310720-"}},
      {"without blocks a bad resumed part is fetched once more from 0", 0, &bad, 20 * kBlock, -1,
       false, 0, {"bytes=1310720-", ""}},
      {"without blocks a wrong body fails at once", 0, &bad, 0, -1, false, 1, {""}},
      {"the signed file already on disk needs no request", kBlock, &body, body.size(), -1,
       false, 0, {}},
  };
  int n = 0;
  for (const Case& c : cases) {
    const std::string path = "/signed" + std::to_string(++n) + ".bin";
    const ManifestFile record = SignedRecord(body, c.block);
    DownloadArgs once = Relative(path.c_str() + 1, false);
    once.report = false;
    server_.ServeResource(path, c.first > 0 || c.queued ? body : *c.served);
    if (c.first > 0) {
      server_.QueueAnswer(path, Truncated(*c.served, c.first));
      Run(path, once);
    }
    if (c.queued) server_.QueueAnswer(path, answer(*c.served, c.block != 0));
    Fault f;
    f.corruptAt = c.tamper;
    server_.QueueFault(path, f);
    const size_t before = server_.RequestsFor(path).size();
    const size_t boxes_before = boxes_.shown().size();
    c_.expectedFile = &record;
    DownloadRun r = Run(path, Relative(path.c_str() + 1, false));
    c_.expectedFile = nullptr;
    EXPECT_EQ(r.result, c.result) << c.what;
    std::vector<std::string> ranges;
    auto requests = server_.RequestsFor(path);
    for (size_t i = before; i < requests.size(); ++i) ranges.push_back(requests[i].range);
    EXPECT_EQ(ranges, c.ranges) << c.what;
    if (c.result == 0) {
      EXPECT_TRUE(ReadFileBytes(r.path) == body) << c.what;
      continue;
    }
    EXPECT_EQ(std::string(c_.errorText), "安装包校验失败:" + Url(path)) << c.what;
    ASSERT_EQ(boxes_.shown().size(), boxes_before + 1) << c.what;
    EXPECT_EQ(rec_.States(), (std::vector<int>{0})) << c.what;
    EXPECT_FALSE(FileExists(r.path)) << c.what;
    EXPECT_EQ(CacheFileText().find(r.path), std::string::npos) << c.what;
  }

  // The agency program (no blocks): cut at its size, or deleted when wrong,
  // without a text (its caller tells).
  const ManifestFile record = SignedRecord(body, 0);
  for (const std::string* served : {&longer, &bad}) {
    const std::string path = "/agency" + std::to_string(++n) + ".exe";
    server_.QueueAnswer(path, answer(*served, false));
    c_.expectedFile = &record;
    std::string got;
    const int result = DownloadOptionalFile(Target(path.c_str() + 1).c_str(), &got, &c_,
                                            Url(path).c_str(), true, true);
    c_.expectedFile = nullptr;
    EXPECT_EQ(result, served == &longer ? 0 : -1);
    EXPECT_EQ(FileExists(got) && ReadFileBytes(got) == body, served == &longer);
    // No box, but the caller can tell a refused copy from an unreachable one.
    EXPECT_EQ(std::string(c_.errorText).rfind("安装包校验失败:", 0) == 0, served != &longer);
  }
}
