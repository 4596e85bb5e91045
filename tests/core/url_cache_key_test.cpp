#include "core/url_cache_key.h"

#include <gtest/gtest.h>

#include <string>

TEST(UrlCacheKey, TakesTheHostOfHttpAndHttpsUrlsAndKeepsOtherSchemesQuirks) {
  struct Case {
    std::string url;
    std::string key;
  } cases[] = {
      {"http://files.example.org:8080/a/b.zip", "files_example_org_8080"},
      {"HTTP://Files.Example.ORG:8080/x", "files_example_org_8080"},
      {"http://a.b", "a_b"},
      {"https://files.example.org:8443/x", "https__files_example_org_8443"},
      {"HTTPS://Files.Example.ORG/x", "https__files_example_org"},
      {"https://other.example.org/x", "https__other_example_org"},  // a folder per host
      {"http://https.example.org/x", "https_example_org"},   // an HTTP host never has "__"
      {"https://a.com/?u=http://b.org/x", "https__a_com"},   // the first scheme counts
      {"http://a.com/?u=https://b.org/x", "a_com"},
      {"ftp://a.com/get?u=https://b.org/x", "https__b_org"},
      {"https://", "https__"},
      {"https://" + std::string(300, 'a'), "https__" + std::string(193, 'a')},
      {"ftp://a.com/get?u=http://b.org/x", "b_org"},         // later "http://" wins
      {"http://a.com/?u=http://b.org/x", "a_com"},           // the first occurrence counts
      {"http:///x", "x"},                                    // empty host: the path's first part
      {"http://", ""},
      {"", ""},
      {"./\\:*?\"<>|", ""},                                  // nothing but separators
      {"::::", ""},
      {"http://:8080/x", "8080"},
      {"host.com/path", "host_com"},
      {"  http://a.com/x", "a_com"},
      {"http://user:pw@host/x", "user_pw@host"},
      {"http://a.com\\b*c?d\"e<f>g|h", "a_com_b_c_d_e_f_g_h"},
      {"http://中文.com/x", "中文_com"},
      // '\\' and '|' as trail bytes of double-byte characters stay untouched.
      {"http://a\x95\x5c\x81\x7c.b/", "a\x95\x5c\x81\x7c_b"},
      {"http://ab\x95", "ab\x95"},                            // a lone lead byte at the end
      {"http://" + std::string(300, 'a') + "/x", std::string(200, 'a')},
      {"http://" + std::string(199, 'a') + "中/x", std::string(199, 'a')},  // no half character
      {"http://" + std::string(198, 'a') + "中/x", std::string(198, 'a') + "中"},
  };
  for (const Case& c : cases) EXPECT_EQ(UrlCacheKey(c.url), c.key) << c.url;
}
