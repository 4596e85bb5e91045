// The setup description ("/uploads/online_setup.txt"): the product settings of
// its [setup] section, then the agency text that completes them.
#pragma once

#include <windows.h>

#include <string>

#include "core/buffer_limits.h"

struct DownloadContext;

// Bytes of each text field of SetupInfo, with its NUL.
constexpr size_t kSetupFieldBytes = kPathBytes;

// Product settings from the setup description's [setup] section; texts are cut
// to kSetupFieldBytes - 1 bytes. The agency step replaces gameName, productTitle, agreementUrl
// and contact.
struct SetupInfo {
  char gameName[kSetupFieldBytes] = {};
  char productTitle[kSetupFieldBytes] = {};
  int requiredSpaceKb = 0;  // "size" is in MB, stored x 1024
  char agreementUrl[kSetupFieldBytes] = {};
  char uninstallerName[kSetupFieldBytes] = {};
  char publisher[kSetupFieldBytes] = {};
  char contact[kSetupFieldBytes] = {};
  char mainExeName[kSetupFieldBytes] = {};
  std::string descriptionPath;  // local copy of the setup description, kept for the run
};

// Fetches the description and the agency text (window thread, before the
// window shows). 0 = ready, 1 = file name without identifiers or agency not
// enabled, 2 = a text could not be fetched or "size" is missing/negative.
int LoadSetupDescription(DownloadContext* client, SetupInfo* info, HWND window);

// Downloads the text at `url` into *path. The setup description and the
// agency text are read only once their signatures hold (keyed installer; an
// unkeyed one takes them as they are): true when the text may be read. False
// when the download failed, or when the signature does not hold: then the
// text is gone, and "文件校验失败:<url>" has been shown and posted as a failed
// download of the text would be.
bool FetchSignedText(DownloadContext* client, const std::string& url, std::string* path);
