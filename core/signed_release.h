// The decisions a keyed installer takes about a signed release: which
// manifest record vouches for a download, whether a release may replace what
// this machine already has, and which date judges the manifest's expiry.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "core/sha256.h"
#include "core/signed_manifest.h"

// A signed text (setup description, agency text, update list, manifest) is
// read whole into memory to be checked; nothing the publisher signs is larger.
constexpr size_t kMaxSignedTextBytes = kMaxManifestBytes;

// The record that names the file served at `url`, or null.
const ManifestFile* ManifestRecordForUrl(const SignedManifest& manifest, std::string_view url);

// True when a file of `size` bytes with digest `sha256` is the one `record` describes.
bool MatchesManifestRecord(const ManifestFile& record, uint64_t size, const Sha256Digest& sha256);

enum class ReleaseVerdict {
  kAccepted,
  kOlder,    // below the release this machine already installed
  kExpired,  // past its "expires" day on the effective date
};

// `installed` is 0 when this machine has no release recorded. The same
// release is accepted again (a repair). The expiry is judged by the local
// date, or the server's (its answer's HTTP Date) when that is given and
// earlier. A clock set far ahead then does not retire a valid release, a
// clock set back never revives an expired one beyond what the server's own
// clock says, and an answer whose Date was rewritten can at most postpone an
// expiry.
ReleaseVerdict JudgeRelease(const SignedManifest& manifest, uint64_t installed,
                            const ManifestDate& local, const ManifestDate* server);

// The date of an HTTP Date header in its preferred form
// ("Sun, 06 Nov 1994 08:49:37 GMT"); false for any other text.
bool ParseHttpDate(std::string_view text, ManifestDate* out);
