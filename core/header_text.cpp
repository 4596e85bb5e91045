#include "core/header_text.h"

#include <algorithm>

#include "core/gbk_text.h"

namespace {

bool FitsInHeader(const std::string& value) {
  return value.find_first_of(std::string("\r\n\0", 3)) == std::string::npos;
}

// An ETag stored as W/... (its quotes removed): not usable in If-Range.
bool IsWeakEtag(const std::string& etag) { return etag.rfind("W/", 0) == 0; }

}  // namespace

std::string RemoveQuotes(std::string text) {
  text.erase(std::remove(text.begin(), text.end(), '"'), text.end());
  return text;
}

std::string ResumeRequestHeaders(int local_size, int total_size, const std::string& etag,
                                 const std::string& last_modified) {
  const char kAccept[] = "Accept: */*\r\n";
  if (local_size < 1 || local_size > total_size) return kAccept;
  // A weak ETag cannot stand in If-Range: the date does when there is one;
  // otherwise the request is plain and any answer is taken whole.
  std::string validator;
  if (!etag.empty() && !IsWeakEtag(etag) && FitsInHeader(etag))
    validator = "\"" + etag + "\"";
  else if (!last_modified.empty() && FitsInHeader(last_modified))
    validator = last_modified;
  else
    return kAccept;
  // A complete copy is confirmed by asking for its last byte only: the
  // unchanged resource answers with one byte, a changed one with all of it.
  const int from = local_size < total_size ? local_size : total_size - 1;
  return gbk::Format("Accept: */*\r\nRange:bytes=%d-\r\nIf-Range:", from) + validator + "\r\n";
}

bool ValidatorsDiffer(const std::string& record_etag, const std::string& record_last_modified,
                      const std::string& answer_etag, const std::string& answer_last_modified) {
  if (!record_etag.empty()) return !gbk::EqualsIgnoreCase(record_etag, answer_etag);
  if (!record_last_modified.empty())
    return !gbk::EqualsIgnoreCase(record_last_modified, answer_last_modified);
  return true;
}
