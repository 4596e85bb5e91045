#include "core/agency_ids.h"

#include "core/gbk_text.h"

namespace {

// The value after `marker` up to the next '-'; false when either is missing.
bool ValueAfterMarker(const std::string& name, const char* marker, std::string* value) {
  size_t at = gbk::Find(name, marker);
  if (at == std::string::npos) return false;
  size_t end = gbk::Find(name, "-", at + 1);
  if (end == std::string::npos) return false;
  *value = name.substr(at + 2, end - (at + 2));
  return true;
}

}  // namespace

bool ParseAgencyIdsFromName(const std::string& file_name, AgencyIds* ids) {
  *ids = AgencyIds();
  const std::string name = gbk::ToUpper(file_name);
  if (!ValueAfterMarker(name, "-F", &ids->FromID)) return false;
  if (!ValueAfterMarker(name, "-A", &ids->AgencyID)) return false;
  ids->StandaloneAgencyID = ids->AgencyID;
  if (!ValueAfterMarker(name, "-B", &ids->StandaloneAgencyID)) return false;
  if (!ValueAfterMarker(name, "-P", &ids->PageID)) return false;

  size_t dash = gbk::FindLastChar(name, '-');
  if (dash == std::string::npos) return false;
  size_t end = gbk::Find(name, "(", dash + 1);
  if (end == std::string::npos) end = gbk::Find(name, ".", dash + 1);
  if (end == std::string::npos) return false;
  ids->PCID = name.substr(dash + 1, end - (dash + 1));
  return true;
}

void StripCategorySuffix(std::string* text) {
  static const char kSuffix[] = "棋牌";
  if (!text || text->empty()) return;
  size_t at = text->find(kSuffix);  // plain byte search, first occurrence only
  if (at != std::string::npos && text->compare(at, std::string::npos, kSuffix) == 0) {
    text->resize(at);
  }
}
