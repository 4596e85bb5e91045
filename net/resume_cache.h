// The resume cache: per-URL records in "cachefile_<agency>.cfg" / "cachefile.cfg"
// below a per-host folder of the temporary folder, and the remembered install
// folder "DefSetDir" in section "Config" of the same file.
#pragma once

#include <string>

// The remembered install folder for the setup description's URL and agency key.
std::string ReadDefaultSetupDir(const std::string& url, const std::string& agency_key);
void WriteDefaultSetupDir(const std::string& url, const std::string& agency_key,
                          const std::string& folder);
