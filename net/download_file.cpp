#include "net/download_file.h"

#include <windows.h>

#include <mmsystem.h>
#include <wininet.h>

#include <algorithm>
#include <atomic>
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <random>
#include <vector>

#include "system/setup_messages.h"
#include "net/download_client.h"
#include "core/gbk_text.h"
#include "core/signed_manifest.h"
#include "net/body_reader.h"
#include "net/digest_pipeline.h"
#include "net/download_hooks.h"
#include "net/download_verify.h"
#include "core/download_math.h"
#include "net/resume_cache.h"
#include "net/scoped_internet.h"
#include "system/scoped_handle.h"
#include "system/seams.h"

namespace {

// INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE:
// the bytes always come from the server, and WinINet keeps no copy of them.
constexpr DWORD kRequestFlags = 0x84000100;
// Reads gather in buffers of 1 MiB, each written, hashed and reported as one
// chunk: every write, hand-over and progress message costs a round trip
// through the platform, and large ones keep a loopback or LAN transfer near
// the speed of the digest (a quarter of the buffer measured about 15 % slower
// there). A slow line still writes and reports every kGatherMs. At most
// kDigestChunks of them (8 MiB, the one being read and the one being written
// among them) wait for the hashing threads, which smooths out the moments a
// digest thread waits for a core.
constexpr DWORD kTransferBufferBytes = 1 << 20;
constexpr size_t kDigestChunks = 8;
// Bytes gathered in the buffer are written out at the latest after this long,
// so progress and the checkpoints follow a slow line too.
constexpr DWORD kGatherMs = 250;
constexpr size_t kErrorTextBytes = 260;
constexpr DWORD kStopPollMs = 100;
constexpr DWORD kDefaultConnectTimeoutMs = 30000;
constexpr DWORD kDefaultReceiveTimeoutMs = 60000;
constexpr char kPlainHeaders[] = "Accept: */*\r\n\r\n";
// A record for what is on disk is stored at least this often while a transfer
// runs, so a run that ends without warning loses at most this much. Each one
// flushes the file and writes the record's keys (a few ms); the digest of the
// flushed bytes is taken by the hashing thread, never waited for.
constexpr uint64_t kDefaultCheckpointBytes = 32u << 20;
constexpr DWORD kDefaultCheckpointMs = 2000;
// A download nobody waits for gives up after this many attempts or this long.
constexpr int kOptionalAttempts = 4;
constexpr DWORD kOptionalBudgetMs = 60000;
// The attempts end within the budget above when the platform honours the
// receive time-out; this bounds the wait where it does not (Wine).
constexpr DWORD kDefaultOptionalDeadlineMs = kOptionalBudgetMs + 15000;
constexpr DWORD kOptionalPollMs = 50;
constexpr DWORD kOptionalStopGraceMs = 1000;
constexpr char kErrorCaption[] = "错误";
// Blocks of a signed file that fail their digest are fetched again at most
// this often in one call: a line or mirror that keeps sending wrong bytes
// must not hold the installation for ever.
constexpr int kMaxRefetches = 3;

std::atomic<download_hooks::InternetOpenFn> g_internet_open{&::InternetOpenA};
std::atomic<DWORD> g_connect_timeout_ms{kDefaultConnectTimeoutMs};
std::atomic<DWORD> g_optional_deadline_ms{kDefaultOptionalDeadlineMs};
std::atomic<DWORD> g_receive_timeout_ms{kDefaultReceiveTimeoutMs};
std::atomic<uint64_t> g_checkpoint_bytes{kDefaultCheckpointBytes};
std::atomic<DWORD> g_checkpoint_ms{kDefaultCheckpointMs};
std::atomic<uint32_t> g_checkpoint_count{0};
std::atomic<uint64_t> g_checkpoint_us{0};
std::atomic<decltype(download_hooks::FileOps::write)> g_write{nullptr};
std::atomic<decltype(download_hooks::FileOps::flush)> g_flush{nullptr};
std::atomic<decltype(download_hooks::FileOps::close)> g_close{nullptr};

enum class Outcome { kSuccess, kFailure, kRetry, kRestart };
enum class ErrorStep { kConnect, kRead };

// Time-outs so that a dead connection ends as a failed call instead of
// blocking for ever. Set on the session (inherited by its requests) and again
// on the request, which some WinINet versions only honour there.
void SetTimeouts(HINTERNET handle) {
  DWORD connect = g_connect_timeout_ms.load();
  DWORD receive = g_receive_timeout_ms.load();
  ::InternetSetOptionA(handle, INTERNET_OPTION_CONNECT_TIMEOUT, &connect, sizeof connect);
  ::InternetSetOptionA(handle, INTERNET_OPTION_SEND_TIMEOUT, &connect, sizeof connect);
  ::InternetSetOptionA(handle, INTERNET_OPTION_RECEIVE_TIMEOUT, &receive, sizeof receive);
  ::InternetSetOptionA(handle, INTERNET_OPTION_DATA_RECEIVE_TIMEOUT, &receive, sizeof receive);
}

DWORD QueryNumber(HINTERNET request, DWORD level) {
  DWORD value = 0;
  DWORD size = sizeof value;
  if (!::HttpQueryInfoA(request, level | HTTP_QUERY_FLAG_NUMBER, &value, &size, nullptr)) return 0;
  return value;
}

uint64_t FileSize(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return UINT64_MAX;
  return (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

bool CreateParentFolder(const std::string& path) {
  size_t sep = gbk::FindLastChar(path, '\\');
  if (sep == std::string::npos || sep == 0) return false;
  return ::CreateDirectoryA(path.substr(0, sep).c_str(), nullptr) != FALSE;
}

// Opens `path` to be written from its start, shared like a C runtime "wb"
// open. A "wb" open empties even a file it has just made, and Wine does that
// with a truncation; ext4 then writes the whole file out when it is closed
// (about 0.1 s for 256 MiB, spent after the last byte arrived). So the file
// is opened as it is and emptied only when it holds something.
FILE* OpenForRewrite(const std::string& path) {
  HANDLE h = ::CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return nullptr;
  LARGE_INTEGER size = {};
  const int fd = (::GetFileSizeEx(h, &size) && (size.QuadPart == 0 || ::SetEndOfFile(h)))
                     ? ::_open_osfhandle(reinterpret_cast<intptr_t>(h), _O_BINARY)
                     : -1;
  if (fd < 0) {
    ::CloseHandle(h);
    return nullptr;
  }
  FILE* file = ::_fdopen(fd, "wb");
  if (file == nullptr) ::_close(fd);  // closes the handle too
  return file;
}

FILE* OpenTargetOnce(const std::string& path, bool append) {
  return append ? ::fopen(path.c_str(), "ab") : OpenForRewrite(path);
}

// Opens the target; when that fails, creates its parent folder (one level)
// and tries once more.
ScopedStdioFile OpenTarget(const std::string& path, bool append) {
  ScopedStdioFile file(OpenTargetOnce(path, append));
  if (!file) {
    CreateParentFolder(path);
    file.reset(OpenTargetOnce(path, append));
  }
  return file;
}

// One DownloadFile call: its arguments and what outlives single attempts.
class Download {
 public:
  Download(DownloadClient* controller, const char* url, bool retry, bool use_agency_cache_file,
           int max_attempts)
      : c_(controller),
        url_(url ? url : ""),
        retry_(retry),
        maxAttempts_(max_attempts),
        startTick_(::GetTickCount()),
        agencyKey_(use_agency_cache_file ? controller->agencyIds.StandaloneAgencyID : ""),
        expected_(controller->expectedFile),
        rng_(::GetTickCount() ^ ::GetCurrentThreadId()) {}

  Outcome Run(const char* destination, bool absolute, std::string* result_path) {
    for (;;) {
      Outcome o = Attempt(destination, absolute, result_path);
      // A copy found complete through its record was not read by this call.
      if (o == Outcome::kSuccess && expected_ && !verified_) o = VerifyCopy();
      if (o == Outcome::kRestart) continue;
      if (o != Outcome::kRetry) return o;
      if (!BackOff()) return Outcome::kFailure;
    }
  }

  // The failure of the last attempt, kept in case no further one is made.
  void NoteRetry(std::string text) { pending_ = std::move(text); }

  const std::string& error() const { return error_; }

 private:
  bool Stopped() const { return c_->stopRequest.load(); }
  // A download nobody waits for (its caller reports what went wrong).
  bool Optional() const { return maxAttempts_ > 0; }

  // Waits before the next try; the stop request is looked at every 100 ms.
  // False when the stop came meanwhile.
  bool BackOff() {
    ++failures_;
    ++attempts_;
    if (maxAttempts_ > 0 &&
        (attempts_ >= maxAttempts_ || ::GetTickCount() - startTick_ >= kOptionalBudgetMs)) {
      error_ = pending_;  // given up: the last failure is the call's
      return false;
    }
    std::uniform_real_distribution<double> jitter(0.0, 1.0);
    DWORD left = RetryDelayMs(failures_, jitter(rng_), retryAfterMs_);
    retryAfterMs_ = -1;
    while (left > 0) {
      if (Stopped()) return false;
      DWORD slice = std::min(left, kStopPollMs);
      seams::SleepMs(slice);
      left -= slice;
    }
    return !Stopped();
  }

  // The error text of a failed request or read; built right after the failure
  // so nothing else overwrites the error number or the server's text.
  std::string NetworkErrorText(ErrorStep step, DWORD error) const {
    DWORD number = error;
    char response[1000] = {};
    DWORD length = sizeof response - 1;
    const bool have_text = ::InternetGetLastResponseInfoA(&number, response, &length) &&
                           response[0] != '\0';
    response[sizeof response - 1] = '\0';
    // The response query may overwrite the number with 0 when the server said
    // nothing; the failure's own code is the useful one then.
    if (number == 0) number = error;
    if (step == ErrorStep::kConnect) {
      return have_text
                 ? gbk::FormatCut(kErrorTextBytes, "网络连接错误:%s, 请检测网络是否正常！\n下载失败:%s",
                                  response, url_.c_str())
                 : gbk::FormatCut(kErrorTextBytes, "网络连接错误:%d, 请检测网络是否正常！\n下载失败:%s",
                                  static_cast<int>(number), url_.c_str());
    }
    return have_text ? gbk::FormatCut(kErrorTextBytes, "网络错误:%s, 请检测网络是否正常！\n下载失败:%s",
                                      response, url_.c_str())
                     : gbk::FormatCut(kErrorTextBytes, "网络错误:%d, 请检测网络是否正常！\n下载失败:%s",
                                      static_cast<int>(number), url_.c_str());
  }

  std::string TooLargeText(uint64_t bytes) const {
    return gbk::FormatCut(kErrorTextBytes, "文件过大:%s 字节, 超出了可下载的上限 %s 字节！\n下载失败:%s",
                          std::to_string(bytes).c_str(), std::to_string(kMaxDownloadBytes).c_str(),
                          url_.c_str());
  }

  std::string StatusErrorText(DWORD status) const {
    return gbk::FormatCut(kErrorTextBytes, "服务器错误:HTTP %lu, 请稍后重试！\n下载失败:%s",
                          static_cast<unsigned long>(status), url_.c_str());
  }

  // Picks the target and the resume record of this attempt. False (with the
  // error text set) when no temporary file could be made.
  bool ChooseTarget(const char* destination, bool absolute, bool use_record, ResumeState* state,
                    bool* have_state) {
    *have_state = false;
    if (destination != nullptr) {
      target_ = absolute ? std::string(destination)
                         : RelativeTarget(c_->installFolder, destination);
      if (use_record) *have_state = OpenResumeState(url_, target_, agencyKey_, state);
      return true;
    }
    if (use_record) *have_state = OpenResumeState(url_, std::string(), agencyKey_, state);
    // A record finds the temporary file of an earlier run; a later attempt of
    // this call keeps the file the first one made.
    if (*have_state) target_ = state->record->localPath;
    if (!target_.empty()) return true;
    char folder[MAX_PATH + 1] = {};
    DWORD n = ::GetTempPathA(MAX_PATH, folder);
    char file[MAX_PATH + 1] = {};
    if (n == 0 || n > MAX_PATH || ::GetTempFileNameA(folder, "wpk", 0, file) == 0) {
      error_ = "获取临时文件路径出错";
      return false;
    }
    target_ = file;
    return true;
  }

  // What one attempt holds once its request is open (closed in reverse order:
  // the file, then the request, then the session).
  struct AttemptState {
    ResumeState state;
    bool have_state = false;
    bool asked_range = false;
    bool appending = false;
    ScopedInternetHandle session;
    ScopedInternetHandle request;
    DWORD status = 0;
    DWORD length = 0;    // the answer's length, 0 when it gave none
    AnswerValidators validators;
    uint32_t offset = 0; // bytes already in the file before this answer
    ScopedStdioFile file;
  };

  // Stores what reached the disk so a later attempt or run can go on from it.
  // The digest hashed along the transfer is used when it covers exactly the
  // file on disk; otherwise the file is read again. The file is closed. True
  // when a block of a signed file failed its digest: the file was cut back to
  // that block's start, and the record vouches for the bytes before it.
  bool StoreResume(AttemptState* a, DigestPipeline* digest, bool digest_usable,
                   uint64_t expected_size) {
    KnownDigest known;
    const KnownDigest* use = nullptr;
    const bool hashed = digest->Finish(&known.md5, &known.size);
    const uint64_t bad = digest->BadBlockStart();
    if (bad != DigestPipeline::kNoBadBlock) {
      ++refetches_;
      if (bad == 0 || !CutFile(target_, bad)) {
        DeleteLocalCopy();
        return true;
      }
    } else if (hashed && digest_usable && known.size == expected_size &&
               FileSize(target_) == expected_size) {
      use = &known;
    }
    if (a->have_state)
      RefreshCacheRecord(a->validators, &a->state, use);
    else
      SaveNewCacheRecord(url_, a->validators, target_, agencyKey_, a->length, use);
    return bad != DigestPipeline::kNoBadBlock;
  }

  // The file and the record of a signed file that failed its check: nothing
  // of it may be resumed from.
  void DeleteLocalCopy() {
    ::DeleteFileA(target_.c_str());
    ClearCacheRecordOf(url_, agencyKey_);
  }

  // A signed file that cannot be had: the call fails, and keeps nothing.
  Outcome Reject() {
    DeleteLocalCopy();
    // An optional file's caller tells a refused copy from an unreachable one by it.
    error_ = gbk::FormatCut(kErrorTextBytes, "安装包校验失败:%s", url_.c_str());
    return Outcome::kFailure;
  }

  // A finished file that is not the signed one. A part kept from before this
  // answer may be what is wrong: once, all of it is fetched again from 0.
  Outcome Mismatch(bool had_prefix) {
    if (!had_prefix || restartedWhole_) return Reject();
    restartedWhole_ = true;
    DeleteLocalCopy();
    skipRecordOnce_ = true;
    return Outcome::kRestart;
  }

  Outcome VerifyCopy() {
    if (MatchesManifestFile(target_, *expected_)) {
      verified_ = true;
      return Outcome::kSuccess;
    }
    return Mismatch(true);
  }

  // Closes the file; false when the last bytes could not be written out.
  static bool CloseChecked(ScopedStdioFile* file) {
    FILE* f = file->release();
    return f == nullptr || download_hooks::CloseFile(f) == 0;
  }

  // Stores a record for the bytes of the latest checkpoint once the digest
  // thread has reached them (it never holds the transfer up for that).
  void StoreCheckpoint(AttemptState* a, DigestPipeline* digest) {
    KnownDigest known;
    if (!digest->TakeMark(&known.md5, &known.size)) return;
    LARGE_INTEGER t0, t1, freq;
    ::QueryPerformanceCounter(&t0);
    // The file only grows during the transfer, and its first known.size bytes
    // were flushed before the mark: the record vouches for them alone. A
    // longer file is cut back to them by the next run.
    if (a->have_state)
      RefreshCacheRecord(a->validators, &a->state, &known);
    else
      SaveNewCacheRecord(url_, a->validators, target_, agencyKey_, a->length, &known);
    ::QueryPerformanceCounter(&t1);
    ::QueryPerformanceFrequency(&freq);
    ++g_checkpoint_count;
    g_checkpoint_us += static_cast<uint64_t>((t1.QuadPart - t0.QuadPart) * 1000000 / freq.QuadPart);
  }

  using Step = std::optional<Outcome>;  // empty: go on with the next step

  // A signed file: a copy on disk that already is the file needs nothing
  // from the network. A resumed part keeps only the whole blocks that match
  // their digests (without block digests, the final check covers it).
  Step CheckLocalCopy(AttemptState* a) {
    if (!checkedOnDisk_) {
      checkedOnDisk_ = true;
      if (MatchesManifestFile(target_, *expected_)) {
        verified_ = true;
        return Outcome::kSuccess;
      }
    }
    if (!a->have_state) return std::nullopt;
    CacheRecord* record = a->state.record.get();
    const uint64_t local = static_cast<uint64_t>(record->localSize);
    KnownDigest kept;
    if (local < expected_->size && expected_->blockSize != 0) {
      VerifiedPrefix v = VerifyPrefixBlocks(target_, local, *expected_);
      if (v.length < VerifiedResumeOffset(local, expected_->size, expected_->blockSize))
        ++refetches_;  // a block failed, not only a partial one left off
      kept.size = v.length;
      kept.md5 = v.md5;
    } else if (local < expected_->size) {
      kept.size = local;
    }
    // Longer than the file, or all of it and still not the file: from 0.
    if (kept.size == local) return std::nullopt;
    if (kept.size == 0 || !CutFile(target_, kept.size)) {
      ClearCacheRecord(*record);
      a->have_state = false;
      return std::nullopt;
    }
    SaveCacheRecord(record, &kept);
    return std::nullopt;
  }

  Outcome Attempt(const char* destination, bool absolute, std::string* result_path) {
    if (expected_ && refetches_ > kMaxRefetches) return Reject();
    const bool use_record = !skipRecordOnce_;
    skipRecordOnce_ = false;
    AttemptState a;
    if (!ChooseTarget(destination, absolute, use_record, &a.state, &a.have_state))
      return Outcome::kFailure;
    if (result_path) *result_path = target_;
    if (expected_) {
      if (Step s = CheckLocalCopy(&a)) return *s;
    }
    const std::string headers = a.have_state ? BuildRequestHeaders(a.state) : kPlainHeaders;
    a.asked_range = headers.find("Range:") != std::string::npos;
    if (Step s = OpenSession(&a)) return *s;
    if (Step s = OpenRequest(headers, &a)) return *s;
    if (Step s = CheckAnswer(&a)) return *s;
    if (Step s = OpenTargetFile(&a)) return *s;
    return Transfer(&a);
  }

  // A WinINet session with a fresh agent name.
  Step OpenSession(AttemptState* a) {
    for (;;) {
      if (Stopped()) return Outcome::kFailure;
      DWORD connection = 0;
      ::InternetGetConnectedState(&connection, 0);
      char agent[64];
      std::snprintf(agent, sizeof agent, "Agent%ld", static_cast<long>(::timeGetTime()));
      const DWORD access = (connection & INTERNET_CONNECTION_PROXY)
                               ? INTERNET_OPEN_TYPE_PRECONFIG
                               : INTERNET_OPEN_TYPE_PRECONFIG_WITH_NO_AUTOPROXY;
      a->session.reset(g_internet_open.load()(agent, access, nullptr, nullptr, 0));
      if (a->session) break;
      const DWORD error = ::GetLastError();
      NoteRetry(gbk::FormatCut(kErrorTextBytes, "网络错误:%d, 请检测网络是否正常！",
                               static_cast<int>(error)));
      if (!retry_) {
        error_ = pending_;
        return Outcome::kFailure;
      }
      if (!BackOff()) return Outcome::kFailure;
    }
    SetTimeouts(a->session.get());
    return std::nullopt;
  }

  // Sends the request; a connection that fails is tried again after a pause.
  Step OpenRequest(const std::string& headers, AttemptState* a) {
    for (;;) {
      if (Stopped()) return Outcome::kFailure;
      a->request.reset(::InternetOpenUrlA(a->session.get(), url_.c_str(), headers.c_str(),
                                          static_cast<DWORD>(headers.size()), kRequestFlags, 0));
      if (a->request) break;
      const DWORD error = ::GetLastError();
      if (IsCertificateError(error)) {
        // Another attempt meets the same certificate: say so and stop.
        error_ = gbk::FormatCut(kErrorTextBytes,
                                "安全证书错误:%d, 服务器的证书不受信任或与网址不符！\n下载失败:%s",
                                static_cast<int>(error), url_.c_str());
        return Outcome::kFailure;
      }
      NoteRetry(NetworkErrorText(ErrorStep::kConnect, error));
      if (!retry_) {
        error_ = pending_;
        return Outcome::kFailure;
      }
      if (!BackOff()) return Outcome::kFailure;
    }
    SetTimeouts(a->request.get());
    return std::nullopt;
  }

  // The status of the answer, and whether the copy on disk is already whole.
  Step CheckAnswer(AttemptState* a) {
    // An error status is a failed request, never content for the file.
    a->status = QueryNumber(a->request.get(), HTTP_QUERY_STATUS_CODE);
    if (a->status >= 400) {
      if (a->status == 416 && a->asked_range) {
        // The stored part no longer fits the resource: start over without it.
        ClearCacheRecord(*a->state.record);
        skipRecordOnce_ = true;
        return Outcome::kRestart;
      }
      if (IsRetriableStatus(a->status) && retry_) {
        // "Try again later": after the back-off, or when the server says.
        retryAfterMs_ =
            RetryAfterMs(QueryHeaderText(a->request.get(), HTTP_QUERY_RETRY_AFTER, false),
                         QueryHeaderText(a->request.get(), HTTP_QUERY_DATE, false));
        return RetryOrFail(StatusErrorText(a->status));
      }
      error_ = StatusErrorText(a->status);
      return Outcome::kFailure;
    }
    a->validators = QueryValidators(a->request.get());
    const bool changed = !a->have_state || ResourceChanged(a->state, a->validators);
    if (a->have_state && !changed && a->state.record->localSize == a->state.record->totalSize)
      return Outcome::kSuccess;  // complete and current: nothing to transfer
    a->appending = a->have_state && !changed;
    // The length is read as text: a number query would wrap above 4 GiB.
    uint64_t length = 0;
    ParseContentLength(QueryHeaderText(a->request.get(), HTTP_QUERY_CONTENT_LENGTH, false), &length);
    const uint64_t before =
        a->appending && a->status == 206 ? static_cast<uint64_t>(a->state.record->localSize) : 0;
    if (expected_) {
      // A signed file ends at its size, whatever the answer announces.
      const uint64_t rest = expected_->size > before ? expected_->size - before : 0;
      if (length == 0 || length > rest) length = rest;
    }
    if (!FitsDownloadLimit(before, length)) {
      // More than the record and the package can describe: fetching it
      // could never end in a usable file.
      error_ = TooLargeText(before + length);
      return Outcome::kFailure;
    }
    a->length = static_cast<DWORD>(length);
    return std::nullopt;
  }

  // Opens the file the body goes to: appended to when the answer continues
  // it, rewritten when it is the whole resource.
  Step OpenTargetFile(AttemptState* a) {
    a->file = OpenTarget(target_, a->appending);
    if (!a->file) {
      error_ = gbk::FormatCut(kErrorTextBytes, "无法写入文件:%s", target_.c_str());
      return Outcome::kFailure;
    }
    if (a->appending && std::fseek(a->file.get(), 0, SEEK_END) == 0) {
      long end = std::ftell(a->file.get());
      a->offset = end > 0 ? static_cast<uint32_t>(end) : 0;
    }
    if (Stopped()) return Outcome::kFailure;

    const BodyPlan plan =
        PlanBody(a->appending, a->offset, a->status,
                 QueryHeaderText(a->request.get(), HTTP_QUERY_CONTENT_RANGE, false));
    if (plan == BodyPlan::kRestartWithoutRange) {
      if (a->have_state) ClearCacheRecord(*a->state.record);
      if (a->asked_range) {
        skipRecordOnce_ = true;
        return Outcome::kRestart;
      }
      return RetryOrFail(StatusErrorText(a->status));
    }
    // A whole body: the record's total becomes this answer's length.
    if (plan == BodyPlan::kFromScratch && a->have_state)
      a->state.record->totalSize = static_cast<int>(a->length);
    if (plan == BodyPlan::kFromScratch && a->appending) {
      // The server sent the whole resource: it replaces the file, never
      // follows what is already there.
      a->file.reset(OpenForRewrite(target_));
      a->offset = 0;
      if (!a->file) {
        error_ = gbk::FormatCut(kErrorTextBytes, "无法写入文件:%s", target_.c_str());
        return Outcome::kFailure;
      }
    }
    return std::nullopt;
  }

  // Moves the body into the file. Reads take what has arrived and gather in
  // one buffer; a full buffer, or one that has waited kGatherMs (a slow
  // line), is written, handed to the digest and reported as one chunk, while
  // the next read already runs: the line and the disk work side by side.
  Outcome Transfer(AttemptState* a) {
    DigestPipeline digest(kTransferBufferBytes, kDigestChunks, target_, a->offset, expected_);
    uint32_t written = 0;
    uint32_t received = 0;
    uint32_t received_at_report = 0;
    DWORD report_tick = ::GetTickCount();
    ReadSizer sizer;
    uint64_t checkpoint_bytes = a->offset;
    DWORD checkpoint_tick = report_tick;
    char* buffer = nullptr;  // being filled, `fill` bytes so far
    DWORD fill = 0;
    DWORD fill_tick = 0;
    char* ready = nullptr;  // gathered, written once the next read is under way
    DWORD ready_fill = 0;
    auto on_disk = [&] { return static_cast<uint64_t>(a->offset) + written; };
    auto disk_failure = [&] {
      // A full disk or a lost drive: the record tells what really reached it.
      for (char** b : {&buffer, &ready}) {
        if (*b) digest.Release(*b);
        *b = nullptr;
      }
      CloseChecked(&a->file);
      StoreResume(a, &digest, false, on_disk());
      error_ = gbk::FormatCut(kErrorTextBytes, "写入文件失败:%s, 请检查磁盘空间！",
                              target_.c_str());
      return Outcome::kFailure;
    };
    // Writes gathered bytes; false when the disk did not take them.
    auto write_chunk = [&](char** chunk, DWORD* size) {
      if (*chunk == nullptr) return true;
      if (*size == 0) {
        digest.Release(*chunk);
        *chunk = nullptr;
        return true;
      }
      if (download_hooks::WriteFile(*chunk, *size, a->file.get()) != *size) return false;
      digest.Submit(*chunk, *size);
      *chunk = nullptr;
      written += *size;
      *size = 0;
      const DWORD tick = ::GetTickCount();
      if (on_disk() - checkpoint_bytes >= g_checkpoint_bytes.load() ||
          tick - checkpoint_tick >= g_checkpoint_ms.load()) {
        // Flushed to the system first: a killed process loses nothing the
        // record will vouch for. (After a power loss, bytes the disk never
        // got fail the record's MD5 check: a restart, never a wrong file.)
        LARGE_INTEGER t0, t1, freq;
        ::QueryPerformanceCounter(&t0);
        if (download_hooks::FlushFile(a->file.get()) != 0) return false;
        digest.Mark();
        ::QueryPerformanceCounter(&t1);
        ::QueryPerformanceFrequency(&freq);
        g_checkpoint_us +=
            static_cast<uint64_t>((t1.QuadPart - t0.QuadPart) * 1000000 / freq.QuadPart);
        checkpoint_bytes = on_disk();
        checkpoint_tick = ::GetTickCount();
      }
      StoreCheckpoint(a, &digest);
      failures_ = 0;  // the connection works again: back-off starts over
      const int percent = DownloadPercent(a->length, a->offset, written);
      if (percent >= 0) PostProgress(c_->window, percent);
      return true;
    };
    auto write_buffer = [&] {
      return write_chunk(&ready, &ready_fill) && write_chunk(&buffer, &fill);
    };
    // The reads run on a thread of their own; one that the user's stop or a
    // slowed line leaves waiting is given up, with the buffer it writes into
    // and its handles, and what earlier reads gathered is kept.
    BodyReader reader(a->request.get());
    struct ReadInFlight {
      BodyReader* reader;
      DigestPipeline* digest;
      AttemptState* a;
      char* buffer = nullptr;  // set once the read in flight is given up
      ~ReadInFlight() {
        if (buffer)
          reader->GiveUp(digest->Forfeit(buffer), a->request.release(), a->session.release());
      }
    } in_flight{&reader, &digest, a};
    auto leave_read = [&] {
      char* left = buffer;
      buffer = digest.Acquire();
      std::memcpy(buffer, left, fill);
      in_flight.buffer = left;
    };
    for (;;) {
      if (Stopped()) {
        if (!write_buffer() || !CloseChecked(&a->file)) return disk_failure();
        StoreResume(a, &digest, true, on_disk());
        return Outcome::kFailure;
      }
      if (digest.BadBlockStart() != DigestPipeline::kNoBadBlock) {
        // Nothing more of this answer is worth having: the rest from that block on.
        for (char** b : {&buffer, &ready}) {
          if (*b) digest.Release(*b);
          *b = nullptr;
        }
        if (!CloseChecked(&a->file)) return disk_failure();
        StoreResume(a, &digest, true, on_disk());
        return Outcome::kRestart;
      }
      if (buffer == nullptr) {
        buffer = digest.Acquire();
        fill = 0;
        fill_tick = ::GetTickCount();
      }
      // What has arrived, but at least what the line brings in about a
      // quarter of a second, up to the buffer's free part: a slow line still
      // reports and sees a stop several times a second, a fast one fills the
      // buffer in few calls instead of one for every few KiB the platform holds.
      // A line that brings the whole request within that quarter second needs
      // no query: its answer could not make the request smaller.
      const DWORD want = kTransferBufferBytes - fill;
      const uint32_t speed_now = sizer.bytes_per_second();
      reader.Start(buffer + fill, want, speed_now / 4);
      const DWORD read_tick = ::GetTickCount();
      if (!write_chunk(&ready, &ready_fill)) {
        in_flight.buffer = buffer;  // the disk failed: the read is given up
        buffer = nullptr;
        return disk_failure();
      }
      BodyReader::Result result;
      while (!reader.Wait(kStopPollMs, &result)) {
        const bool stalled = ReadStalled(reader.asked(), speed_now, ::GetTickCount() - read_tick);
        if (!Stopped() && !stalled) continue;
        leave_read();
        if (!write_buffer() || !CloseChecked(&a->file)) return disk_failure();
        StoreResume(a, &digest, true, on_disk());
        if (Stopped()) return Outcome::kFailure;
        // The line slowed under a read sized for its earlier speed: go on
        // over a new request, whose reads follow the speed it has now.
        if (written > 0) return Outcome::kRestart;
        return RetryOrFail(NetworkErrorText(ErrorStep::kRead, ERROR_INTERNET_TIMEOUT));
      }
      const BOOL ok = result.ok;
      const DWORD n = result.bytes;
      DWORD read_error = result.error;
      // A read that fails may still report what it received (Wine does on a
      // reset): those bytes are kept, so the retry asks only for the rest.
      if (ok || n > 0) {
        received += n;
        const DWORD now = ::GetTickCount();
        if (n > 0) sizer.Add(received, now);
        long speed = 0;
        if (SpeedReportDue(received, received_at_report, now, report_tick, &speed)) {
          PostSpeed(c_->window, speed);
          report_tick = now;
          received_at_report = received;
        }
      }
      fill += n;
      if (!FitsDownloadLimit(on_disk(), fill)) {
        // An answer without a length that outgrows what a record can hold.
        digest.Release(buffer);
        buffer = nullptr;
        CloseChecked(&a->file);
        error_ = TooLargeText(on_disk() + fill);
        return Outcome::kFailure;
      }
      // A signed file ends at its size: nothing past it reaches the disk.
      const bool full = expected_ && on_disk() + fill >= expected_->size;
      if (full) fill = static_cast<DWORD>(expected_->size - on_disk());
      if (ok && n > 0 && !full) {
        if (fill == kTransferBufferBytes || ::GetTickCount() - fill_tick >= kGatherMs) {
          ready = buffer;
          ready_fill = fill;
          buffer = nullptr;
        }
        continue;
      }
      if (!write_buffer()) return disk_failure();
      if (full || (ok && (a->length == 0 || written >= a->length))) {
        if (!CloseChecked(&a->file)) return disk_failure();
        if (StoreResume(a, &digest, true, on_disk()))
          return Outcome::kRestart;
        if (!expected_) return Outcome::kSuccess;
        if (!digest.MatchesExpected()) return Mismatch(a->offset > 0);
        verified_ = true;
        return Outcome::kSuccess;
      }
      // A body that ends before its announced length is an interrupted
      // transfer, whatever the read said.
      if (ok) read_error = ERROR_INTERNET_CONNECTION_RESET;
      const std::string text = NetworkErrorText(ErrorStep::kRead, read_error);
      if (!CloseChecked(&a->file)) return disk_failure();
      StoreResume(a, &digest, true, on_disk());
      return RetryOrFail(text);
    }
  }

  // A failure a later attempt may mend: retried after the back-off when this
  // call retries, else the call ends with its text.
  Outcome RetryOrFail(const std::string& text) {
    if (!retry_) {
      error_ = text;
      return Outcome::kFailure;
    }
    NoteRetry(text);
    PostSpeed(c_->window, 0);
    return Outcome::kRetry;
  }

  DownloadClient* c_;
  const std::string url_;
  const bool retry_;
  const int maxAttempts_;  // 0: no limit
  const DWORD startTick_;
  const std::string agencyKey_;
  const ManifestFile* const expected_;  // the signed record the file is held to, or null
  std::minstd_rand rng_;
  std::string target_;
  std::string error_;
  int failures_ = 0;
  int attempts_ = 0;
  std::string pending_;
  bool skipRecordOnce_ = false;
  int64_t retryAfterMs_ = -1;  // what the last retried answer asked to wait, -1: nothing
  int refetches_ = 0;           // blocks of a signed file fetched again
  bool restartedWhole_ = false; // a signed file failed once and was fetched again from 0
  bool checkedOnDisk_ = false;  // the target was compared with the signed file
  bool verified_ = false;       // the file on disk is the signed one
};

}  // namespace

namespace download_hooks {

InternetOpenFn SetInternetOpenForTesting(InternetOpenFn fn) {
  return g_internet_open.exchange(fn ? fn : &::InternetOpenA);
}

void SetTimeoutsForTesting(DWORD connect_ms, DWORD receive_ms) {
  g_connect_timeout_ms = connect_ms ? connect_ms : kDefaultConnectTimeoutMs;
  g_receive_timeout_ms = receive_ms ? receive_ms : kDefaultReceiveTimeoutMs;
}

void SetOptionalDeadlineForTesting(DWORD ms) {
  g_optional_deadline_ms = ms ? ms : kDefaultOptionalDeadlineMs;
}

void SetCheckpointForTesting(uint64_t bytes, DWORD ms) {
  g_checkpoint_bytes = bytes ? bytes : kDefaultCheckpointBytes;
  g_checkpoint_ms = ms ? ms : kDefaultCheckpointMs;
}

CheckpointStats TakeCheckpointStats() {
  return CheckpointStats{g_checkpoint_count.exchange(0), g_checkpoint_us.exchange(0)};
}

FileOps SetFileOpsForTesting(FileOps ops) {
  FileOps previous;
  previous.write = g_write.exchange(ops.write);
  previous.flush = g_flush.exchange(ops.flush);
  previous.close = g_close.exchange(ops.close);
  return previous;
}

size_t WriteFile(const void* data, size_t n, FILE* f) {
  auto fn = g_write.load();
  return fn ? fn(data, n, f) : std::fwrite(data, 1, n, f);
}
int FlushFile(FILE* f) {
  auto fn = g_flush.load();
  return fn ? fn(f) : std::fflush(f);
}
int CloseFile(FILE* f) {
  auto fn = g_close.load();
  return fn ? fn(f) : std::fclose(f);
}

}  // namespace download_hooks

namespace {

int RunDownloadCall(const char* destination, std::string* result_path, DownloadClient* controller,
                    const char* url, bool destination_is_absolute, bool report_errors,
                    bool retry, bool use_agency_cache_file, int max_attempts) {
  std::memset(controller->errorText, 0, sizeof controller->errorText);
  PostProgress(controller->window, 0);

  Download download(controller, url, retry, use_agency_cache_file, max_attempts);
  const Outcome outcome = download.Run(destination, destination_is_absolute, result_path);

  int result = 0;
  if (outcome == Outcome::kSuccess) {
    PostProgress(controller->window, 100);
  } else {
    gbk::CopyToBuffer(controller->errorText, sizeof controller->errorText, download.error());
    if (report_errors) {
      if (controller->errorText[0] != '\0')
        seams::ShowMessageBox(controller->window, controller->errorText, kErrorCaption, MB_OK);
      PostState(controller->window, SETUP_STATE_ERROR);
      result = 1;
    } else {
      result = -1;
    }
  }
  PostSpeed(controller->window, 0);
  return result;
}

}  // namespace

int DownloadFile(const char* destination, std::string* result_path, DownloadClient* controller,
                 const char* url, bool destination_is_absolute, bool report_errors,
                 bool retry_until_done, bool use_agency_cache_file) {
  return RunDownloadCall(destination, result_path, controller, url, destination_is_absolute,
                         report_errors, retry_until_done, use_agency_cache_file, 0);
}

namespace {

// One optional download on a thread of its own. Under Wine a stalled
// connection blocks InternetReadFile past every time-out and past closed
// handles, so the caller may have to leave the thread behind. The thread
// therefore works on its own copy of the client, without the window: nothing
// it does after being left behind can reach the caller or the window. Its file
// and record stay in their usual places, and a stopped transfer resumes later.
struct OptionalCall {
  DownloadClient client;
  std::optional<ManifestFile> expected;  // the caller's record may be gone when this ends
  std::string destination;
  std::string url;
  std::string result_path;
  bool destination_is_absolute = false;
  bool use_agency_cache_file = false;
  int result = -1;
};

DWORD WINAPI RunOptionalCall(LPVOID param) {
  std::unique_ptr<std::shared_ptr<OptionalCall>> owner(
      static_cast<std::shared_ptr<OptionalCall>*>(param));
  OptionalCall& call = **owner;
  call.result = RunDownloadCall(call.destination.c_str(), &call.result_path, &call.client,
                                call.url.c_str(), call.destination_is_absolute, false, true,
                                call.use_agency_cache_file, kOptionalAttempts);
  return 0;
}

}  // namespace

int DownloadOptionalFile(const char* destination, std::string* result_path,
                         DownloadClient* controller, const char* url, bool destination_is_absolute,
                         bool use_agency_cache_file) {
  auto call = std::make_shared<OptionalCall>();
  std::memcpy(call->client.installFolder, controller->installFolder,
              sizeof call->client.installFolder);
  call->client.agencyIds = controller->agencyIds;
  if (controller->expectedFile) {
    call->expected = *controller->expectedFile;
    call->client.expectedFile = &*call->expected;
  }
  call->destination = destination;
  call->url = url;
  call->destination_is_absolute = destination_is_absolute;
  call->use_agency_cache_file = use_agency_cache_file;
  std::memset(controller->errorText, 0, sizeof controller->errorText);

  auto* param = new std::shared_ptr<OptionalCall>(call);
  ScopedKernelHandle thread(::CreateThread(nullptr, 0, &RunOptionalCall, param, 0, nullptr));
  if (!thread) {
    delete param;
    return RunDownloadCall(destination, result_path, controller, url, destination_is_absolute,
                           false, true, use_agency_cache_file, kOptionalAttempts);
  }
  const DWORD start = ::GetTickCount();
  DWORD deadline = g_optional_deadline_ms.load();
  while (::WaitForSingleObject(thread.get(), kOptionalPollMs) == WAIT_TIMEOUT) {
    if (controller->StopRequested() && !call->client.StopRequested()) {
      // A stop is not held up by a blocked read either: a short grace, then go.
      call->client.RequestStop();
      deadline = std::min(deadline, ::GetTickCount() - start + kOptionalStopGraceMs);
    }
    if (::GetTickCount() - start >= deadline) {
      // Left behind: it stops at its next chance and touches nothing of ours.
      call->client.RequestStop();
      gbk::CopyToBuffer(controller->errorText, sizeof controller->errorText,
                        gbk::FormatCut(kErrorTextBytes, "网络超时, 请检测网络是否正常！\n下载失败:%s", url));
      PostSpeed(controller->window, 0);
      return -1;
    }
  }
  std::memcpy(controller->errorText, call->client.errorText, sizeof controller->errorText);
  if (result_path) *result_path = call->result_path;
  PostSpeed(controller->window, 0);
  return call->result;
}
