#include "net/resume_cache.h"

#include <shlwapi.h>

#include <vector>

#include "core/gbk_text.h"
#include "core/path_join.h"
#include "system/profile_file.h"
#include "net/download_verify.h"

namespace {

constexpr int kValueBufferBytes = 512;
constexpr char kConfigSection[] = "Config";
constexpr char kDefaultSetupDirKey[] = "DefSetDir";

// A record's keys, in the order they are written; each is text or a number.
struct RecordKey {
  const char* name;
  std::string CacheRecord::*text;
  int CacheRecord::*number;
};
constexpr RecordKey kRecordKeys[] = {
    {"resurl_lastmodified", &CacheRecord::lastModified, nullptr},
    {"resurl_etag", &CacheRecord::etag, nullptr},
    {"resurl_bytetotalsize", nullptr, &CacheRecord::totalSize},
    {"dstfile_path", &CacheRecord::localPath, nullptr},
    {"dstfile_md5", &CacheRecord::localMd5, nullptr},
    {"dstfile_size", nullptr, &CacheRecord::localSize},
};

std::string CacheFileForUrl(const std::string& url, const std::string& agency_key) {
  return CacheFilePath(UrlCacheKey(url), agency_key.c_str());
}

bool FolderExists(const std::string& path) { return ::PathFileExistsA(path.c_str()) != FALSE; }

// The section name of a URL: white space trimmed at both ends, lower-cased.
std::string CacheSectionName(const std::string& url) { return gbk::ToLower(gbk::Trim(url)); }

}  // namespace

std::string CacheFilePath(const std::string& host_key, const char* agency_key) {
  char temp[MAX_PATH + 1] = {};
  DWORD n = ::GetTempPathA(MAX_PATH, temp);
  // Without one, the installer's own folder (the current directory stays).
  std::string folder =
      (n == 0 || n > MAX_PATH) ? ModuleDirFromPath(GetModulePath()) : std::string(temp, n);
  if (folder.empty() || !FolderExists(folder)) return folder;

  folder = JoinPath(folder, host_key);  // unchanged without a host key
  if (!FolderExists(folder)) ::CreateDirectoryA(folder.c_str(), nullptr);
  if (!FolderExists(folder)) return folder;

  const bool agency = agency_key != nullptr && agency_key[0] != '\0';
  return JoinPath(folder, agency ? "cachefile_" + std::string(agency_key) + ".cfg"
                                 : std::string("cachefile.cfg"));
}

bool LoadCacheRecord(CacheRecord* record, const std::string& url) {
  ProfileFile file(record->cacheFile, kValueBufferBytes);
  CacheRecord loaded(record->cacheFile);
  loaded.section = CacheSectionName(url);
  bool any = false;
  for (const RecordKey& key : kRecordKeys) {
    if (key.text) {
      loaded.*key.text = file.ReadString(loaded.section.c_str(), key.name, "");
      any = any || !(loaded.*key.text).empty();
    } else {
      loaded.*key.number = file.ReadInt(loaded.section.c_str(), key.name, 0);
      any = any || loaded.*key.number != 0;
    }
  }
  if (any) *record = std::move(loaded);
  return any;
}

void SaveCacheRecord(CacheRecord* record, const KnownDigest* known) {
  UpdateFileDigest(record, known);
  ProfileFile file(record->cacheFile, kValueBufferBytes);
  const std::string section = CacheSectionName(record->section);
  for (const RecordKey& key : kRecordKeys) {
    const std::string value =
        key.text ? record->*key.text : gbk::Format("%d", record->*key.number);
    file.WriteString(section.c_str(), key.name, value.c_str());
  }
}

void ClearCacheRecord(const CacheRecord& record) {
  ProfileFile file(record.cacheFile, kValueBufferBytes);
  const std::string section = CacheSectionName(record.section);
  for (const RecordKey& key : kRecordKeys) file.WriteString(section.c_str(), key.name, "");
}

void ClearCacheRecordOf(const std::string& url, const std::string& agency_key) {
  const std::string cache_file = CacheFileForUrl(url, agency_key);
  if (cache_file.empty()) return;
  CacheRecord record(cache_file);
  record.section = url;
  ClearCacheRecord(record);
}

bool OpenResumeState(const std::string& url, const std::string& local_path,
                     const std::string& agency_key, ResumeState* state) {
  state->record.reset();
  state->usable = false;
  const std::string cache_file = CacheFileForUrl(url, agency_key);
  if (cache_file.empty()) return false;

  auto record = std::make_unique<CacheRecord>(cache_file);
  LoadCacheRecord(record.get(), url);
  const bool same_path =
      local_path.empty() || gbk::EqualsIgnoreCase(local_path, record->localPath);
  // A run that ended between two checkpoints left more bytes than its last
  // record vouches for: back to the recorded part, if that still matches.
  if (same_path) TrimToRecord(*record);
  if (!IsCacheRecordValid(*record)) return false;

  if (!same_path) {
    ClearCacheRecord(*record);
    return false;
  }
  state->record = std::move(record);
  state->usable = true;
  return true;
}

std::string BuildRequestHeaders(const ResumeState& state) {
  const CacheRecord* r = state.record.get();
  if (!state.usable || r == nullptr) return ResumeRequestHeaders(0, 0, "", "");
  return ResumeRequestHeaders(r->localSize, r->totalSize, r->etag, r->lastModified);
}

std::string QueryHeaderText(HINTERNET request, DWORD level, bool remove_quotes) {
  DWORD length = 0;
  if (::HttpQueryInfoA(request, level, nullptr, &length, nullptr) ||
      ::GetLastError() != ERROR_INSUFFICIENT_BUFFER || length == 0)
    return std::string();
  std::vector<char> buffer(length + 1, '\0');
  DWORD got = length + 1;
  if (!::HttpQueryInfoA(request, level, buffer.data(), &got, nullptr) || got == 0)
    return std::string();
  buffer[length] = '\0';  // the text ends at its first NUL at the latest here
  std::string text(buffer.data());
  return remove_quotes ? RemoveQuotes(std::move(text)) : text;
}

AnswerValidators QueryValidators(HINTERNET request) {
  return {QueryHeaderText(request, HTTP_QUERY_LAST_MODIFIED, false),
          QueryHeaderText(request, HTTP_QUERY_ETAG, true)};
}

bool ResourceChanged(const ResumeState& state, const AnswerValidators& answer) {
  if (!state.usable || !state.record) return true;
  const CacheRecord& r = *state.record;
  return ValidatorsDiffer(r.etag, r.lastModified, answer.etag, answer.lastModified);
}

void SaveNewCacheRecord(const std::string& url, const AnswerValidators& answer,
                        const std::string& local_path,
                        const std::string& agency_key, DWORD answer_length,
                        const KnownDigest* known) {
  CacheRecord record(CacheFileForUrl(url, agency_key));
  record.section = url;
  record.lastModified = answer.lastModified;
  record.etag = answer.etag;
  record.totalSize = static_cast<int>(answer_length);
  record.localPath = local_path;
  SaveCacheRecord(&record, known);
}

void RefreshCacheRecord(const AnswerValidators& answer, ResumeState* state,
                        const KnownDigest* known) {
  if (!state->usable || !state->record) return;
  state->record->lastModified = answer.lastModified;
  state->record->etag = answer.etag;
  SaveCacheRecord(state->record.get(), known);
}

std::string ReadDefaultSetupDir(const std::string& url, const std::string& agency_key) {
  ProfileFile file(CacheFileForUrl(url, agency_key), kValueBufferBytes);
  return file.ReadString(kConfigSection, kDefaultSetupDirKey, "");
}

void WriteDefaultSetupDir(const std::string& url, const std::string& agency_key,
                          const std::string& folder) {
  ProfileFile file(CacheFileForUrl(url, agency_key), kValueBufferBytes);
  file.WriteString(kConfigSection, kDefaultSetupDirKey, folder.c_str());
}
