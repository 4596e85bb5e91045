// What `publish` lays out, as its settings file describes it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/signed_manifest.h"

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
