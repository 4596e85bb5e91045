#include "net/download_call.h"

#include <windows.h>
#include <wininet.h>

#include <cstring>
#include <optional>

#include "core/download_math.h"
#include "core/signed_manifest.h"
#include "net/body_reader.h"
#include "net/digest_pipeline.h"
#include "net/download_hooks.h"
#include "net/target_file.h"
#include "system/setup_messages.h"

namespace download_internal {

namespace {

// Reads gather in buffers of 1 MiB, each written, hashed and reported as one
// chunk: every write, hand-over and progress message costs a round trip
// through the platform, and large ones keep a loopback or LAN transfer near
// the speed of the digest (a quarter of the buffer measured about 15 % slower
// there). At most kDigestChunks of them (8 MiB, the one being read and the
// one being written among them) wait for the hashing threads, which smooths
// out the moments a digest thread waits for a core.
constexpr DWORD kTransferBufferBytes = 1 << 20;
constexpr size_t kDigestChunks = 8;
// Bytes gathered in the buffer are written out at the latest after this long,
// so progress and the checkpoints follow a slow line too.
constexpr DWORD kGatherMs = 250;
constexpr DWORD kStopPollMs = 100;

class BodyTransfer {
 public:
  BodyTransfer(Download* d, AttemptState* a)
      : d_(d),
        a_(a),
        digest_(kTransferBufferBytes, kDigestChunks, d->target(), a->offset, d->expected(),
                d->arrival()),
        reader_(a->request.get()),
        in_flight_{&reader_, &digest_, a},
        report_tick_(::GetTickCount()),
        checkpoint_bytes_(a->offset),
        checkpoint_tick_(report_tick_) {}

  Outcome Run();

 private:
  uint64_t OnDisk() const { return static_cast<uint64_t>(a_->offset) + written_; }
  bool WriteChunk(char** chunk, DWORD* size);
  bool WriteBoth() { return WriteChunk(&ready_, &ready_fill_) && WriteChunk(&buffer_, &fill_); }
  bool CheckpointIfDue();
  void ReleaseBuffers();
  Outcome DiskFailure();
  Outcome KeepAndEnd(Outcome outcome);
  Outcome GiveReadUp();
  void CountReceived(DWORD n);
  Outcome Finish();
  std::optional<Outcome> TakeRead(const BodyReader::Result& result);

  // A read that the user's stop or a slowed line leaves waiting is given up,
  // with the buffer it writes into and its handles.
  struct ReadInFlight {
    BodyReader* reader;
    DigestPipeline* digest;
    AttemptState* a;
    char* buffer = nullptr;  // set once the read in flight is given up
    ~ReadInFlight() {
      if (buffer)
        reader->GiveUp(digest->Forfeit(buffer), a->request.release(), a->session.release());
    }
  };

  Download* d_;
  AttemptState* a_;
  DigestPipeline digest_;
  BodyReader reader_;
  ReadInFlight in_flight_;
  ReadSizer sizer_;
  uint32_t written_ = 0;
  uint32_t received_ = 0;
  uint32_t received_at_report_ = 0;
  DWORD report_tick_;
  uint64_t checkpoint_bytes_;
  DWORD checkpoint_tick_;
  char* buffer_ = nullptr;  // being filled, fill_ bytes so far
  DWORD fill_ = 0;
  DWORD fill_tick_ = 0;
  char* ready_ = nullptr;  // gathered, written once the next read is under way
  DWORD ready_fill_ = 0;
};

void BodyTransfer::ReleaseBuffers() {
  for (char** b : {&buffer_, &ready_}) {
    if (*b) digest_.Release(*b);
    *b = nullptr;
  }
}

// A full disk or a lost drive: the record tells what really reached it.
Outcome BodyTransfer::DiskFailure() {
  ReleaseBuffers();
  CloseChecked(&a_->file);
  d_->StoreResume(a_, &digest_, false, OnDisk());
  return d_->Settle(DownloadFailure{DownloadStep::kWrite, 0, 0, d_->target()});
}

// Closes the file and keeps a record of what reached it.
Outcome BodyTransfer::KeepAndEnd(Outcome outcome) {
  if (!CloseChecked(&a_->file)) return DiskFailure();
  d_->StoreResume(a_, &digest_, true, OnDisk());
  return outcome;
}

// Flushed to the system first: a killed process loses nothing the record
// will vouch for. (After a power loss, bytes the disk never got fail the
// record's MD5 check: a restart, never a wrong file.)
bool BodyTransfer::CheckpointIfDue() {
  const DWORD tick = ::GetTickCount();
  if (OnDisk() - checkpoint_bytes_ < download_settings::CheckpointBytes() &&
      tick - checkpoint_tick_ < download_settings::CheckpointMs())
    return true;
  LARGE_INTEGER t0;
  ::QueryPerformanceCounter(&t0);
  if (download_hooks::FlushFile(a_->file.get()) != 0) return false;
  digest_.Mark();
  download_settings::AddCheckpointTime(t0);
  checkpoint_bytes_ = OnDisk();
  checkpoint_tick_ = ::GetTickCount();
  return true;
}

// Writes gathered bytes; false when the disk did not take them.
bool BodyTransfer::WriteChunk(char** chunk, DWORD* size) {
  if (*chunk == nullptr) return true;
  if (*size == 0) {
    digest_.Release(*chunk);
    *chunk = nullptr;
    return true;
  }
  if (download_hooks::WriteFile(*chunk, *size, a_->file.get()) != *size) return false;
  // A reader following the file reads what the digest has passed: the bytes
  // must be in the file by then, not in the runtime's buffer.
  if (d_->arrival() && download_hooks::FlushFile(a_->file.get()) != 0) return false;
  digest_.Submit(*chunk, *size);
  *chunk = nullptr;
  written_ += *size;
  *size = 0;
  if (!CheckpointIfDue()) return false;
  d_->StoreCheckpoint(a_, &digest_);
  d_->ConnectionWorks();
  const int percent = DownloadPercent(a_->length, a_->offset, written_);
  if (percent >= 0) PostProgress(d_->window(), percent);
  return true;
}

// The read in flight is given up (a stop, or a line that slowed under a read
// sized for its earlier speed); what earlier reads gathered is kept.
Outcome BodyTransfer::GiveReadUp() {
  char* left = buffer_;
  buffer_ = digest_.Acquire();
  std::memcpy(buffer_, left, fill_);
  in_flight_.buffer = left;
  if (!WriteBoth() || !CloseChecked(&a_->file)) return DiskFailure();
  d_->StoreResume(a_, &digest_, true, OnDisk());
  if (d_->Stopped()) return Outcome::kFailure;
  // Go on over a new request, whose reads follow the speed the line has now.
  if (written_ > 0) return d_->Settle(DownloadFailure{DownloadStep::kLineSlowed});
  return d_->Settle(Download::NetworkFailure(DownloadStep::kRead, ERROR_INTERNET_TIMEOUT));
}

void BodyTransfer::CountReceived(DWORD n) {
  received_ += n;
  const DWORD now = ::GetTickCount();
  if (n > 0) sizer_.Add(received_, now);
  long speed = 0;
  if (SpeedReportDue(received_, received_at_report_, now, report_tick_, &speed)) {
    PostSpeed(d_->window(), speed);
    report_tick_ = now;
    received_at_report_ = received_;
  }
}

// The whole body is on disk: the record, and the signed file's checks.
Outcome BodyTransfer::Finish() {
  if (!CloseChecked(&a_->file)) return DiskFailure();
  if (d_->StoreResume(a_, &digest_, true, OnDisk())) return Outcome::kRestart;
  if (!d_->expected()) return Outcome::kSuccess;
  if (!digest_.MatchesExpected()) return d_->Mismatch(a_->offset > 0);
  d_->MarkVerified();
  return Outcome::kSuccess;
}

// What one read brought: gathered, written once the buffer is full or has
// waited long enough, or the end of the body. Empty: read on.
std::optional<Outcome> BodyTransfer::TakeRead(const BodyReader::Result& result) {
  const DWORD n = result.bytes;
  // A read that fails may still report what it received (Wine does on a
  // reset): those bytes are kept, so the retry asks only for the rest.
  if (result.ok || n > 0) CountReceived(n);
  fill_ += n;
  if (!FitsDownloadLimit(OnDisk(), fill_)) {
    // An answer without a length that outgrows what a record can hold.
    ReleaseBuffers();
    CloseChecked(&a_->file);
    return d_->Settle(
        DownloadFailure{DownloadStep::kTooLarge, 0, 0, std::to_string(OnDisk() + fill_)});
  }
  // A signed file ends at its size: nothing past it reaches the disk.
  const ManifestFile* expected = d_->expected();
  const bool full = expected && OnDisk() + fill_ >= expected->size;
  if (full) fill_ = static_cast<DWORD>(expected->size - OnDisk());
  if (result.ok && n > 0 && !full) {
    if (fill_ == kTransferBufferBytes || ::GetTickCount() - fill_tick_ >= kGatherMs) {
      ready_ = buffer_;
      ready_fill_ = fill_;
      buffer_ = nullptr;
    }
    return std::nullopt;
  }
  if (!WriteBoth()) return DiskFailure();
  if (full || (result.ok && (a_->length == 0 || written_ >= a_->length))) return Finish();
  // A body that ends before its announced length is an interrupted
  // transfer, whatever the read said.
  const DownloadFailure broke = Download::NetworkFailure(
      DownloadStep::kRead, result.ok ? ERROR_INTERNET_CONNECTION_RESET : result.error);
  return KeepAndEnd(d_->Settle(broke));
}

Outcome BodyTransfer::Run() {
  for (;;) {
    if (d_->Stopped()) {
      if (!WriteBoth()) return DiskFailure();
      return KeepAndEnd(Outcome::kFailure);
    }
    if (digest_.BadBlockStart() != DigestPipeline::kNoBadBlock) {
      // Nothing more of this answer is worth having: the rest from that block on.
      ReleaseBuffers();
      return KeepAndEnd(Outcome::kRestart);
    }
    if (buffer_ == nullptr) {
      buffer_ = digest_.Acquire();
      fill_ = 0;
      fill_tick_ = ::GetTickCount();
    }
    // What has arrived, but at least what the line brings in about a quarter
    // of a second, up to the buffer's free part: a slow line still reports
    // and sees a stop several times a second, a fast one fills the buffer in
    // few calls instead of one for every few KiB the platform holds.
    const uint32_t speed_now = sizer_.bytes_per_second();
    reader_.Start(buffer_ + fill_, kTransferBufferBytes - fill_, speed_now / 4);
    const DWORD read_tick = ::GetTickCount();
    if (!WriteChunk(&ready_, &ready_fill_)) {
      in_flight_.buffer = buffer_;  // the disk failed: the read is given up
      buffer_ = nullptr;
      return DiskFailure();
    }
    BodyReader::Result result;
    while (!reader_.Wait(kStopPollMs, &result)) {
      const bool stalled = ReadStalled(reader_.asked(), speed_now, ::GetTickCount() - read_tick);
      if (d_->Stopped() || stalled) return GiveReadUp();
    }
    if (std::optional<Outcome> end = TakeRead(result)) return *end;
  }
}

}  // namespace

Outcome TransferBody(Download* download, AttemptState* attempt) {
  return BodyTransfer(download, attempt).Run();
}

}  // namespace download_internal
