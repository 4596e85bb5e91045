// The steps of one download attempt before its body: the session, the
// request, the answer's status and headers, the target file. Each returns
// nothing or one failure record; what the failure means is decided once,
// by Download::Settle.
#include <windows.h>

#include <mmsystem.h>
#include <wininet.h>

#include <cstdio>
#include <string>

#include "core/download_math.h"
#include "core/signed_manifest.h"
#include "net/download_call.h"
#include "net/download_hooks.h"
#include "net/resume_cache.h"
#include "net/target_file.h"

namespace download_internal {

namespace {

// INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE:
// the bytes always come from the server, and WinINet keeps no copy of them.
constexpr DWORD kRequestFlags = 0x84000100;
constexpr DWORD kResponseTextBytes = 1000;

// Time-outs so that a dead connection ends as a failed call instead of
// blocking for ever. Set on the session (inherited by its requests) and again
// on the request, which some WinINet versions only honour there.
void SetTimeouts(HINTERNET handle) {
  DWORD connect = download_settings::ConnectTimeoutMs();
  DWORD receive = download_settings::ReceiveTimeoutMs();
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

}  // namespace

// Built right after the failure, so nothing else overwrites the error number
// or the server's text.
DownloadFailure Download::NetworkFailure(DownloadStep step, DWORD error) {
  DWORD number = error;
  char response[kResponseTextBytes] = {};
  DWORD length = sizeof response - 1;
  const bool have_text =
      ::InternetGetLastResponseInfoA(&number, response, &length) && response[0] != '\0';
  response[sizeof response - 1] = '\0';
  // The response query may overwrite the number with 0 when the server said
  // nothing; the failure's own code is the useful one then.
  if (number == 0) number = error;
  return DownloadFailure{step, number, 0, have_text ? std::string(response) : std::string()};
}

// A WinINet session with a fresh agent name.
DownloadResult Download::OpenSession(AttemptState* a) {
  DWORD connection = 0;
  ::InternetGetConnectedState(&connection, 0);
  char agent[64];
  std::snprintf(agent, sizeof agent, "Agent%ld", static_cast<long>(::timeGetTime()));
  const DWORD access = (connection & INTERNET_CONNECTION_PROXY)
                           ? INTERNET_OPEN_TYPE_PRECONFIG
                           : INTERNET_OPEN_TYPE_PRECONFIG_WITH_NO_AUTOPROXY;
  a->session.reset(download_settings::OpenInternet(agent, access));
  if (!a->session) return DownloadFailure{DownloadStep::kSession, ::GetLastError()};
  SetTimeouts(a->session.get());
  return {};
}

DownloadResult Download::OpenRequest(AttemptState* a) {
  a->request.reset(::InternetOpenUrlA(a->session.get(), url_.c_str(), headers_.c_str(),
                                      static_cast<DWORD>(headers_.size()), kRequestFlags, 0));
  if (!a->request) return NetworkFailure(DownloadStep::kConnect, ::GetLastError());
  SetTimeouts(a->request.get());
  return {};
}

// The status of the answer, and whether the copy on disk is already whole.
DownloadResult Download::CheckAnswer(AttemptState* a) {
  // An error status is a failed request, never content for the file.
  a->status = QueryNumber(a->request.get(), HTTP_QUERY_STATUS_CODE);
  if (a->status >= 400) {
    if (a->status == 416 && a->asked_range) {
      // The stored part no longer fits the resource: start over without it.
      ClearCacheRecord(*a->state.record);
      skip_record_once_ = true;
      return DownloadFailure{DownloadStep::kStaleRange, 0, a->status};
    }
    // "Try again later": after the back-off, or when the server says.
    if (IsRetriableStatus(a->status))
      retry_after_ms_ =
          RetryAfterMs(QueryHeaderText(a->request.get(), HTTP_QUERY_RETRY_AFTER, false),
                       QueryHeaderText(a->request.get(), HTTP_QUERY_DATE, false));
    return DownloadFailure{DownloadStep::kStatus, 0, a->status};
  }
  a->validators = QueryValidators(a->request.get());
  const bool changed = !a->have_state || ResourceChanged(a->state, a->validators);
  if (a->have_state && !changed && a->state.record->localSize == a->state.record->totalSize) {
    a->complete = true;  // complete and current: nothing to transfer
    return {};
  }
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
    // More than the record and the package can describe: fetching it could
    // never end in a usable file.
    return DownloadFailure{DownloadStep::kTooLarge, 0, 0, std::to_string(before + length)};
  }
  a->length = static_cast<DWORD>(length);
  return {};
}

// Opens the file the body goes to: appended to when the answer continues
// it, rewritten when it is the whole resource.
DownloadResult Download::OpenTargetFile(AttemptState* a) {
  a->file = OpenTarget(target_, a->appending);
  if (!a->file) return DownloadFailure{DownloadStep::kOpenTarget, ::GetLastError(), 0, target_};
  if (a->appending && std::fseek(a->file.get(), 0, SEEK_END) == 0) {
    long end = std::ftell(a->file.get());
    a->offset = end > 0 ? static_cast<uint32_t>(end) : 0;
  }
  if (Stopped()) return DownloadFailure{DownloadStep::kStopped};

  const BodyPlan plan =
      PlanBody(a->appending, a->offset, a->status,
               QueryHeaderText(a->request.get(), HTTP_QUERY_CONTENT_RANGE, false));
  if (plan == BodyPlan::kRestartWithoutRange) {
    if (a->have_state) ClearCacheRecord(*a->state.record);
    if (!a->asked_range) return DownloadFailure{DownloadStep::kPartialAnswer, 0, a->status};
    skip_record_once_ = true;
    return DownloadFailure{DownloadStep::kStaleRange, 0, a->status};
  }
  // A whole body: the record's total becomes this answer's length.
  if (plan == BodyPlan::kFromScratch && a->have_state)
    a->state.record->totalSize = static_cast<int>(a->length);
  if (plan == BodyPlan::kFromScratch && a->appending) {
    // The server sent the whole resource: it replaces the file, never
    // follows what is already there.
    a->file.reset(OpenForRewrite(target_));
    a->offset = 0;
    if (!a->file) return DownloadFailure{DownloadStep::kOpenTarget, ::GetLastError(), 0, target_};
  }
  return {};
}

}  // namespace download_internal
