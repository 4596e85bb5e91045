#include "net/servers.h"

#include <gtest/gtest.h>

TEST(Servers, UrlsStartFromTheConfiguredBases) {
  servers::SetServerBasesForTesting("http://dl.test:81", "http://agency.test");
  EXPECT_EQ(servers::SetupDescriptionUrl(), "http://dl.test:81/uploads/online_setup.txt");
  EXPECT_EQ(servers::AgencyTextBaseUrl(), "http://agency.test/uploads/txt/Agency");
  EXPECT_EQ(servers::StatisticsUrl(false, "345", "ABCD"),
            "http://dl.test:81/Members/UserAPI.aspx?type=installs&isend=0&agencyid=345&mac=ABCD");
  // An empty machine id still sends the parameter, empty.
  EXPECT_EQ(servers::StatisticsUrl(true, "345", ""),
            "http://dl.test:81/Members/UserAPI.aspx?type=installs&isend=1&agencyid=345&mac=");
  servers::SetServerBasesForTesting("", "");
  EXPECT_NE(servers::DownloadServerBase(), "http://dl.test:81");  // the built-in base is back
}
