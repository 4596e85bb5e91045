#include "net/servers.h"

#include <mutex>

#include "core/gbk_text.h"

#ifndef ONLINE_SETUP_DOWNLOAD_SERVER_URL
#define ONLINE_SETUP_DOWNLOAD_SERVER_URL "http://127.0.0.1:18080"
#endif
#ifndef ONLINE_SETUP_AGENCY_TEXT_SERVER_URL
#define ONLINE_SETUP_AGENCY_TEXT_SERVER_URL "http://127.0.0.1:18080"
#endif

namespace servers {
namespace {

std::mutex g_mutex;
std::string g_download_override;
std::string g_agency_override;

}  // namespace

std::string DownloadServerBase() {
  std::lock_guard<std::mutex> lock(g_mutex);
  return g_download_override.empty() ? ONLINE_SETUP_DOWNLOAD_SERVER_URL : g_download_override;
}

std::string AgencyTextServerBase() {
  std::lock_guard<std::mutex> lock(g_mutex);
  return g_agency_override.empty() ? ONLINE_SETUP_AGENCY_TEXT_SERVER_URL : g_agency_override;
}

std::string SetupDescriptionUrl() { return DownloadServerBase() + kSetupDescriptionPath; }

std::string AgencyTextBaseUrl() { return AgencyTextServerBase() + kAgencyTextBasePath; }

std::string StatisticsUrl(bool end, const std::string& agency_id, const std::string& machine_id) {
  std::string base = DownloadServerBase() + (end ? kStatisticsEndPath : kStatisticsStartPath);
  return gbk::Format(kStatisticsQueryFormat, base.c_str(), agency_id.c_str(), machine_id.c_str());
}

void SetServerBasesForTesting(const std::string& download, const std::string& agency_text) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_download_override = download;
  g_agency_override = agency_text;
}

}  // namespace servers
