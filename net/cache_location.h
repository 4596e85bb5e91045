// Where a download's resume cache file lives: a folder named after the URL's
// host below the user's temporary folder, one file per agency key.
#pragma once

#include <string>

#include "core/url_cache_key.h"

// "<temp>\<host key>\cachefile_<agency key>.cfg", or "...\cachefile.cfg" when
// the agency key is null or empty. Creates the host folder (one level) when
// missing. When no folder can be found or made, the result is a folder path,
// in which no record is ever found and stores fail silently.
std::string CacheFilePath(const std::string& host_key, const char* agency_key);
