#include "net/resume_cache.h"

#include <gtest/gtest.h>

#include <string>

#include "core/md5.h"
#include "net_test_support.h"

namespace {

const char kUrl[] = "http://files.example.org/pkg/Game.ZIP";

std::string CacheFileFor(const std::string& url, const char* agency = "") {
  return CacheFilePath(UrlCacheKey(url), agency);
}

CacheRecord StoredRecord(const std::string& local_path, const std::string& body, int total) {
  WriteFileBytes(local_path, body);
  CacheRecord r(CacheFileFor(kUrl));
  r.section = kUrl;
  r.lastModified = "Mon, 07 Dec 2026 04:00:00 GMT";
  r.etag = "abc123";
  r.totalSize = total;
  r.localPath = local_path;
  SaveCacheRecord(&r);
  return r;
}

}  // namespace

TEST(CacheRecordFile, WritesTheSixKeysInTheirOrderUnderTheLowerCasedUrl) {
  ScopedTempRedirect temp;
  TempFolder dir;
  const std::string body = "0123456789";
  CacheRecord r(CacheFileFor(kUrl));
  r.section = std::string("  ") + kUrl + "\t";
  r.lastModified = "Mon, 07 Dec 2026 04:00:00 GMT";
  r.etag = "abc123";
  r.totalSize = 300;
  r.localPath = dir.File("game.zip");
  WriteFileBytes(r.localPath, body);
  SaveCacheRecord(&r);

  const std::string text = ReadFileBytes(r.cacheFile);
  const std::string expected =
      "[http://files.example.org/pkg/game.zip]\r\n"
      "resurl_lastmodified=Mon, 07 Dec 2026 04:00:00 GMT\r\n"
      "resurl_etag=abc123\r\n"
      "resurl_bytetotalsize=300\r\n"
      "dstfile_path=" + dir.File("game.zip") + "\r\n"
      "dstfile_md5=" + Md5OfBytes(body.data(), body.size()) + "\r\n"
      "dstfile_size=10\r\n";
  EXPECT_EQ(text, expected);
  EXPECT_EQ(r.localSize, 10);
}

TEST(CacheRecordFile, LoadsWhatWasSavedAndTreatsAClearedRecordAsAbsent) {
  ScopedTempRedirect temp;
  TempFolder dir;
  CacheRecord saved = StoredRecord(dir.File("a.bin"), "abcdef", 12);

  CacheRecord loaded(CacheFileFor(kUrl));
  ASSERT_TRUE(LoadCacheRecord(&loaded, std::string(" ") + kUrl + " "));
  EXPECT_EQ(loaded.section, "http://files.example.org/pkg/game.zip");
  EXPECT_EQ(loaded.lastModified, saved.lastModified);
  EXPECT_EQ(loaded.etag, "abc123");
  EXPECT_EQ(loaded.totalSize, 12);
  EXPECT_EQ(loaded.localPath, dir.File("a.bin"));
  EXPECT_EQ(loaded.localMd5, Md5OfBytes("abcdef", 6));
  EXPECT_EQ(loaded.localSize, 6);

  ClearCacheRecord(loaded);
  CacheRecord again(CacheFileFor(kUrl));
  again.etag = "untouched";
  EXPECT_FALSE(LoadCacheRecord(&again, kUrl));
  EXPECT_EQ(again.etag, "untouched");
  EXPECT_EQ(again.section, "");
  // The keys stay in the file with empty values.
  EXPECT_NE(ReadFileBytes(loaded.cacheFile).find("resurl_etag=\r\n"), std::string::npos);

  CacheRecord other(CacheFileFor(kUrl));
  EXPECT_FALSE(LoadCacheRecord(&other, "http://files.example.org/never-stored"));
}

TEST(ResumeState, UsesAValidRecordOnlyForItsOwnLocalFile) {
  ScopedTempRedirect temp;
  TempFolder dir;
  const std::string path = dir.File("Pkg.bin");
  struct Case {
    const char* name;
    std::string local_path;
    bool usable;
    bool record_kept;
  } cases[] = {
      {"same path", path, true, true},
      {"same path, other case", dir.File("PKG.BIN"), true, true},
      {"no path (temporary file)", "", true, true},
      {"another path", dir.File("other.bin"), false, false},
  };
  for (const Case& c : cases) {
    StoredRecord(path, "partial", 20);
    ResumeState state;
    EXPECT_EQ(OpenResumeState(kUrl, c.local_path, "", &state), c.usable) << c.name;
    EXPECT_EQ(state.usable, c.usable) << c.name;
    EXPECT_EQ(state.record != nullptr, c.usable) << c.name;
    if (state.record) {
      EXPECT_EQ(state.record->localPath, path) << c.name;
    }
    CacheRecord probe(CacheFileFor(kUrl));
    EXPECT_EQ(LoadCacheRecord(&probe, kUrl), c.record_kept) << c.name;
  }

  // A record whose file changed is ignored but not cleared.
  StoredRecord(path, "partial", 20);
  WriteFileBytes(path, "partiaL");
  ResumeState state;
  EXPECT_FALSE(OpenResumeState(kUrl, path, "", &state));
  CacheRecord probe(CacheFileFor(kUrl));
  EXPECT_TRUE(LoadCacheRecord(&probe, kUrl));

  // Another agency key is another cache file.
  StoredRecord(path, "partial", 20);
  EXPECT_FALSE(OpenResumeState(kUrl, path, "AG1", &state));
  EXPECT_TRUE(OpenResumeState(kUrl, path, "", &state));
}

TEST(ResumeState, RequestHeadersAskForTheRestOnlyOfAnUnfinishedFile) {
  struct Case {
    const char* name;
    bool usable;
    bool with_record;
    int local, total;
    const char* etag;
    const char* last_modified;
    std::string headers;
  } cases[] = {
      {"no record", true, false, 0, 0, "", "", "Accept: */*\r\n"},
      {"not usable", false, true, 5, 10, "e", "", "Accept: */*\r\n"},
      // A complete copy is confirmed by its last byte.
      {"complete", true, true, 10, 10, "e", "", "Accept: */*\r\nRange:bytes=9-\r\nIf-Range:\"e\"\r\n"},
      {"etag", true, true, 5, 10, "abc", "Mon, 07 Dec 2026 04:00:00 GMT",
       "Accept: */*\r\nRange:bytes=5-\r\nIf-Range:\"abc\"\r\n"},
      {"last-modified only", true, true, 7, 10, "", "Mon, 07 Dec 2026 04:00:00 GMT",
       "Accept: */*\r\nRange:bytes=7-\r\nIf-Range:Mon, 07 Dec 2026 04:00:00 GMT\r\n"},
      {"no validator", true, true, 7, 10, "", "", "Accept: */*\r\n"},
      // A weak ETag never goes into If-Range: the date stands in, or nothing.
      {"weak etag", true, true, 7, 10, "W/abc", "Mon, 07 Dec 2026 04:00:00 GMT",
       "Accept: */*\r\nRange:bytes=7-\r\nIf-Range:Mon, 07 Dec 2026 04:00:00 GMT\r\n"},
      {"weak etag alone", true, true, 7, 10, "W/abc", "", "Accept: */*\r\n"},
      {"longer than total", true, true, 11, 10, "e", "", "Accept: */*\r\n"},
  };
  for (const Case& c : cases) {
    ResumeState state;
    state.usable = c.usable;
    if (c.with_record) {
      state.record = std::make_unique<CacheRecord>("unused");
      state.record->localSize = c.local;
      state.record->totalSize = c.total;
      state.record->etag = c.etag;
      state.record->lastModified = c.last_modified;
    }
    EXPECT_EQ(BuildRequestHeaders(state), c.headers) << c.name;
  }
}

TEST(ResumeState, ValidatorComparisonPrefersTheEtagAndIgnoresCase) {
  struct Case {
    const char* record_etag;
    const char* record_lm;
    const char* answer_etag;
    const char* answer_lm;
    bool changed;
  } cases[] = {
      {"abc", "", "abc", "", false},
      {"abc", "", "ABC", "", false},
      {"abc", "", "abd", "", true},
      {"abc", "", "", "", true},
      {"abc", "LM", "abc", "other", false},  // the etag decides when there is one
      {"abc", "LM", "xyz", "LM", true},
      {"", "Mon, 07 Dec 2026", "", "MON, 07 DEC 2026", false},
      {"", "Mon, 07 Dec 2026", "abc", "Tue, 08 Dec 2026", true},
      {"", "", "abc", "LM", true},  // nothing to compare: changed
  };
  for (const Case& c : cases) {
    ResumeState state;
    state.usable = true;
    state.record = std::make_unique<CacheRecord>("unused");
    state.record->etag = c.record_etag;
    state.record->lastModified = c.record_lm;
    EXPECT_EQ(ResourceChanged(state, AnswerValidators{c.answer_lm, c.answer_etag}), c.changed)
        << c.record_etag << "|" << c.record_lm << "|" << c.answer_etag << "|" << c.answer_lm;
  }
}

TEST(DefaultSetupDir, RememberedPerSetupUrlAndAgency) {
  ScopedTempRedirect temp;
  const std::string url = "http://dl.example.org/uploads/online_setup.txt";
  EXPECT_EQ(ReadDefaultSetupDir(url, "A1"), "");
  WriteDefaultSetupDir(url, "A1", "D:\\Games\\牌桌\\");
  WriteDefaultSetupDir(url, "B2", "E:\\Other\\");
  EXPECT_EQ(ReadDefaultSetupDir(url, "A1"), "D:\\Games\\牌桌\\");
  EXPECT_EQ(ReadDefaultSetupDir(url, "B2"), "E:\\Other\\");
  EXPECT_NE(ReadFileBytes(CacheFileFor(url, "A1")).find("[Config]\r\nDefSetDir=D:\\Games\\"),
            std::string::npos);
}
