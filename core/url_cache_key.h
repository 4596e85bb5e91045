// The key a download's resume cache folder is named by.
#pragma once

#include <string>

// The host part of `url` (with its port), lower-cased, with the characters not
// allowed in file names and the dot replaced by "_", at most 200 bytes.
// "http://" and "https://" are recognised as schemes (the first one in the
// text wins); an HTTPS key starts with "https__". Any other scheme stays in
// the text.
std::string UrlCacheKey(const std::string& url);
