// The record of what one release installed, kept below the install folder so
// that the next release can remove the files it no longer ships. The record
// is a file on disk (it may be damaged or edited), so every path read from it
// passes the same name-safety rule as a pack entry before anything is removed.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace release_record {

// Relative to the install folder; GBK text, one relative path a line (CR LF).
constexpr char kRecordName[] = "uninstall\\installed.lst";

// The lines of a record (CR LF or LF), empty lines skipped; nothing is
// checked here.
std::vector<std::string> ParseRecord(std::string_view text);
// One path a line, each followed by CR LF; leading separators dropped.
std::string FormatRecord(const std::vector<std::string>& paths);

// The files of `previous` that `current` does not list, cleaned (each path
// as Windows resolves it below a folder, with the case of its letters kept:
// "/" read as "\", runs of separators and leading ones dropped, "."
// components and the trailing dots and blanks of each component dropped),
// in the order of `previous`, each once. Comparison ignores the case of ASCII
// letters. Unsafe paths and the installer's own records (the uninstall data,
// this record, the agency record, the machine identifier, the delete-path
// record) are never among them.
std::vector<std::string> StalePaths(const std::vector<std::string>& previous,
                                    const std::vector<std::string>& current);

}  // namespace release_record
