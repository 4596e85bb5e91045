#include "net/resume_cache.h"

#include <gtest/gtest.h>

#include <string>

#include "net_test_support.h"

TEST(CacheFilePath, PlacesTheFileInAHostFolderBelowTheTemporaryFolder) {
  ScopedTempRedirect temp;
  struct Case {
    const char* key;
    const char* agency;
    std::string path;
  } cases[] = {
      {"host_a", "AG7", temp.path() + "host_a\\cachefile_AG7.cfg"},
      {"host_a", nullptr, temp.path() + "host_a\\cachefile.cfg"},
      {"host_b", "", temp.path() + "host_b\\cachefile.cfg"},
      {"", "AG7", temp.path() + "cachefile_AG7.cfg"},
      {"", nullptr, temp.path() + "cachefile.cfg"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CacheFilePath(c.key, c.agency), c.path) << c.key;
    if (c.key[0]) {
      EXPECT_TRUE(FolderExists(temp.path() + c.key)) << c.key;
    }
  }
}

TEST(CacheFilePath, GivesAFolderWhenNoFileCanBeKept) {
  {
    // A temporary folder that does not exist is handed back unchanged.
    ScopedTempRedirect temp("C:\\no_such_folder_for_cache_tests\\");
    EXPECT_EQ(CacheFilePath("host", "A"), "C:\\no_such_folder_for_cache_tests\\");
  }
  {
    // A host folder that cannot be created (its parent is missing) is the result.
    ScopedTempRedirect temp;
    const std::string key = "missing\\deeper";
    EXPECT_EQ(CacheFilePath(key, "A"), temp.path() + key);
  }
}
