// Agency information: identifiers from the installer's file name, the agency
// text's product name and domain, and the installed client's Agency.ini.
#pragma once

#include <string>

struct AgencyIds;

// The process-wide product name (at most 99 bytes): names the window, the
// shortcuts and the uninstall data.
extern char g_productName[100];

// Parses the identifiers from a file name (with extension); false when a
// marker, its closing '-', the last '-' or the '(' / '.' after it is missing.
bool ParseAgencyIdsFromName(const std::string& file_name, AgencyIds* ids);

// Removes one trailing "棋牌" when it is the first occurrence and ends the text.
void StripCategorySuffix(std::string* text);
