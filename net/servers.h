// What the installer asks of its servers: paths, queries, names and formats,
// and the two server base URLs (deployment settings compiled in at configure
// time). Every URL the installer forms starts from DownloadServerBase() or
// AgencyTextServerBase(), which tests point at their own server.
#pragma once

#include <string>

namespace servers {

// Setup description on the download server.
inline constexpr char kSetupDescriptionPath[] = "/uploads/online_setup.txt";
// Agency text: "%s/Agency_%s.txt" with the agency text base and StandaloneAgencyID.
inline constexpr char kAgencyTextBasePath[] = "/uploads/txt/Agency";
inline constexpr char kAgencyTextUrlFormat[] = "%s/Agency_%s.txt";
// Agency main program: "%s/Image/Agency_%s/%s" with AgencyExeURL, StandaloneAgencyID, name.
inline constexpr char kAgencyExeUrlFormat[] = "%s/Image/Agency_%s/%s";
inline constexpr char kAgencyExeName[] = "main.exe";
// Statistics endpoint on the download server, completed by kStatisticsQueryFormat.
inline constexpr char kStatisticsStartPath[] = "/Members/UserAPI.aspx?type=installs&isend=0";
inline constexpr char kStatisticsEndPath[] = "/Members/UserAPI.aspx?type=installs&isend=1";
inline constexpr char kStatisticsQueryFormat[] = "%s&agencyid=%s&mac=%s";
// User agent of the controller's session for small text requests.
inline constexpr char kSessionUserAgent[] = "Marlowen HTTP Retriever 1.0";
// This installer's version: the key of the update-list URL in [config].
inline constexpr char kInstallerVersion[] = "1.0";

// Scheme, host and optional port of each server, without a trailing slash.
std::string DownloadServerBase();
std::string AgencyTextServerBase();

// Full URLs built from the bases.
std::string SetupDescriptionUrl();          // download base + kSetupDescriptionPath
std::string AgencyTextBaseUrl();            // agency base + kAgencyTextBasePath
std::string StatisticsUrl(bool end, const std::string& agency_id, const std::string& machine_id);

// Points both bases somewhere else (tests); empty strings restore the built-in ones.
void SetServerBasesForTesting(const std::string& download, const std::string& agency_text);

}  // namespace servers
