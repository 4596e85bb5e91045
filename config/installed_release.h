// The highest signed release installed on this machine, per product, kept
// beside the machine identifier: HKEY_CURRENT_USER
// SOFTWARE\WindowsApp\Releases\<game name>, value "Release" (REG_QWORD). A
// keyed installer refuses a release below it, so a replayed older (validly
// signed) update list cannot take the client back to a release with known
// faults.
#pragma once

#include <cstdint>
#include <string>

// 0 when none is recorded.
uint64_t ReadInstalledRelease(const std::string& product);
// Keeps the higher of the recorded release and `release`.
void RecordInstalledRelease(const std::string& product, uint64_t release);
