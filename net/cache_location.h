// Where a download's resume cache file lives: a folder named after the URL's
// host below the user's temporary folder, one file per agency key.
#pragma once

#include <string>

// The host part of `url` (with its port), lower-cased, with the characters not
// allowed in file names and the dot replaced by "_", at most 200 bytes. Only
// "http://" is recognised as a scheme; any other scheme stays in the text.
std::string UrlCacheKey(const std::string& url);

// "<temp>\<host key>\cachefile_<agency key>.cfg", or "...\cachefile.cfg" when
// the agency key is null or empty. Creates the host folder (one level) when
// missing. When no folder can be found or made, the result is a folder path,
// in which no record is ever found and stores fail silently.
std::string CacheFilePath(const std::string& host_key, const char* agency_key);
