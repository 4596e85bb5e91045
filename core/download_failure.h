// Why a download attempt failed, as one record, and the one place that turns
// it into the text the user reads.
#pragma once

#include <string>

#include "core/buffer_limits.h"
#include "core/result.h"

enum class DownloadStep {
  kStopped,       // the user's stop: the call ends without a text
  kTempFile,      // no temporary file could be made
  kSession,       // the WinINet session did not open
  kConnect,       // the request could not be sent (win32_error; detail: the server's text)
  kStatus,        // an error status (http_status)
  kPartialAnswer, // a partial answer that cannot be used, to a plain request (http_status)
  kStaleRange,    // the stored part no longer fits the resource: ask again without it
  kTooLarge,      // beyond what a record can hold (detail: the bytes)
  kOpenTarget,    // the target file did not open (detail: its path)
  kRead,          // the body broke off (win32_error; detail: the server's text)
  kLineSlowed,    // a read given up on a slowed line after bytes came: go on at once
  kWrite,         // the disk did not take the bytes (detail: the path)
  kVerify,        // a signed file that is not what was signed
  kTimedOut,      // a download nobody waits for ran past its deadline
};

using DownloadFailure = Failure<DownloadStep>;
using DownloadResult = Result<DownloadStep>;

// The user's text for `failure` of the download of `url`, cut to fit the
// error text buffer on a whole GBK character.
std::string DownloadFailureText(const DownloadFailure& failure, const std::string& url);
