// package_builder keygen <folder>
//   Makes the publisher's ECDSA P-256 key pair: <folder>/publisher-private.pem
//   (mode 0600, never to be published or committed) and
//   <folder>/publisher-public.pem (the file -DPUBLISHER_KEY_FILE takes).
//   Refuses to overwrite either.
//
// package_builder publish <content> <site> --settings FILE
//                         (--key PRIVATE.pem | --unsigned) [--convert-utf8]
//   Builds the package from <content> (the checks of `build`), writes the
//   setup description, the agency texts and programs, the update list and,
//   signed, the release manifest and every .sig into <site>, a new or empty
//   folder that the nginx kit (deploy/) serves as its root. Everything written
//   is read back and checked (the manifest parsed, each record against its
//   file, each signature against the public key) before the signatures are
//   written; on any refusal the folder is left empty.
//   The settings file is described in publish_settings.cpp.
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "core/block_digests.h"
#include "core/manifest_signature.h"
#include "core/signed_manifest.h"
#include "builder_commands.h"
#include "net/servers.h"
#include "publisher_key.h"
#include "site_tree.h"

namespace fs = std::filesystem;

namespace {

constexpr char kAgreementPath[] = "/Treaty.aspx";
constexpr char kPackagesPath[] = "/packages/";
constexpr size_t kUrlBuffer = 512;
constexpr char kPrivateKeyName[] = "publisher-private.pem";
constexpr char kPublicKeyName[] = "publisher-public.pem";

// Empties the site's folder unless kept: whatever fails once the folder is
// there leaves it empty, since half a site must never be served.
struct EmptiedUnlessKept {
  std::string root;  // cleared to keep the site
  ~EmptiedUnlessKept() {
    if (root.empty()) return;
    std::error_code ignored;
    for (const auto& entry : fs::directory_iterator(root, ignored)) fs::remove_all(entry, ignored);
  }
};

// The site's folder: new, or one that is empty.
bool MakeSiteFolder(const std::string& root, std::string* error) {
  std::error_code ec;
  if (fs::exists(root, ec) && !(fs::is_directory(root, ec) && fs::is_empty(root, ec))) {
    return *error = root + " is not an empty folder; publish into a new one", false;
  }
  fs::create_directories(root, ec);
  if (ec) return *error = "cannot create " + root, false;
  return true;
}

// The update list naming the package, and the manifest's records of both.
bool WriteUpdateList(const Site& site, const std::string& package_url, SiteTree* out,
                     SignedManifest* manifest, std::string* error) {
  const std::string list_url = site.download + kUpdateListPath;
  const std::string list =
      "[list0]\r\naction=3\r\nsrcfile=" + package_url + "\r\ndestfile=" + site.package +
      "\r\ncmd=DEC\r\n";
  return out->Write(list_url, list, error) && out->Record(list_url, 0, manifest, error) &&
         out->Record(package_url, kDefaultVerifyBlockSize, manifest, error);
}

// An agency's text (signed) and, when it has one, its program (in the
// manifest).
bool WriteAgency(const Site& site, const Agency& agency, SiteTree* out, SignedManifest* manifest,
                 std::string* error) {
  char url[kUrlBuffer];
  std::snprintf(url, sizeof url, servers::kAgencyTextUrlFormat,
                (site.agency_server + servers::kAgencyTextBasePath).c_str(), agency.id.c_str());
  if (!out->Write(url, agency.text, error, true)) return false;
  if (agency.program_path.empty()) return true;
  std::string program;
  // The installer ignores an agency program that is no Windows program.
  if (!ReadWholeFile(agency.program_path, &program) || program.rfind("MZ", 0) != 0) {
    *error = "agency program " + agency.program_path + " is missing or no Windows program";
    return false;
  }
  std::snprintf(url, sizeof url, servers::kAgencyExeUrlFormat, site.download.c_str(),
                agency.id.c_str(), servers::kAgencyExeName);
  return out->Write(url, program, error) && out->Record(url, 0, manifest, error);
}

// Writes the manifest and reads it back: what the installer will parse,
// and every record against its file.
bool WriteManifest(const Site& site, const SignedManifest& manifest, SiteTree* out,
                   std::string* error) {
  const std::string manifest_url = SiblingUrl(site.download + kUpdateListPath, kManifestSuffix);
  if (!out->Write(manifest_url, WriteSignedManifest(manifest), error, true)) return false;
  std::string text;
  SignedManifest back;
  if (!ReadWholeFile(InTree(out->root, manifest_url), &text)) {
    return *error = "cannot read back the manifest", false;
  }
  const ManifestStatus status = ParseSignedManifest(text, &back);
  if (!status.ok()) {
    *error = std::string("manifest refused on line ") + std::to_string(status.line) + ": " +
             ManifestErrorText(status.error);
    return false;
  }
  if (!(back == manifest)) return *error = "manifest does not read back as written", false;
  for (const ManifestFile& f : back.files) {
    ManifestFile now;
    if (!RecordOf(f.name, out->root + "/" + f.name, f.blockSize, &now, error)) return false;
    if (!(now == f)) return *error = "file changed while publishing: " + f.name, false;
  }
  return true;
}

// Everything after the package: the update list, the agencies, the
// agreement and, with a key, the manifest and the signatures.
bool WriteRest(const Site& site, const std::string& package_url, const PublisherKey* key,
               SiteTree* out, std::string* error) {
  SignedManifest manifest;
  manifest.release = site.release;
  manifest.hasExpiry = site.has_expiry;
  manifest.expires = site.expires;
  if (!WriteUpdateList(site, package_url, out, &manifest, error)) return false;
  for (const Agency& agency : site.agencies) {
    if (!WriteAgency(site, agency, out, &manifest, error)) return false;
  }
  if (!site.agreement.empty() && !out->Copy(site.download + kAgreementPath, site.agreement, error)) {
    return false;
  }
  if (!key) return true;
  return WriteManifest(site, manifest, out, error) &&
         SignAll(out->signed_files, *key, out, error);
}

int Publish(const std::string& content, const std::string& root, const std::string& settings,
            const PublisherKey* key, bool convert_utf8) {
  Site site;
  std::string error;
  if (!ReadSettings(settings, convert_utf8, key != nullptr, &site, &error) ||
      !MakeSiteFolder(root, &error)) {
    return Fail(1, error);
  }
  EmptiedUnlessKept emptied{root};
  SiteTree out{root, {}};

  const std::string setup_url = site.download + servers::kSetupDescriptionPath;
  if (!out.Write(setup_url, site.setup, &error, true)) return Fail(1, error);

  // The package is built from the setup description just written, by
  // `build` itself, which says why when it refuses.
  const std::string package_url = site.download + kPackagesPath + site.package;
  BuildOptions build;
  build.setup = InTree(root, setup_url);
  build.convert_utf8 = convert_utf8;
  std::error_code ec;
  fs::create_directories(fs::path(InTree(root, package_url)).parent_path(), ec);
  if (BuildPackage(content, InTree(root, package_url), build) != 0) return 1;

  if (!WriteRest(site, package_url, key, &out, &error)) return Fail(1, error);
  emptied.root.clear();
  std::printf("%s: %s site, release %llu, %zu agencies; public key %s\n", root.c_str(),
              key ? "signed" : "unsigned (for unkeyed installers only)",
              static_cast<unsigned long long>(site.release), site.agencies.size(),
              key ? key->PublicHex().c_str() : "none");
  return 0;
}

}  // namespace

int PublishCommand(int argc, char** argv) {
  std::string settings, key_path;
  bool unsigned_site = false, convert_utf8 = false;
  std::vector<std::string> plain;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if ((arg == "--settings" || arg == "--key") && i + 1 < argc) {
      (arg == "--settings" ? settings : key_path) = argv[++i];
    } else if (arg == "--unsigned") {
      unsigned_site = true;
    } else if (arg == "--convert-utf8") {
      convert_utf8 = true;
    } else if (arg.rfind("--", 0) != 0) {
      plain.push_back(arg);
    } else {
      plain.clear();
      break;
    }
  }
  // Signed or not is always said: a forgotten --key must not give a site
  // that every keyed installer refuses.
  if (plain.size() != 2 || settings.empty() || key_path.empty() == !unsigned_site) {
    std::fprintf(stderr, "usage: package_builder publish <folder> <site> --settings FILE\n"
                         "                               (--key PRIVATE.pem | --unsigned) "
                         "[--convert-utf8]\n");
    return 2;
  }
  std::unique_ptr<PublisherKey> key;
  if (!key_path.empty()) {
    std::string pem, error;
    if (!ReadWholeFile(key_path, &pem)) return Fail(1, "cannot read " + key_path);
    key = PublisherKey::LoadPrivate(pem, &error);
    if (!key) return Fail(1, key_path + ": " + error);
  }
  return Publish(plain[0], plain[1], settings, key.get(), convert_utf8);
}

int KeygenCommand(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: package_builder keygen <folder>\n");
    return 2;
  }
  const std::string folder = argv[1];
  const std::string private_path = folder + "/" + kPrivateKeyName;
  const std::string public_path = folder + "/" + kPublicKeyName;
  // Neither key is overwritten: each is written only where no file is yet.
  std::error_code ec;
  fs::create_directories(folder, ec);
  std::string error;
  std::unique_ptr<PublisherKey> key = PublisherKey::Generate(&error);
  if (!key) return Fail(1, error);
  const std::string private_pem = key->PrivatePem();
  if (private_pem.empty() || !WriteNewFile(private_path, private_pem, 0600, &error)) {
    return Fail(1, error.empty() ? "cannot write the private key" : error);
  }
  if (!WriteNewFile(public_path, key->PublicPem(), 0644, &error)) {
    std::remove(private_path.c_str());
    return Fail(1, error);
  }
  std::printf("private key: %s (keep it secret, never publish it)\npublic key:  %s "
              "(-DPUBLISHER_KEY_FILE)\nkey: %s\n",
              private_path.c_str(), public_path.c_str(), key->PublicHex().c_str());
  return 0;
}
