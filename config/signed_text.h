// The setup description and the agency text are read only once their
// signatures hold (keyed installer; an unkeyed one takes them as they are).
#pragma once

#include <string>

struct DownloadContext;

// True when the text downloaded from `url` to `path` may be read. Otherwise
// the text is gone, and "文件校验失败:<url>" has been shown and posted as a
// failed download of the text would be.
bool AcceptSignedText(DownloadContext* client, const std::string& url, const std::string& path);
