// The agency identifiers carried in the installer's own file name.
#pragma once

#include <string>

// Identifiers parsed from the installer's own file name (upper-cased).
struct AgencyIds {
  std::string FromID;
  std::string AgencyID;
  std::string StandaloneAgencyID;
  std::string PageID;
  std::string PCID;
};

// Parses the identifiers from a file name (with extension); false when a
// marker, its closing '-', the last '-' or the '(' / '.' after it is missing.
bool ParseAgencyIdsFromName(const std::string& file_name, AgencyIds* ids);

// Removes one trailing "棋牌" when it is the first occurrence and ends the text.
void StripCategorySuffix(std::string* text);
