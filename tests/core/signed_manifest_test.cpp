#include "core/signed_manifest.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "core/block_digests.h"
#include "core/manifest_signature.h"
#include "core/signed_release.h"

namespace {

const std::string kA(64, 'a'), kB(64, 'b'), kC(64, 'c');
const std::string kHead = "online-setup-manifest=1\nrelease=7\n";
const std::string kSample = "online-setup-manifest=1\nrelease=42\nexpires=2028-02-29\n"
                            "file=game/game.zip\nsize=131073\nsha256=" + kA + "\n"
                            "block-size=65536\nblock=" + kB + "\nblock=" + kC + "\nblock=" + kA + "\n"
                            "file=main.exe\nsize=0\nsha256=" + kB + "\n";

std::string File(const std::string& name, const std::string& rest = "") {
  return "file=" + name + "\nsize=1\nsha256=" + kA + "\n" + rest;
}

}  // namespace

TEST(SignedManifest, ReadsAndWritesTheSample) {
  for (std::string text : {kSample, kSample.substr(0, kSample.size() - 1), std::string()}) {
    if (text.empty())
      for (char c : kSample) text += c == '\n' ? std::string("\r\n") : std::string(1, c);
    SignedManifest m;
    const ManifestStatus status = ParseSignedManifest(text, &m);
    ASSERT_TRUE(status.ok()) << ManifestErrorText(status.error) << " at " << status.line;
    EXPECT_EQ(m.release, 42u);
    ASSERT_TRUE(m.hasExpiry);
    EXPECT_TRUE((m.expires == ManifestDate{2028, 2, 29}));
    ASSERT_EQ(m.files.size(), 2u);
    EXPECT_EQ(m.files[0].size, 131073u);
    EXPECT_EQ(m.files[0].blockSize, 65536u);
    ASSERT_EQ(m.files[0].blocks.size(), 3u);
    EXPECT_EQ(m.files[0].blocks[1][31], 0xcc);
    EXPECT_EQ(m.files[1].sha256[0], 0xbb);
    EXPECT_EQ(m.files[1].blocks.size(), 0u);
    EXPECT_EQ(FindManifestFile(m, "main.exe"), &m.files[1]);
    EXPECT_EQ(FindManifestFile(m, "Main.exe"), nullptr);
    EXPECT_EQ(WriteSignedManifest(m), kSample);
  }
}

TEST(SignedManifest, RecordOfBytesDigestsEveryBlockAndTheWhole) {
  const std::string bytes = "0123456789abcdefghij";
  for (size_t size : {0, 1, 3, 4, 5, 8, 20}) {
    for (uint64_t block : {0, 4}) {
      size_t at = 0;
      const ManifestFile r = RecordOfBytes("f", block, [&](unsigned char* out, size_t n) {
        const size_t take = std::min(n, size - at);
        std::copy(bytes.data() + at, bytes.data() + at + take, out);
        return at += take, take;
      });
      SCOPED_TRACE(size);
      EXPECT_EQ(r.size, size);
      EXPECT_EQ(r.sha256, Sha256Of(bytes.data(), size));
      ASSERT_EQ(r.blocks.size(), VerifyBlockCount(size, block));
      for (size_t i = 0; i < r.blocks.size(); ++i)
        EXPECT_EQ(r.blocks[i], Sha256Of(bytes.data() + 4 * i, std::min<size_t>(4, size - 4 * i)));
    }
  }
}

TEST(SignedManifest, RefusesWithTheLine) {
  using E = ManifestError;
  struct Case {
    std::string text;
    ManifestError error;
    int line;
  } cases[] = {
      {"", E::kNotAManifest, 1},
      {"\xEF\xBB\xBF" + kHead, E::kNotAManifest, 1},
      {"online-setup-manifest=2\nrelease=1\n", E::kUnsupportedVersion, 1},
      {"online-setup-manifest=1\n", E::kMissingKey, 1},
      {"online-setup-manifest=1\n" + File("a"), E::kMissingKey, 2},
      {kHead + "\n", E::kBadLine, 3},
      {kHead + "release\n", E::kBadLine, 3},
      {kHead + "expires=2030-01-01\r\r\n", E::kBadLine, 3},
      {kHead + "file=\xC3\xA9\n", E::kBadLine, 3},
      {kHead + "comment=x\n", E::kUnknownKey, 3},
      {kHead + "Release=1\n", E::kUnknownKey, 3},
      {kHead + "release=8\n", E::kRepeatedKey, 3},
      {kHead + "online-setup-manifest=1\n", E::kRepeatedKey, 3},
      {kHead + "expires=2030-01-01\nexpires=2030-01-01\n", E::kRepeatedKey, 4},
      {kHead + File("a") + "release=8\n", E::kMisplacedKey, 6},
      {kHead + "size=1\n", E::kMisplacedKey, 3},
      {kHead + File("a", "block=" + kA + "\n"), E::kMisplacedKey, 6},
      {kHead + File("a", "size=1\n"), E::kRepeatedKey, 6},
      {kHead + "file=a\nsize=1\nfile=b\n", E::kMissingKey, 3},
      {kHead + File("a") + "file=b\nsha256=" + kA + "\n", E::kMissingKey, 6},
      {kHead + File("a") + File("b") + File("a"), E::kDuplicateFile, 9},
      {kHead + "file=a\nsha256=" + std::string(64, 'A') + "\n", E::kBadDigest, 4},
      {kHead + "file=a\nsha256=" + kA.substr(1) + "\n", E::kBadDigest, 4},
      {kHead + "file=a\nsize=65537\nsha256=" + kA + "\nblock-size=65536\nblock=" + kA + "\n",
       E::kWrongBlockCount, 3},
      {kHead + "file=a\nsize=65536\nsha256=" + kA + "\nblock-size=65536\nblock=" + kA + "\nblock=" +
           kA + "\nfile=b\n",
       E::kWrongBlockCount, 3},
      {std::string(kMaxManifestBytes + 1, 'x'), E::kTooLarge, 0},
  };
  for (const Case& c : cases) {
    SignedManifest m;
    m.release = 99;
    const ManifestStatus status = ParseSignedManifest(c.text, &m);
    EXPECT_EQ(status.error, c.error) << c.text.substr(0, 200) << ": " << ManifestErrorText(status.error);
    EXPECT_EQ(status.line, c.line) << c.text.substr(0, 200);
    EXPECT_EQ(m.release, 99u) << "filled on failure";
  }
}

// One header or record line in place; `error` kNone means it is accepted.
TEST(SignedManifest, ValuesMustBeCanonical) {
  using E = ManifestError;
  struct Case {
    std::string line;
    ManifestError error;
  } cases[] = {
      {"release=9223372036854775807", E::kNone},   {"release=9223372036854775808", E::kBadNumber},
      {"release=18446744073709551616", E::kBadNumber}, {"release=0", E::kBadNumber},
      {"release=07", E::kBadNumber},  {"release=+7", E::kBadNumber},  {"release=-7", E::kBadNumber},
      {"release= 7", E::kBadNumber},  {"release=", E::kBadNumber},    {"release=1e3", E::kBadNumber},
      {"expires=2028-02-29", E::kNone}, {"expires=2000-02-29", E::kNone},
      {"expires=2027-02-29", E::kBadDate}, {"expires=1900-02-29", E::kBadDate},
      {"expires=2027-04-31", E::kBadDate}, {"expires=2027-13-01", E::kBadDate},
      {"expires=2027-1-01", E::kBadDate},  {"expires=0000-01-01", E::kBadDate},
      {"expires=2027/01/01", E::kBadDate}, {"expires=2027-01-01 ", E::kBadDate},
      {"size=0", E::kNone},  {"size=00", E::kBadNumber},  {"size=9223372036854775808", E::kBadNumber},
      {"block-size=65536", E::kNone},      {"block-size=67108864", E::kNone},
      {"block-size=32768", E::kBadBlockSize}, {"block-size=134217728", E::kBadBlockSize},
      {"block-size=100000", E::kBadBlockSize}, {"block-size=065536", E::kBadNumber},
      {"file=game/game.zip", E::kNone},    {"file=.hidden", E::kNone},  {"file=a..b", E::kNone},
      {"file=v1.2/x-y_z~+.bin", E::kNone}, {"file=" + std::string(255, 'n'), E::kNone},
      {"file=" + std::string(256, 'n'), E::kBadName}, {"file=", E::kBadName},
      {"file=/a", E::kBadName},  {"file=a\\b", E::kBadName}, {"file=../a", E::kBadName},
      {"file=a/../b", E::kBadName}, {"file=a//b", E::kBadName}, {"file=a/", E::kBadName},
      {"file=./a", E::kBadName}, {"file=a.", E::kBadName},   {"file=d/nul", E::kBadName},
      {"file=con.txt", E::kBadName}, {"file=a b", E::kBadName}, {"file=a:b", E::kBadName},
      {"file=a%2fb", E::kBadName},
  };
  for (const Case& c : cases) {
    const std::string key = c.line.substr(0, c.line.find('='));
    auto own = [&](const char* k, const std::string& other) { return (key == k ? c.line : other) + "\n"; };
    const std::string text = "online-setup-manifest=1\n" + own("release", "release=7") +
                             own("expires", "expires=2030-01-01") + own("file", "file=a") + "sha256=" +
                             kA + "\n" + own("size", "size=0") + own("block-size", "block-size=65536");
    SignedManifest m;
    EXPECT_EQ(ParseSignedManifest(text, &m).error, c.error) << c.line;
  }
}

TEST(SignedManifest, ExpiresAfterItsLastDay) {
  SignedManifest m;
  EXPECT_FALSE(IsManifestExpired(m, ManifestDate{9999, 12, 31}));
  m.hasExpiry = true;
  m.expires = {2027, 3, 15};
  struct Case {
    ManifestDate today;
    bool expired;
  } cases[] = {{{2027, 3, 15}, false}, {{2027, 3, 16}, true}, {{2027, 4, 1}, true},
               {{2028, 1, 1}, true},   {{2027, 2, 28}, false}, {{2026, 12, 31}, false}};
  for (const Case& c : cases)
    EXPECT_EQ(IsManifestExpired(m, c.today), c.expired) << c.today.year << "-" << c.today.month << "-" << c.today.day;
}

// A release is judged against the one this machine installed and by the
// earlier of the local and the server's date.
TEST(SignedRelease, OlderOrExpiredReleasesAreRefused) {
  using V = ReleaseVerdict;
  SignedManifest m;
  m.release = 5;
  m.hasExpiry = true;
  m.expires = {2027, 3, 15};
  const ManifestDate before{2027, 3, 1}, last{2027, 3, 15}, after{2027, 3, 16}, far{2031, 1, 1};
  const ManifestDate invalid{2027, 2, 30};
  struct Case {
    uint64_t installed;
    ManifestDate local;
    const ManifestDate* server;
    ReleaseVerdict verdict;
  } cases[] = {
      {0, before, nullptr, V::kAccepted},  {5, before, nullptr, V::kAccepted},
      {4, last, nullptr, V::kAccepted},    {6, before, nullptr, V::kOlder},
      {6, after, nullptr, V::kOlder},      {0, after, nullptr, V::kExpired},
      {0, far, &before, V::kAccepted},     // a clock far ahead: the server's date holds
      {0, before, &far, V::kAccepted},     // a later server date never expires it early
      {0, after, &far, V::kExpired},       // nor revives what the local date retired
      {0, far, &after, V::kExpired},       {0, far, &invalid, V::kExpired},
  };
  for (const Case& c : cases)
    EXPECT_EQ(JudgeRelease(m, c.installed, c.local, c.server), c.verdict)
        << c.installed << " " << c.local.year << "-" << c.local.month << "-" << c.local.day;
  m.hasExpiry = false;
  EXPECT_EQ(JudgeRelease(m, 5, far, nullptr), V::kAccepted);

  // The record of a URL is found by its server path, whatever the host.
  m.files = {ManifestFile{"Image/Agency_7/main.exe", 3, Sha256Digest{}, 0, {}}};
  EXPECT_EQ(ManifestRecordForUrl(m, "http://mirror:81/Image/Agency_7/main.exe"), &m.files[0]);
  EXPECT_EQ(ManifestRecordForUrl(m, "http://h/Image/Agency_8/main.exe"), nullptr);
  EXPECT_EQ(ManifestRecordForUrl(m, "not a url"), nullptr);
  EXPECT_TRUE(MatchesManifestRecord(m.files[0], 3, Sha256Digest{}));
  Sha256Digest other{};
  other[31] = 1;
  EXPECT_FALSE(MatchesManifestRecord(m.files[0], 3, other));
  EXPECT_FALSE(MatchesManifestRecord(m.files[0], 4, Sha256Digest{}));
}

TEST(SignedRelease, HttpDates) {
  struct Case {
    const char* text;
    bool ok;
    ManifestDate date;
  } cases[] = {
      {"Sun, 06 Nov 1994 08:49:37 GMT", true, {1994, 11, 6}},
      {"Tue, 29 Feb 2028 23:59:60 GMT", true, {2028, 2, 29}},
      {"Tue, 29 Feb 2027 00:00:00 GMT", false, {}},
      {"Sun, 06 Nov 1994 08:49:37 UTC", false, {}},
      {"Sunday, 06-Nov-94 08:49:37 GMT", false, {}},
      {"Sun Nov  6 08:49:37 1994", false, {}},
      {"Sun, 6 Nov 1994 08:49:37 GMT", false, {}},
      {"Sun, 06 Now 1994 08:49:37 GMT", false, {}},
      {"Sun, 06 Nov 1994 24:00:00 GMT", false, {}},
      {"", false, {}},
  };
  for (const Case& c : cases) {
    ManifestDate d{1, 1, 1};
    EXPECT_EQ(ParseHttpDate(c.text, &d), c.ok) << c.text;
    if (c.ok) {
      EXPECT_TRUE(d == c.date) << c.text;
    }
  }
}

TEST(ManifestSignature, OneLineOf128LowercaseDigits) {
  const std::string hex = std::string(64, '0') + std::string(62, 'f') + "1e";
  struct Case {
    std::string text;
    bool ok;
  } cases[] = {
      {hex, true},           {hex + "\n", true},        {hex + "\r\n", true},
      {hex + "\n\n", false}, {hex + "\r", false},       {hex + " ", false},
      {hex.substr(2), false}, {hex + "00", false},      {"F" + hex.substr(1), false},
      {"", false},           {"\n", false},
  };
  for (const Case& c : cases) {
    ManifestSignature sig{};
    EXPECT_EQ(ParseSignatureHex(c.text, &sig), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(sig[32], 0xff);
      EXPECT_EQ(sig[63], 0x1e);
      EXPECT_EQ(SignatureHex(sig), hex + "\n");
    }
  }
}

TEST(ManifestSignature, SignedPlacesOfUrls) {
  struct Case {
    const char* url;
    const char* path;  // ServerPathOfUrl
    const char* sig;   // SiblingUrl(url, ".sig")
    const char* name;  // ManifestNameOfUrl
  } cases[] = {
      {"http://h/uploads/a.txt", "/uploads/a.txt", "http://h/uploads/a.txt.sig", "uploads/a.txt"},
      {"https://h:8443/a.ini?v=2#top", "/a.ini?v=2", "https://h:8443/a.ini.sig?v=2#top", "a.ini"},
      {"http://h", "/", "http://h.sig", ""},
      {"http://h?q", "/?q", "http://h.sig?q", ""},
      {"h/a.txt", "", "h/a.txt.sig", ""},
      {"http:///a.txt", "", "http:///a.txt.sig", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ServerPathOfUrl(c.url), c.path) << c.url;
    EXPECT_EQ(SiblingUrl(c.url, kSignatureSuffix), c.sig) << c.url;
    EXPECT_EQ(ManifestNameOfUrl(c.url), c.name) << c.url;
  }
  // The context line comes first: the same bytes at another place sign differently.
  const Sha256Digest d = SignedFileDigest("/uploads/online_setup.txt", "[setup]\r\n");
  EXPECT_EQ(Sha256Hex(d.data()), "e99f3a79ab0da971e2d7c98727e6af000bf5b04ac369a6ed85de5742f81af2ef");
  EXPECT_NE(SignedFileDigest("/uploads/online_setup2.txt", "[setup]\r\n"), d);
}
