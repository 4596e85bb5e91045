// keygen and publish, run as the publisher runs them: the site they lay out
// is read with the installer's own rules (the manifest parser, the signed
// digest) and its signatures are checked with libcrypto apart from the tool.
#include <gtest/gtest.h>
#include <openssl/bn.h>
#include <openssl/ec.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "core/block_digests.h"
#include "core/manifest_signature.h"
#include "core/signed_manifest.h"

namespace fs = std::filesystem;

namespace {

std::string Read(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void Write(const fs::path& p, const std::string& bytes) {
  fs::create_directories(p.parent_path());
  std::ofstream(p, std::ios::binary) << bytes;
}

// True when `sig_hex` is a valid r||s signature of `digest` under the PEM key.
bool VerifiesWith(const std::string& public_pem, const Sha256Digest& digest,
                  const std::string& sig_hex) {
  ManifestSignature rs;
  if (!ParseSignatureHex(sig_hex, &rs)) return false;
  BIO* bio = BIO_new_mem_buf(public_pem.data(), static_cast<int>(public_pem.size()));
  EVP_PKEY* key = PEM_read_bio_PUBKEY(bio, nullptr, nullptr, nullptr);
  BIO_free(bio);
  ECDSA_SIG* sig = ECDSA_SIG_new();
  ECDSA_SIG_set0(sig, BN_bin2bn(rs.data(), 32, nullptr), BN_bin2bn(rs.data() + 32, 32, nullptr));
  unsigned char* der = nullptr;
  const int n = i2d_ECDSA_SIG(sig, &der);
  EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new(key, nullptr);
  const bool ok = key && EVP_PKEY_verify_init(ctx) > 0 &&
                  EVP_PKEY_verify(ctx, der, n, digest.data(), digest.size()) == 1;
  EVP_PKEY_CTX_free(ctx);
  OPENSSL_free(der);
  ECDSA_SIG_free(sig);
  EVP_PKEY_free(key);
  return ok;
}

class PublishTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/publish_test.XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    Write(dir_ / "product/main.exe", "MZ client");
    Write(dir_ / "product/uninstall/uninst.exe", "MZ uninstaller");
    Write(dir_ / "product/Config/client.ini", "[client]\r\ntitle=Demo\r\n");
    // More than one 4 MiB block, in a package that does not compress.
    std::string bulk(4300000, '\0');
    uint64_t x = 88172645463325252u;
    for (char& c : bulk) {
      x ^= x << 13, x ^= x >> 7, x ^= x << 17;
      c = static_cast<char>(x);
    }
    Write(dir_ / "product/data/bulk.bin", bulk);
    Write(dir_ / "agency/main.exe", "MZ agency edition");
  }
  void TearDown() override { fs::remove_all(dir_); }

  int Run(const std::string& args) {
    const std::string command = "cd '" + dir_.string() + "' && '" PACKAGE_BUILDER_EXE "' " + args +
                                " >>run.log 2>&1";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  void Settings(const std::string& site_extra, const std::string& exe = "main.exe",
                const std::string& agency = "678", const std::string& server = "http://127.0.0.1:18080") {
    Write(dir_ / "site.ini", "[site]\ndownload_server=" + server + "\n" + site_extra +
                                 "\n[setup]\ngamename=Demo\nexefilename=" + exe +
                                 "\nsize=50\nuninstname=uninst.exe\n\n[agency " + agency +
                                 "]\nProductName=Demo\nDomainName=" + server +
                                 "\nprogram=agency/main.exe\n");
  }

  fs::path dir_;
};

TEST_F(PublishTest, KeygenWritesAPairAndNeverOverwrites) {
  const struct {
    const char* existing;  // a file already in the folder, or null
    int exit_code;
  } cases[] = {{nullptr, 0}, {"publisher-private.pem", 1}, {"publisher-public.pem", 1}};
  for (const auto& c : cases) {
    const fs::path keys = dir_ / "keys";
    fs::remove_all(keys);
    if (c.existing) Write(keys / c.existing, "kept");
    EXPECT_EQ(Run("keygen keys"), c.exit_code) << (c.existing ? c.existing : "empty");
    if (c.existing) {
      EXPECT_EQ(Read(keys / c.existing), "kept");
      EXPECT_EQ(std::distance(fs::directory_iterator(keys), fs::directory_iterator()), 1);
    } else {
      struct stat st{};
      ASSERT_EQ(stat((keys / "publisher-private.pem").c_str(), &st), 0);
      EXPECT_EQ(st.st_mode & 0777, 0600u);
      EXPECT_NE(Read(keys / "publisher-public.pem").find("BEGIN PUBLIC KEY"), std::string::npos);
    }
  }
}

TEST_F(PublishTest, SignedSiteReadsAndVerifiesWithItsKeyOnly) {
  ASSERT_EQ(Run("keygen keys"), 0);
  ASSERT_EQ(Run("keygen other"), 0);
  Settings("release=7\nexpires=2031-01-31");
  ASSERT_EQ(Run("publish product www --settings site.ini --key keys/publisher-private.pem"), 0)
      << Read(dir_ / "run.log");
  const fs::path www = dir_ / "www";
  SignedManifest manifest;
  ASSERT_TRUE(ParseSignedManifest(Read(www / "update/list.ini.manifest"), &manifest).ok());
  EXPECT_EQ(manifest.release, 7u);
  EXPECT_TRUE(manifest.hasExpiry && manifest.expires == (ManifestDate{2031, 1, 31}));

  const struct {
    const char* name;
    uint64_t blocks;
  } records[] = {{"update/list.ini", 0}, {"packages/hall.zip", 2}, {"Image/Agency_678/main.exe", 0}};
  EXPECT_EQ(manifest.files.size(), std::size(records));
  for (const auto& r : records) {
    const ManifestFile* f = FindManifestFile(manifest, r.name);
    ASSERT_NE(f, nullptr) << r.name;
    const std::string bytes = Read(www / r.name);
    EXPECT_EQ(f->size, bytes.size()) << r.name;
    EXPECT_EQ(f->sha256, Sha256Of(bytes.data(), bytes.size())) << r.name;
    ASSERT_EQ(f->blocks.size(), r.blocks) << r.name;
    if (r.blocks == 0) continue;
    BlockDigests check(f->size, f->blockSize, f->blocks);
    std::vector<BlockCheck> done;
    ASSERT_TRUE(check.usable());
    check.Feed(bytes.data(), bytes.size(), &done);
    EXPECT_EQ(check.verified_end(), f->size) << r.name;
    EXPECT_FALSE(check.any_bad());
  }
  EXPECT_NE(Read(www / "update/list.ini").find("srcfile=http://127.0.0.1:18080/packages/hall.zip"),
            std::string::npos);

  const std::string key = Read(dir_ / "keys/publisher-public.pem");
  const std::string other = Read(dir_ / "other/publisher-public.pem");
  for (const char* path : {"/uploads/online_setup.txt", "/uploads/txt/Agency/Agency_678.txt",
                           "/update/list.ini.manifest"}) {
    const std::string bytes = Read(www.string() + path);
    const std::string sig = Read(www.string() + path + ".sig");
    EXPECT_TRUE(VerifiesWith(key, SignedFileDigest(path, bytes), sig)) << path;
    EXPECT_FALSE(VerifiesWith(other, SignedFileDigest(path, bytes), sig)) << path;
    // Bound to its place: the same bytes served elsewhere do not verify.
    EXPECT_FALSE(VerifiesWith(key, SignedFileDigest("/uploads/other.txt", bytes), sig)) << path;
  }
}

TEST_F(PublishTest, UnsignedSiteIsTheSameTreeWithoutSignatures) {
  Settings("");
  ASSERT_EQ(Run("publish product www --settings site.ini --unsigned"), 0) << Read(dir_ / "run.log");
  std::vector<std::string> files;
  for (const auto& e : fs::recursive_directory_iterator(dir_ / "www")) {
    if (e.is_regular_file()) files.push_back(fs::relative(e.path(), dir_ / "www").string());
  }
  std::sort(files.begin(), files.end());
  EXPECT_EQ(files, (std::vector<std::string>{"Image/Agency_678/main.exe", "packages/hall.zip",
                                             "update/list.ini", "uploads/online_setup.txt",
                                             "uploads/txt/Agency/Agency_678.txt"}));
}

TEST_F(PublishTest, RefusalsLeaveNoSite) {
  ASSERT_EQ(Run("keygen keys"), 0);
  const std::string signed_args = "publish product www --settings site.ini --key keys/publisher-private.pem";
  const struct {
    const char* what;
    std::string site_extra, exe, agency, server, args;
    int exit_code;
  } cases[] = {
      {"main program not in the package", "release=1", "game.exe", "678", "http://h", signed_args, 1},
      {"agency id the installer upper-cases", "release=1", "main.exe", "b12", "http://h", signed_args, 1},
      {"server URL with a path", "release=1", "main.exe", "678", "http://h/game", signed_args, 1},
      {"signed without a release", "", "main.exe", "678", "http://h", signed_args, 1},
      {"expiry that is no date", "release=1\nexpires=2031-02-30", "main.exe", "678", "http://h",
       signed_args, 1},
      {"neither --key nor --unsigned", "release=1", "main.exe", "678", "http://h",
       "publish product www --settings site.ini", 2},
  };
  for (const auto& c : cases) {
    fs::remove_all(dir_ / "www");
    Settings(c.site_extra, c.exe, c.agency, c.server);
    EXPECT_EQ(Run(c.args), c.exit_code) << c.what;
    EXPECT_TRUE(!fs::exists(dir_ / "www") || fs::is_empty(dir_ / "www")) << c.what;
  }
  // A folder that holds anything is not published into.
  Settings("release=1");
  Write(dir_ / "www/old.txt", "old");
  EXPECT_EQ(Run(signed_args), 1);
  EXPECT_EQ(Read(dir_ / "www/old.txt"), "old");
}

}  // namespace
