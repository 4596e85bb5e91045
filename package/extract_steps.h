// The steps of one package extraction, each returning nothing or one failure
// record; ExtractPackage is the fixed entry over them. Private to package/.
//
// Progress seen by the window over the whole extraction:
//   0..25  the pack's directory coming in from the file (DecryptPackFile),
//   25     directory read,
//   25..49 every entry checked (data inside the pack, something to install,
//          free space), by entries,
//   50     checks passed,
//   50..100 files written, by entries handed to the writing thread (a few
//           files ahead of the disk), then 100 once all are on the disk.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

#include "core/result.h"
#include "package/stop_check.h"
#include "system/seams.h"

struct OpenPack;

enum class ExtractStep {
  kStopped,      // the user's stop: no text
  kPackage,      // the package or its pack is unreadable, damaged or empty
  kNoRoom,       // the volume lacks the space (detail: the text saying so)
  kCannotWrite,  // a file cannot be created (detail: its path)
  kWrite,        // writing failed (detail: the writer's text, if any)
  kWhole,        // cannot be extracted as it arrives: extract the whole package instead
};
using ExtractFailure = Failure<ExtractStep>;
using ExtractResult = Result<ExtractStep>;

// The text shown for a failed extraction.
std::string ExtractFailureText(const ExtractFailure& failure);

// Where a pack entry goes.
enum class EntryKind {
  kFile,    // written below the install folder
  kFolder,  // no file: a name without a folder part, or one ending in a separator
  kUnsafe,  // would leave the install folder: skipped
};
struct EntryTarget {
  EntryKind kind;
  std::string relative;  // from the entry's first backslash on
};
EntryTarget ClassifyEntry(std::string_view name);

// Extracts the package's one member, the pack, beside it into `pack_path`
// (a pack an earlier run left goes first).
ExtractResult UnzipPack(const std::string& folder, const std::string& package_path,
                        const StopCheck& stop, std::string* pack_path);

// Checks every entry before any is written: a damaged pack (data outside the
// body, as in a pack cut short) or one with nothing to install fails whole,
// as do names Windows cannot create and a volume without the room (for the
// files, and `package_rest` bytes of a package still arriving).
ExtractResult CheckPackEntries(const OpenPack& pack, const std::string& folder, HWND window,
                               const StopCheck& stop, uint64_t package_rest = 0);

// Writes every listed file below `folder`.
ExtractResult WritePackFiles(const OpenPack& pack, const std::string& folder, HWND window,
                             const StopCheck& stop, std::vector<std::string>* installed);

// A scanner may hold a freshly written file for a moment: `attempt` is made
// again for about two seconds until its result holds, and the last result
// returned.
template <typename Attempt>
auto RetryBriefly(Attempt attempt) {
  for (int tries = 1;; ++tries) {
    auto result = attempt();
    if (result || tries == 10) return result;
    seams::SleepMs(200);
  }
}

// Removes the extracted pack of a failed or finished step.
void RemovePack(const std::string& pack_path);
