// The texts a download exchanges with the server about a resumed file: the
// validators an answer carries (ETag, Last-Modified) and the request headers
// that ask for the rest of a file.
#pragma once

#include <string>

// The text with every double-quote character deleted (how ETags are stored).
std::string RemoveQuotes(std::string text);

// "Accept: */*\r\n", plus "Range:bytes=<from>-" and "If-Range:<validator>"
// when 0 < local_size <= total_size: from the local size for a partial file,
// the last byte for a complete one. The validator is the ETag in quotes, or
// Last-Modified when there is no strong ETag; with neither the request stays
// plain. A validator holding a line break or a NUL is not used: it would end
// the header early or add one the server never sent.
std::string ResumeRequestHeaders(int local_size, int total_size, const std::string& etag,
                                 const std::string& last_modified);

// Whether an answer is another version of a recorded resource: the ETags are
// compared when the record has one, else the Last-Modified dates; both
// ignoring case. A record with neither always counts as changed.
bool ValidatorsDiffer(const std::string& record_etag, const std::string& record_last_modified,
                      const std::string& answer_etag, const std::string& answer_last_modified);
