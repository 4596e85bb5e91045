// What `publish` lays out: the site as its settings file describes it
// (read in publish_settings.cpp), and the site's files as they lie in the
// folder the web server serves (site_tree.cpp): each written once and never
// over another, recorded for the manifest, signed.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

#include "core/signed_manifest.h"
#include "publisher_key.h"

// Where the update list lies on the download server.
constexpr char kUpdateListPath[] = "/update/list.ini";

struct Agency {
  std::string id;
  std::string text;          // GBK
  std::string program_path;  // empty: none shipped
};

struct Site {
  std::string download, agency_server, package = "hall.zip", agreement;
  uint64_t release = 0;
  bool has_expiry = false;
  ManifestDate expires;
  std::string setup;  // the setup description, GBK
  std::vector<Agency> agencies;
};

// Reads and checks the settings file; a `signing` site needs a release.
// False, with the reason, on anything the site could not be built from.
bool ReadSettings(const std::string& settings_path, bool convert_utf8, bool signing, Site* site,
                  std::string* error);

// Writes `bytes` to a file that must not exist yet, with `mode`.
bool WriteNewFile(const std::string& path, const std::string& bytes, mode_t mode,
                  std::string* error);

// A file of the site: its server path and where it lies in the tree.
struct SiteFile {
  std::string url;
  std::string path;
};

// Where the file served at `url` lies below `root`.
std::string InTree(const std::string& root, const std::string& url);

struct SiteTree {
  std::string root;
  std::vector<SiteFile> signed_files;  // those that get a signature beside them

  // Writes the file served at `url`, with the folders it needs; a `sign`ed
  // one gets a signature beside it.
  bool Write(const std::string& url, const std::string& bytes, std::string* error,
             bool sign = false);
  bool Copy(const std::string& url, const std::string& from, std::string* error);
  // Appends the manifest record of the file served at `url`.
  bool Record(const std::string& url, uint64_t block_size, SignedManifest* manifest,
              std::string* error) const;
};

// A manifest record of the file at `path`, with block digests when asked.
bool RecordOf(const std::string& name, const std::string& path, uint64_t block_size,
              ManifestFile* record, std::string* error);

// Signs every file in `files` and checks each signature, read back from the
// tree, with the public half only, as the installer will.
bool SignAll(const std::vector<SiteFile>& files, const PublisherKey& key, SiteTree* site,
             std::string* error);
