// DownloadFile: the one routine through which every file comes from the
// network. Posts progress (WM_SETUP_PROGRESS), speed (WM_SETUP_SPEED) and, on
// a reported failure, state 0 to the controller's window; resumes interrupted
// transfers through the resume cache; retries until stopped when asked.
#pragma once

#include <string>

struct DownloadContext;

// destination: null for a new temporary file (or the one an earlier run used);
//   otherwise a full path (destination_is_absolute) or a name below the
//   controller's install folder.
// result_path: receives the local file's full path as soon as it is known.
// Returns 0 on success, 1 on failure with report_errors, -1 on failure without.
int DownloadFile(const char* destination, std::string* result_path, DownloadContext* controller,
                 const char* url, bool destination_is_absolute, bool report_errors,
                 bool retry_until_done, bool use_agency_cache_file);

// What a reported failure does, for a caller that decided after an unreported
// one: the error text in a message box (none for a stop), then state 0.
void ReportDownloadFailure(DownloadContext* controller);

// A file the installation can do without: retried like DownloadFile with
// retry_until_done, but at most a few attempts within about a minute; then
// -1. Never shows a message box or posts a state.
int DownloadOptionalFile(const char* destination, std::string* result_path,
                         DownloadContext* controller, const char* url, bool destination_is_absolute,
                         bool use_agency_cache_file);
