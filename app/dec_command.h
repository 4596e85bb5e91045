// The update list's one command, "DEC": install the downloaded package.
#pragma once

#include <string>
#include <vector>

#include "app/update_list.h"

class XGameSetup;
struct ManifestFile;
struct SignedManifest;

// Closes a running client, fetches the agency's own main program (optional),
// extracts the package, deletes it, replaces main.exe with the agency's copy
// when that is a program image, sets the main program and uninstaller paths
// and posts state 7. On an extraction failure shows "解压文件失败" (or the
// failure's own text), and when the main program is not there afterwards
// "安装包中缺少主程序:<path>", and posts state 0; a stop during the
// extraction posts state 0 without a message and keeps the package. Runs on
// the worker thread.
// With the verified release `manifest` (keyed installer) the agency program
// is fetched only when the manifest lists it, and replaces main.exe only as
// listed; a copy that does not match is a failure ("文件校验失败:<url>").
// Reaching state 7 then records the release as installed on this machine.
void RunDecCommand(XGameSetup* controller, const UpdateEntry& entry,
                   const SignedManifest* manifest = nullptr);

// The worker's failure: `text` in the error buffer and its message box, then
// state 0.
void ReportError(XGameSetup* controller, const std::string& text);

// The command in its two halves around the extraction, for an installation
// that extracts while the package downloads.
struct DecPreparation {
  std::string agency_url;
  const ManifestFile* agency_record = nullptr;  // borrowed from the manifest
  std::string agency_program;                   // fetched copy, or empty
};
// Closes a running client and fetches the agency program: false when the
// installation ended here (reported, or the user's stop).
bool PrepareDecCommand(XGameSetup* controller, const UpdateEntry& entry,
                       const SignedManifest* manifest, DecPreparation* prep);
// What follows the extraction, given its result as ExtractPackage gives it.
void CompleteDecCommand(XGameSetup* controller, const UpdateEntry& entry,
                        const SignedManifest* manifest, const DecPreparation& prep,
                        bool extract_failed, const std::string& extract_error,
                        const std::vector<std::string>& installed);
