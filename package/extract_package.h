// Turning the downloaded package into files: open the password-protected zip,
// extract its pack, decrypt it and write every listed file below the install
// folder, posting progress 0..100 to the window.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "core/pack_key.h"  // kPackagePassword
#include "core/path_join.h"  // JoinPath, which callers name the package and its files with
#include "package/stop_check.h"

// The text shown for a failed extraction that has no more precise reason.
extern const char kExtractFailedText[];

// Returns true when the extraction FAILED: the package or its pack is
// unreadable or damaged, the pack cannot be extracted whole (also over a
// pack an earlier run left and something still holds), no listed file can be
// installed, a listed file cannot be written, or the install volume lacks
// the space. `message`, when given, receives the text to show
// (kExtractFailedText, or one naming the file or the volume). On failure the
// extracted pack is removed; the package stays.
// `stop` is asked between files and between pieces of one. Once it answers
// true the step ends: the file being written is removed, the ones before
// stay, the pack is removed, the package stays, and the result is true with
// an empty message. `installed`, when given, receives the path of every
// file written, relative to the install folder.
bool ExtractPackage(HWND window, const char* package_name, const char* install_folder,
                    std::string* message = nullptr, const StopCheck& stop = StopCheck(),
                    std::vector<std::string>* installed = nullptr);
