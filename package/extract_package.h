// Turning the downloaded package into files: open the password-protected zip,
// extract its pack, decrypt it and write every listed file below the install
// folder, posting progress 0..100 to the window.
#pragma once

#include <windows.h>

#include <string>

// The fixed package password (zip password and pack key input).
extern const char kPackagePassword[];

// Returns true when the extraction FAILED (nothing usable was installed).
bool ExtractPackage(HWND window, const char* package_name, const char* install_folder);

// folder without trailing backslashes + "\" + name without leading ones;
// the folder unchanged when the name is empty.
std::string JoinPath(const std::string& folder, const std::string& name);
