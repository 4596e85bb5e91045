// What a download keeps of itself on disk: the resume record after an
// attempt and at checkpoints, the copy of a signed file held to its record,
// and what is deleted when a signed file cannot be had.
#include <windows.h>

#include "core/signed_manifest.h"
#include "net/digest_pipeline.h"
#include "net/download_call.h"
#include "net/download_hooks.h"
#include "net/download_verify.h"
#include "net/resume_cache.h"
#include "net/signed_download.h"
#include "net/target_file.h"

namespace download_internal {

// Stores what reached the disk so a later attempt or run can go on from it.
// The digest hashed along the transfer is used when it covers exactly the
// file on disk; otherwise the file is read again. The file is closed. True
// when a block of a signed file failed its digest: the file was cut back to
// that block's start, and the record vouches for the bytes before it.
bool Download::StoreResume(AttemptState* a, DigestPipeline* digest, bool digest_usable,
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
             TargetFileSize(target_) == expected_size) {
    use = &known;
  }
  if (a->have_state)
    RefreshCacheRecord(a->validators, &a->state, use);
  else
    SaveNewCacheRecord(url_, a->validators, target_, agency_key_, a->length, use);
  return bad != DigestPipeline::kNoBadBlock;
}

// Stores a record for the bytes of the latest checkpoint once the digest
// thread has reached them (it never holds the transfer up for that).
void Download::StoreCheckpoint(AttemptState* a, DigestPipeline* digest) {
  KnownDigest known;
  if (!digest->TakeMark(&known.md5, &known.size)) return;
  LARGE_INTEGER t0;
  ::QueryPerformanceCounter(&t0);
  // The file only grows during the transfer, and its first known.size bytes
  // were flushed before the mark: the record vouches for them alone. A
  // longer file is cut back to them by the next run.
  if (a->have_state)
    RefreshCacheRecord(a->validators, &a->state, &known);
  else
    SaveNewCacheRecord(url_, a->validators, target_, agency_key_, a->length, &known);
  download_settings::CountCheckpoint(t0);
}

// The file and the record of a signed file that failed its check: nothing
// of it may be resumed from.
void Download::DeleteLocalCopy() {
  ::DeleteFileA(target_.c_str());
  ClearCacheRecordOf(url_, agency_key_);
}

// A signed file that cannot be had: the call fails, and keeps nothing. (An
// optional file's caller tells a refused copy from an unreachable one by
// its text.)
Outcome Download::Reject() {
  DeleteLocalCopy();
  return Settle(DownloadFailure{DownloadStep::kVerify});
}

// A finished file that is not the signed one. A part kept from before this
// answer may be what is wrong: once, all of it is fetched again from 0.
Outcome Download::Mismatch(bool had_prefix) {
  if (!had_prefix || restarted_whole_) return Reject();
  restarted_whole_ = true;
  DeleteLocalCopy();
  skip_record_once_ = true;
  return Outcome::kRestart;
}

Outcome Download::VerifyCopy() {
  verified_ = signed_download::FileMatchesRecord(target_, *expected_);
  return verified_ ? Outcome::kSuccess : Mismatch(true);
}

// A signed file: a copy on disk that already is the file needs nothing
// from the network. A resumed part keeps only the whole blocks that match
// their digests (without block digests, the final check covers it).
void Download::CheckLocalCopy(AttemptState* a) {
  if (!checked_on_disk_) {
    checked_on_disk_ = true;
    verified_ = signed_download::FileMatchesRecord(target_, *expected_);
    if (verified_) return;
  }
  if (!a->have_state) return;
  CacheRecord* record = a->state.record.get();
  const uint64_t local = static_cast<uint64_t>(record->localSize);
  KnownDigest kept;
  if (local < expected_->size && expected_->blockSize != 0) {
    kept = VerifyPrefixBlocks(target_, local, *expected_);
    if (kept.size < VerifiedResumeOffset(local, expected_->size, expected_->blockSize))
      ++refetches_;  // a block failed, not only a partial one left off
  } else if (local < expected_->size) {
    kept.size = local;
  }
  // Longer than the file, or all of it and still not the file: from 0.
  if (kept.size == local) return;
  if (kept.size == 0 || !CutFile(target_, kept.size)) {
    ClearCacheRecord(*record);
    a->have_state = false;
    return;
  }
  SaveCacheRecord(record, &kept);
}

}  // namespace download_internal
