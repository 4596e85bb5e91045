// Builds real packages for tests: the files below a top-level folder in an
// encrypted pack, stored as the single member of a password-protected zip.
#pragma once

#include <map>
#include <string>

// `files` maps relative paths ("data\\a.bin") to contents. `scratch` is a
// file path the zip may be written to. Returns the package's bytes.
std::string MakePackage(const std::map<std::string, std::string>& files, const std::string& scratch);
