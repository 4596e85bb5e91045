// Extracting a package as it arrives: the zip member, the pack and its files
// as one stream over the verified part of the package on disk.
#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "core/download_math.h"
#include "core/gbk_text.h"
#include "core/path_join.h"
#include "core/verified_arrival.h"
#include "package/arriving_file.h"
#include "package/extract_package.h"
#include "package/extract_steps.h"
#include "package/pack_decrypt.h"
#include "package/zip_stream.h"
#include "system/setup_messages.h"
#include "system/trace.h"

namespace {

constexpr unsigned kProgressMs = 100;
// Small, so the directory's checks come with the package's first bytes.
constexpr size_t kStreamWindow = 64 << 10;

ExtractFailure Whole(const char* why) {
  TraceLine(std::string("kvx-log: extracting the package once it is whole: ") + why);
  return ExtractFailure{ExtractStep::kWhole};
}

// Files are read in directory order, so their data must follow it.
bool InDataOrder(const PackDirectory& directory) {
  uint64_t end = 0;
  for (size_t i = 0; i < directory.size(); ++i) {
    const PackSpan span = directory[i].span;
    if (span.size == 0 || ClassifyEntry(directory[i].name).kind != EntryKind::kFile) continue;
    const uint64_t offset = static_cast<uint32_t>(span.offset);
    if (offset < end) return false;
    end = offset + static_cast<uint32_t>(span.size);
  }
  return true;
}

// A file written over the package would change bytes already vouched for.
bool NamesPackage(const PackDirectory& directory, const std::string& folder, const std::string& package) {
  const std::string path = JoinPath(folder, package);
  for (size_t i = 0; i < directory.size(); ++i) {
    const EntryTarget t = ClassifyEntry(directory[i].name);
    if (t.kind == EntryKind::kFile && gbk::EqualsIgnoreCase(JoinPath(folder, t.relative), path)) return true;
  }
  return false;
}

}  // namespace

struct ArrivingExtraction::State {
  HWND window;  // borrowed
  std::string name;
  std::string folder;
  uint64_t size;
  VerifiedArrival& arrival;
  StopCheck stop;
  std::atomic<uint64_t> consumed{0};
  std::mutex mu;
  std::condition_variable done_cv;
  bool done = false;
  ExtractResult result;
  std::vector<std::string> installed;
  std::thread thread;

  ExtractResult Extract();
  ExtractResult WriteFiles(ArrivingFile& file, ZipMemberStream& zip);
};

// A source that ended: the user's stop or a failed download end the step,
// anything else is left to the whole-package path.
static ExtractFailure Ended(const ArrivingFile& file, const char* why) {
  if (file.end() == ArrivingFile::End::kStopped || file.end() == ArrivingFile::End::kAbandoned)
    return ExtractFailure{ExtractStep::kStopped};
  return Whole(why);
}

ExtractResult ArrivingExtraction::State::WriteFiles(ArrivingFile& file, ZipMemberStream& zip) {
  uint8_t head[kPackHeaderSize];
  const uint64_t body = zip.size() - kPackHeaderSize;
  if (zip.size() < kPackHeaderSize || body % aes128::kBlockSize != 0 || body > 0xFFFFFFFFull)
    return Whole("not a pack");
  if (!zip.Read(head, sizeof head)) return Ended(file, "pack header");
  OpenPack pack;
  pack.body_length = body;
  pack.payload_length = uint32_t{head[0]} | (uint32_t{head[1]} << 8) | (uint32_t{head[2]} << 16) |
                        (uint32_t{head[3]} << 24);
  uint64_t at = 0;  // the next body byte the stream gives
  pack.reader = std::make_unique<PackBodyReader>(
      [&zip, &at](uint64_t offset, uint8_t* dst, size_t n) {
        uint8_t skip[4096];
        for (; at < offset; at += std::min<uint64_t>(sizeof skip, offset - at)) {
          if (!zip.Read(skip, static_cast<size_t>(std::min<uint64_t>(sizeof skip, offset - at))))
            return false;
        }
        if (offset < at || !zip.Read(dst, n)) return false;  // a stream only goes forward
        at += n;
        return true;
      },
      body, PackKeySchedule(kPackagePassword), kStreamWindow);
  if (!ReadPackDirectory(&pack, nullptr, stop)) return Ended(file, "no directory");
  if (!InDataOrder(pack.directory)) return Whole("pack data out of order");
  if (NamesPackage(pack.directory, folder, name)) return Whole("a file would replace the package");
  const uint64_t on_disk = std::min(size, arrival.Now().end);
  ExtractResult r = CheckPackEntries(pack, folder, nullptr, stop, size - on_disk);
  if (r.ok()) r = WritePackFiles(pack, folder, nullptr, stop, &installed);
  if (!r.ok() && r.failure().step == ExtractStep::kPackage) return Ended(file, "pack unreadable");
  if (!r.ok()) return r;
  if (!zip.Finish()) return Ended(file, "member's end or CRC");
  return {};
}

ExtractResult ArrivingExtraction::State::Extract() {
  ArrivingFile file(RelativeTarget(folder, name), arrival, stop);
  ZipMemberStream zip(
      [this, &file](uint8_t* dst, size_t n) {
        const bool ok = file.Read(dst, n);
        consumed.store(file.position());
        return ok;
      },
      kPackagePassword);
  const ZipMemberStream::Header header = zip.Open();
  if (header == ZipMemberStream::Header::kUnsupported)
    return Whole("member not readable as a stream");
  if (header == ZipMemberStream::Header::kUnreadable) return Ended(file, "zip header");
  return WriteFiles(file, zip);
}

ArrivingExtraction::ArrivingExtraction(HWND window, std::string package_name,
                                       std::string install_folder, uint64_t package_size,
                                       VerifiedArrival& arrival, StopCheck stop)
    : state_(new State{window, std::move(package_name), std::move(install_folder), package_size,
                       arrival, std::move(stop)}) {
  State* s = state_.get();
  s->thread = std::thread([s] {
    ExtractResult r = s->Extract();
    // A failure that the whole package would not mend: no need to fetch the rest.
    if (!r.ok() && r.failure().step != ExtractStep::kWhole && r.failure().step != ExtractStep::kStopped)
      s->arrival.GiveUp();
    std::lock_guard<std::mutex> lock(s->mu);
    s->result = std::move(r);
    s->done = true;
    s->done_cv.notify_all();
  });
}

ArrivingExtraction::~ArrivingExtraction() {
  if (state_->thread.joinable()) state_->thread.join();
}

bool ArrivingExtraction::Finish(std::string* message, std::vector<std::string>* installed) {
  State& s = *state_;
  const uint64_t base = s.consumed.load();
  const uint64_t rest = s.size > base ? s.size - base : 0;
  TraceLine(gbk::Format("kvx-log: %s: %.0f of %.0f KiB read when the download ended", s.name.c_str(),
                        base / 1024.0, s.size / 1024.0));
  int posted = 0;
  {
    std::unique_lock<std::mutex> lock(s.mu);
    while (!s.done_cv.wait_for(lock, std::chrono::milliseconds(kProgressMs), [&] { return s.done; })) {
      if (rest == 0) continue;
      const int percent = static_cast<int>(std::min<uint64_t>(99, (s.consumed.load() - base) * 100 / rest));
      if (percent != posted) PostProgress(s.window, posted = percent);
    }
  }
  s.thread.join();
  TraceLine(gbk::Format("kvx-log: %s: extraction ended", s.name.c_str()));
  if (s.result.ok()) {
    PostProgress(s.window, 100);
    if (installed) *installed = s.installed;
    return false;
  }
  const ExtractFailure& f = s.result.failure();
  if (f.step == ExtractStep::kWhole)
    return ExtractPackage(s.window, s.name.c_str(), s.folder.c_str(), message, s.stop, installed);
  if (f.step == ExtractStep::kStopped)
    TraceLine(gbk::Format("kvx-out: extraction of %s stopped", s.name.c_str()));
  if (message) *message = ExtractFailureText(f);
  return true;
}
