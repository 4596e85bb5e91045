// After a release is written: what the previous release installed and this
// one no longer ships goes, and this release's list becomes the record
// (core/release_record.h) that the next one compares with.
#pragma once

#include <string>
#include <vector>

// `installed`: the paths this release wrote, relative to `install_folder`.
// Removes the files the previous record lists that `installed` does not,
// then the folders that this left empty, then writes the new record. Nothing
// the previous record does not list is touched; nothing is followed through
// a link; a stale file that cannot be removed (busy) stays, traced.
// Returns the number of files removed.
size_t ReplaceReleaseRecord(const std::string& install_folder, const std::vector<std::string>& installed);
