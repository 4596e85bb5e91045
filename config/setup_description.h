// The setup description ("/uploads/online_setup.txt"): the product settings of
// its [setup] section, then the agency text that completes them.
#pragma once

#include <windows.h>

#include <string>

struct DownloadClient;

// Product settings from the setup description's [setup] section; texts are cut
// to 259 bytes. The agency step replaces gameName, productTitle, agreementUrl
// and contact.
struct SetupInfo {
  char gameName[260] = {};
  char productTitle[260] = {};
  int requiredSpaceKb = 0;  // "size" is in MB, stored x 1024
  char agreementUrl[260] = {};
  char uninstallerName[260] = {};
  char publisher[260] = {};
  char contact[260] = {};
  char mainExeName[260] = {};
  std::string descriptionPath;  // local copy of the setup description, kept for the run
};

// Fetches the description and the agency text (window thread, before the
// window shows). 0 = ready, 1 = file name without identifiers or agency not
// enabled, 2 = a text could not be fetched or "size" is missing/negative.
int LoadSetupDescription(DownloadClient* client, SetupInfo* info, HWND window);
