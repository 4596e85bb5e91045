// The installer's own file name read for its agency identifiers: every value
// is a piece of the upper-cased name between its marker and the next '-'
// (in well-formed GBK; see IsWellFormedGbk).
#include <string>

#include "core/agency_ids.h"
#include "core/gbk_text.h"
#include "fuzz_util.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string name = ExactCopy(std::string_view(reinterpret_cast<const char*>(data), size));
  AgencyIds ids;
  if (ParseAgencyIdsFromName(name, &ids)) {
    const std::string upper = gbk::ToUpper(name);
    for (const std::string* v :
         {&ids.FromID, &ids.AgencyID, &ids.StandaloneAgencyID, &ids.PageID, &ids.PCID}) {
      // A lead byte before a byte that cannot trail it takes that byte along,
      // '-' included; file names from Windows never hold such a pair.
      if (IsWellFormedGbk(name) && v->find('-') != std::string::npos) __builtin_trap();
      if (upper.find(*v) == std::string::npos) __builtin_trap();
    }
  }
  std::string text = name;
  StripCategorySuffix(&text);
  if (text.size() > name.size() || name.compare(0, text.size(), text) != 0) __builtin_trap();
  return 0;
}
