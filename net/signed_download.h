// The edge between downloads and the publisher's signatures. A keyed
// installer (signature::PublisherKey) reads a text only after its detached
// signature beside it has been checked, and takes the update list, the
// package and the agency programs only as the signed release manifest
// beside the update list describes them. An unkeyed installer fetches no
// signature or manifest at all: every function here then accepts at once.
//
// A file that fails a check is deleted and its resume record cleared, so no
// later run resumes from or reuses it. The functions return the message
// for the user ("文件校验失败:<url>"), empty when all is well; the caller
// reports it the way its step reports any failure.
#pragma once

#include <cstdint>
#include <string>

#include "core/signed_manifest.h"

struct DownloadContext;

namespace signed_download {

// True when the installer holds the publisher's key.
bool IsKeyed();

// Checks the text just downloaded from `url` to `local_path` against
// SiblingUrl(url, ".sig"), which is fetched (no message box, no resume cache;
// `retry` as for the text itself). `agency_key` names the text's own cache
// file (empty for the shared one).
std::string VerifySignedText(DownloadContext* client, const std::string& url,
                             const std::string& local_path, bool retry,
                             const std::string& agency_key);

// Fetches and checks the release manifest beside the update list at
// `list_url` (already downloaded to `list_path`), and the list against its
// record there. Fills `manifest` when all holds; `manifest_url` receives the
// manifest's URL either way.
std::string FetchReleaseManifest(DownloadContext* client, const std::string& list_url,
                                 const std::string& list_path, SignedManifest* manifest,
                                 std::string* manifest_url);

// True when the file at `path` has the record's size and SHA-256.
bool FileMatchesRecord(const std::string& path, const ManifestFile& record);

// Deletes a downloaded file that failed its check and clears its resume record.
void DiscardDownload(const std::string& url, const std::string& local_path,
                     const std::string& agency_key);

// The date this machine's clock gives.
ManifestDate LocalDate();
// The date of the server's clock from the Date header of its answer to `url`;
// false when it gives none (or no answer comes within a few seconds).
bool FetchServerDate(const std::string& url, ManifestDate* out);

// The failure text for a file at `url`.
std::string VerificationFailedText(const std::string& url);

}  // namespace signed_download
