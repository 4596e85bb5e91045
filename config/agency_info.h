// Agency information: identifiers from the installer's file name, the agency
// text's product name and domain, and the installed client's Agency.ini.
#pragma once

#include <windows.h>

#include <string>

#include "core/agency_ids.h"

struct DownloadContext;
struct SetupInfo;

// The process-wide product name (at most 99 bytes): names the window, the
// shortcuts and the uninstall data.
extern char g_productName[100];

// The identifiers from the installer's own file name, traced; false without them.
bool ParseAgencyIds(AgencyIds* ids);
// Fetches the agency text and completes the product settings from it. 0 =
// ready, 1 = agency not enabled, 2 = the text could not be fetched.
int LoadAgencyInfo(DownloadContext* client, SetupInfo* info, HWND window);
// The identifiers into the installed client's Config\Agency.ini.
void WriteAgencyIni(const char* install_folder, const AgencyIds& ids);
