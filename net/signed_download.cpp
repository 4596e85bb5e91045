#include "net/signed_download.h"

#include <windows.h>
#include <wininet.h>

#include <algorithm>

#include "core/download_failure.h"
#include "core/gbk_text.h"
#include "core/manifest_signature.h"
#include "core/sha256.h"
#include "core/signed_release.h"
#include "net/download_file.h"
#include "net/download_verify.h"
#include "net/http_session.h"
#include "net/resume_cache.h"
#include "system/publisher_key.h"

namespace signed_download {
namespace {

constexpr size_t kMessageBytes = kMessageTextMax;  // the error text buffer, NUL aside
// A signature file is one line of 128 digits; anything much longer is not one.
constexpr size_t kMaxSignatureFileBytes = 256;
constexpr DWORD kDateTimeoutMs = 5000;
// INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE.
constexpr DWORD kDateRequestFlags = 0x84000100;

// The whole file when it holds at most `limit` bytes.
bool ReadSmallFile(const std::string& path, size_t limit, std::string* out) {
  int64_t length = -1;
  ScopedStdioFile f = OpenShared(path, &length);
  if (!f) return false;
  out->clear();
  auto take = [out](const char* data, size_t n) { out->append(data, n); };
  return length >= 0 && static_cast<uint64_t>(length) <= limit &&
         ReadInto(f.get(), static_cast<uint64_t>(length), take);
}

// Downloads the small text at `url` (no message box, no agency cache file)
// and reads it. Held in memory from here on: a copy on disk would only invite
// reuse.
bool FetchText(DownloadContext* client, const std::string& url, bool retry, size_t limit,
               std::string* text) {
  std::string path;
  const bool read =
      DownloadFile(nullptr, &path, client, url.c_str(), false, false, retry, false) == 0 &&
      ReadSmallFile(path, limit, text);
  if (!path.empty()) DiscardDownload(url, path, "");
  return read;
}

bool SignatureHolds(const std::string& url, const std::string& bytes, const std::string& sig_text) {
  uint8_t key[signature::kPublicKeyBytes];
  if (!signature::PublisherKey(key)) return false;
  ManifestSignature sig{};
  if (!ParseSignatureHex(sig_text, &sig)) return false;
  const std::string path = ServerPathOfUrl(url);
  if (path.empty()) return false;
  const Sha256Digest digest = SignedFileDigest(path, bytes);
  uint8_t d[signature::kDigestBytes];
  uint8_t s[signature::kSignatureBytes];
  std::copy(digest.begin(), digest.end(), d);
  std::copy(sig.begin(), sig.end(), s);
  return signature::VerifyP256(key, d, s) == signature::Verdict::kValid;
}

// Fetches the signature of the file at `url` and checks it over `bytes`.
bool CheckSignature(DownloadContext* client, const std::string& url, const std::string& bytes,
                    bool retry) {
  std::string sig_text;
  return FetchText(client, SiblingUrl(url, kSignatureSuffix), retry, kMaxSignatureFileBytes,
                   &sig_text) &&
         SignatureHolds(url, bytes, sig_text);
}

}  // namespace

bool IsKeyed() {
  uint8_t key[signature::kPublicKeyBytes];
  return signature::PublisherKey(key);
}

std::string VerificationFailedText(const std::string& url) {
  return gbk::FormatCut(kMessageBytes, "文件校验失败:%s", url.c_str());
}

void DiscardDownload(const std::string& url, const std::string& local_path,
                     const std::string& agency_key) {
  if (!local_path.empty()) ::DeleteFileA(local_path.c_str());
  if (!url.empty()) ClearCacheRecordOf(url, agency_key);
}

std::string VerifySignedText(DownloadContext* client, const std::string& url,
                             const std::string& local_path, bool retry,
                             const std::string& agency_key) {
  if (!IsKeyed()) return std::string();
  std::string bytes;
  if (ReadSmallFile(local_path, kMaxSignedTextBytes, &bytes) && CheckSignature(client, url, bytes, retry))
    return std::string();
  DiscardDownload(url, local_path, agency_key);
  return VerificationFailedText(url);
}

std::string FetchReleaseManifest(DownloadContext* client, const std::string& list_url,
                                 const std::string& list_path, SignedManifest* manifest,
                                 std::string* manifest_url) {
  *manifest_url = SiblingUrl(list_url, kManifestSuffix);
  if (!IsKeyed()) return std::string();
  std::string text;
  const bool fetched = FetchText(client, *manifest_url, true, kMaxSignedTextBytes, &text);
  SignedManifest parsed;
  if (!fetched || !CheckSignature(client, *manifest_url, text, true) ||
      !ParseSignedManifest(text, &parsed).ok()) {
    DiscardDownload(list_url, list_path, "");
    return VerificationFailedText(*manifest_url);
  }
  const ManifestFile* record = ManifestRecordForUrl(parsed, list_url);
  if (!record || !FileMatchesRecord(list_path, *record)) {
    DiscardDownload(list_url, list_path, "");
    return VerificationFailedText(list_url);
  }
  *manifest = std::move(parsed);
  return std::string();
}

// Its size first: a file of another size is not read.
bool FileMatchesRecord(const std::string& path, const ManifestFile& record) {
  int64_t length = -1;
  ScopedStdioFile f = OpenShared(path, &length);
  Sha256 hash;
  auto take = [&hash](const char* data, size_t n) { hash.Update(data, n); };
  return f && length >= 0 && static_cast<uint64_t>(length) == record.size &&
         ReadInto(f.get(), record.size, take) && hash.Final() == record.sha256;
}

ManifestDate LocalDate() {
  SYSTEMTIME t;
  ::GetLocalTime(&t);
  return ManifestDate{t.wYear, t.wMonth, t.wDay};
}

bool FetchServerDate(const std::string& url, ManifestDate* out) {
  ScopedInternetHandle session = OpenDirectSession(kDateTimeoutMs);
  if (!session) return false;
  ScopedInternetHandle request(::InternetOpenUrlA(session.get(), url.c_str(), "Accept: */*\r\n\r\n",
                                                  static_cast<DWORD>(-1), kDateRequestFlags, 0));
  if (!request) return false;
  char text[128] = {};
  DWORD size = sizeof text - 1;
  if (!::HttpQueryInfoA(request.get(), HTTP_QUERY_DATE, text, &size, nullptr)) return false;
  return ParseHttpDate(std::string(text, size), out);
}

}  // namespace signed_download
