// The resume cache: per-URL records in "cachefile_<agency>.cfg" / "cachefile.cfg"
// below a per-host folder of the temporary folder, and the remembered install
// folder "DefSetDir" in section "Config" of the same file.
//
// A record's section is the URL trimmed and lower-cased; its six keys are
// always written in the order resurl_lastmodified, resurl_etag,
// resurl_bytetotalsize, dstfile_path, dstfile_md5, dstfile_size. The file is
// read and written one key at a time through the profile functions.
#pragma once

#include <windows.h>
#include <wininet.h>

#include <cstdint>
#include <memory>
#include <string>

#include "core/header_text.h"
#include "core/url_cache_key.h"

// Where a download's resume cache file lives: a folder named after the URL's
// host below the user's temporary folder, one file per agency key.
// "<temp>\<host key>\cachefile_<agency key>.cfg", or "...\cachefile.cfg" when
// the agency key is null or empty. Creates the host folder (one level) when
// missing. When no folder can be found or made, the result is a folder path,
// in which no record is ever found and stores fail silently.
std::string CacheFilePath(const std::string& host_key, const char* agency_key);

// One URL's record, in memory.
class CacheRecord {
 public:
  explicit CacheRecord(std::string cache_file_path) : cacheFile(std::move(cache_file_path)) {}

  std::string cacheFile;     // the cache file this record belongs to
  std::string section;       // the URL (trimmed and lower-cased once loaded)
  std::string lastModified;  // resurl_lastmodified, as received
  std::string etag;          // resurl_etag, without double quotes
  int totalSize = 0;         // resurl_bytetotalsize: Content-Length when created
  std::string localPath;     // dstfile_path
  std::string localMd5;      // dstfile_md5: 32 lowercase hex digits or empty
  int localSize = 0;         // dstfile_size
};

// The resume information of one download attempt.
struct ResumeState {
  bool usable = false;
  std::unique_ptr<CacheRecord> record;
};

// Size and MD5 of a local file as the download that wrote it computed them,
// so storing a record need not read the file again.
struct KnownDigest {
  uint64_t size = 0;
  std::string md5;
};

// Reads the URL's six keys from record->cacheFile. When all are empty/0 the
// record is left unchanged and the result is false.
bool LoadCacheRecord(CacheRecord* record, const std::string& url);
// Refreshes the local size and MD5 from the local file (or takes them from
// `known`), then writes the six keys.
void SaveCacheRecord(CacheRecord* record, const KnownDigest* known = nullptr);
// Writes the empty text to the six keys (the section stays, and loads as absent).
void ClearCacheRecord(const CacheRecord& record);
// The same for the URL's record in the cache file of `agency_key`.
void ClearCacheRecordOf(const std::string& url, const std::string& agency_key);

// Finds a valid record for the URL. A record for another local path (when
// `local_path` is not empty; compared ignoring case) is cleared and not used.
bool OpenResumeState(const std::string& url, const std::string& local_path,
                     const std::string& agency_key, ResumeState* state);

// ResumeRequestHeaders (core/header_text.h) for the state's record when it is
// usable; "Accept: */*\r\n" alone otherwise.
std::string BuildRequestHeaders(const ResumeState& state);

// A response header (level 11 Last-Modified, 54 ETag...) as text; empty when
// absent. `remove_quotes` deletes every double-quote character.
std::string QueryHeaderText(HINTERNET request, DWORD level, bool remove_quotes);

// An answer's validators, read once when it arrives: the body's reads may
// then use the request on a thread of their own while records are stored.
struct AnswerValidators {
  std::string lastModified;
  std::string etag;  // without its quotes
};
AnswerValidators QueryValidators(HINTERNET request);
// ValidatorsDiffer (core/header_text.h) for the record's validators and the
// answer's; true without a usable record.
bool ResourceChanged(const ResumeState& state, const AnswerValidators& answer);

// Stores a new record for a download that had no resume state.
void SaveNewCacheRecord(const std::string& url, const AnswerValidators& answer,
                        const std::string& local_path,
                        const std::string& agency_key, DWORD answer_length,
                        const KnownDigest* known = nullptr);
// Takes the answer's validators into the state's record and stores it; the
// total size is the record's (the caller sets it when an answer was whole).
void RefreshCacheRecord(const AnswerValidators& answer, ResumeState* state,
                        const KnownDigest* known = nullptr);

// The remembered install folder for the setup description's URL and agency key.
std::string ReadDefaultSetupDir(const std::string& url, const std::string& agency_key);
void WriteDefaultSetupDir(const std::string& url, const std::string& agency_key,
                          const std::string& folder);
