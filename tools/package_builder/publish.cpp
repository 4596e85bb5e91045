// package_builder keygen <folder>
//   Makes the publisher's ECDSA P-256 key pair: <folder>/publisher-private.pem
//   (mode 0600, never to be published or committed) and
//   <folder>/publisher-public.pem (the file -DPUBLISHER_KEY_FILE takes).
//   Refuses to overwrite either.
// package_builder publish <content> <site> --settings FILE
//                         (--key PRIVATE.pem | --unsigned) [--convert-utf8]
//   Builds the package from <content> (the checks of `build`), writes the
//   setup description, the agency texts and programs, the update list and,
//   signed, the release manifest and every .sig into <site>, a new or empty
//   folder that the nginx kit (deploy/) serves as its root. Everything written
//   is read back and checked (the manifest parsed, each record against its
//   file, each signature against the public key) before the signatures are
//   written; on any refusal the folder is left empty.
//
// The settings file (UTF-8; ";" or "#" lines are comments):
//   [site]
//   download_server=http://download.example.com
//   agency_text_server=http://agency.example.com   (default: download_server)
//   package=hall.zip                                (default hall.zip)
//   release=3               (signed sites: must grow with every release)
//   expires=2027-06-30      (optional: the last day keyed installers take it)
//   agreement=treaty.html   (optional: served as /Treaty.aspx)
//   [setup]                 copied into the setup description's [setup]
//   exefilename=main.exe
//   ...
//   [agency 678]            one per agency: its [BaseInfo] keys (Enable=1 is
//   ProductName=...         added unless given), or text=FILE for a ready
//   DomainName=...          agency text; program=FILE ships the agency's
//   program=agency/main.exe edition of main.exe.
// Paths in the settings are relative to the settings file's folder.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <regex>
#include <string>
#include <utility>
#include <vector>

#include "core/block_digests.h"
#include "core/manifest_signature.h"
#include "core/sha256.h"
#include "core/signed_manifest.h"
#include "builder_commands.h"
#include "builder_host.h"
#include "net/servers.h"
#include "publisher_key.h"
#include "text_check.h"

namespace fs = std::filesystem;

namespace {

constexpr char kPrivateKeyName[] = "publisher-private.pem";
constexpr char kPublicKeyName[] = "publisher-public.pem";
constexpr char kUpdateListPath[] = "/update/list.ini";
constexpr char kAgreementPath[] = "/Treaty.aspx";
constexpr char kPackagesPath[] = "/packages/";

int Refuse(const std::string& message) {
  std::fprintf(stderr, "package_builder: %s\n", message.c_str());
  return 1;
}

// Writes `bytes` to a file that must not exist yet, with `mode`.
bool WriteNewFile(const std::string& path, const std::string& bytes, mode_t mode,
                  std::string* error) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, mode);
  if (fd < 0) {
    *error = errno == EEXIST ? path + " exists already; not overwritten" : "cannot write " + path;
    return false;
  }
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  const bool ok = ::close(fd) == 0 && done == bytes.size();
  if (!ok) *error = "cannot write " + path;
  return ok;
}

std::string Trim(std::string s) {
  const size_t first = s.find_first_not_of(" \t");
  if (first == std::string::npos) return std::string();
  return s.substr(first, s.find_last_not_of(" \t") - first + 1);
}

struct Section {
  std::string name;
  std::vector<std::pair<std::string, std::string>> values;
  const std::string* Find(const std::string& key) const {
    for (const auto& kv : values) {
      if (kv.first == key) return &kv.second;
    }
    return nullptr;
  }
};

bool ParseSettings(const std::string& text, std::vector<Section>* sections, std::string* error) {
  size_t at = 0;
  int line_number = 0;
  while (at < text.size()) {
    size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(at, end - at);
    at = end + 1;
    ++line_number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    line = Trim(line);
    if (line.empty() || line[0] == ';' || line[0] == '#') continue;
    const std::string where = "settings line " + std::to_string(line_number) + ": ";
    if (line.front() == '[' && line.back() == ']') {
      const std::string name = Trim(line.substr(1, line.size() - 2));
      for (const Section& s : *sections) {
        if (s.name == name) return *error = where + "[" + name + "] given twice", false;
      }
      sections->push_back({name, {}});
      continue;
    }
    const size_t eq = line.find('=');
    if (sections->empty() || eq == std::string::npos || eq == 0) {
      *error = where + "expected [section] or key=value";
      return false;
    }
    const std::string key = Trim(line.substr(0, eq));
    if (sections->back().Find(key)) return *error = where + key + " given twice", false;
    sections->back().values.emplace_back(key, Trim(line.substr(eq + 1)));
  }
  return true;
}

// scheme://host[:port], nothing more: what the installer is built with
// (the rule of cmake/server_url.cmake).
bool IsServerBase(const std::string& url) {
  static const std::regex pattern(
      "https?://([A-Za-z0-9]([A-Za-z0-9-]*[A-Za-z0-9])?(\\.[A-Za-z0-9]([A-Za-z0-9-]*[A-Za-z0-9])?)*"
      "|\\[[0-9A-Fa-f:.]+\\])(:([0-9]{1,5}))?");
  std::smatch m;
  if (!std::regex_match(url, m, pattern)) return false;
  return !m[6].matched || (std::stoi(m[6].str()) >= 1 && std::stoi(m[6].str()) <= 65535);
}

bool ParseNumber(const std::string& text, uint64_t max, uint64_t* out) {
  if (text.empty() || text.size() > 19 || text[0] == '0') return false;
  uint64_t n = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    n = n * 10 + static_cast<uint64_t>(c - '0');
  }
  if (n > max) return false;
  *out = n;
  return true;
}

bool ParseDate(const std::string& text, ManifestDate* date) {
  if (text.size() != 10 || text[4] != '-' || text[7] != '-') return false;
  uint64_t y = 0, m = 0, d = 0;
  const std::string ys = text.substr(0, 4), ms = text.substr(5, 2), ds = text.substr(8, 2);
  auto digits = [](const std::string& s, uint64_t* v) {
    *v = 0;
    for (char c : s) {
      if (c < '0' || c > '9') return false;
      *v = *v * 10 + static_cast<uint64_t>(c - '0');
    }
    return true;
  };
  if (!digits(ys, &y) || !digits(ms, &m) || !digits(ds, &d)) return false;
  *date = {static_cast<int>(y), static_cast<int>(m), static_cast<int>(d)};
  return IsValidManifestDate(*date);
}

// A file of the site: its server path and where it lies in the tree.
struct SiteFile {
  std::string url;
  std::string path;
};

struct Agency {
  std::string id;
  std::string text;          // GBK
  std::string program_path;  // empty: none shipped
};

struct Site {
  std::string download, agency_server, package = "hall.zip", agreement;
  uint64_t release = 0;
  bool has_expiry = false;
  ManifestDate expires;
  std::string setup;  // the setup description, GBK
  std::vector<Agency> agencies;
};

std::string InTree(const std::string& root, const std::string& url) {
  return root + ServerPathOfUrl(url);
}

bool IsPlainName(const std::string& name, bool upper_only) {
  if (name.empty() || name[0] == '.' || name.back() == '.') return false;
  for (char c : name) {
    const bool ok = upper_only ? (isdigit(static_cast<unsigned char>(c)) || (c >= 'A' && c <= 'Z'))
                               : (isalnum(static_cast<unsigned char>(c)) || c == '-' ||
                                  c == '_' || c == '.' || c == '~' || c == '+');
    if (!ok) return false;
  }
  return true;
}

// Lines of `section` as an INI section in GBK, with CRLF line ends.
bool SectionText(const std::string& header, const std::vector<std::pair<std::string, std::string>>& values,
                 std::string* out, std::string* error) {
  std::string utf8 = "[" + header + "]\r\n";
  for (const auto& kv : values) utf8 += kv.first + "=" + kv.second + "\r\n";
  if (!Utf8ToPackageText(utf8, out)) {
    *error = "[" + header + "] is not UTF-8 or has text GBK cannot spell";
    return false;
  }
  return true;
}

bool ReadSettings(const std::string& settings_path, bool convert_utf8, bool signing, Site* site,
                  std::string* error) {
  std::string text;
  if (!ReadWholeFile(settings_path, &text)) return *error = "cannot read " + settings_path, false;
  std::vector<Section> sections;
  if (!ParseSettings(text, &sections, error)) return false;
  const fs::path base = fs::path(settings_path).parent_path();
  auto resolve = [&base](const std::string& p) { return (base / p).string(); };
  const Section* site_section = nullptr;
  const Section* setup_section = nullptr;
  for (const Section& s : sections) {
    if (s.name == "site") {
      site_section = &s;
    } else if (s.name == "setup") {
      setup_section = &s;
    } else if (s.name.rfind("agency ", 0) == 0) {
      Agency agency;
      agency.id = Trim(s.name.substr(7));
      // The installer upper-cases the identifier it takes from its file name.
      if (!IsPlainName(agency.id, true)) {
        return *error = "[" + s.name + "]: an agency id is digits and upper-case letters", false;
      }
      std::vector<std::pair<std::string, std::string>> base_info;
      std::string text_file;
      for (const auto& kv : s.values) {
        if (kv.first == "program") {
          agency.program_path = resolve(kv.second);
        } else if (kv.first == "text") {
          text_file = resolve(kv.second);
        } else {
          base_info.push_back(kv);
        }
      }
      if (!text_file.empty()) {
        if (!base_info.empty()) {
          return *error = "[" + s.name + "]: text= or [BaseInfo] keys, not both", false;
        }
        if (!ReadWholeFile(text_file, &agency.text)) return *error = "cannot read " + text_file, false;
        bool converted = false;
        if (!PrepareShippedText(text_file, convert_utf8, &agency.text, &converted, error)) {
          return false;
        }
      } else {
        if (!s.Find("Enable")) base_info.insert(base_info.begin(), {"Enable", "1"});
        if (!SectionText("BaseInfo", base_info, &agency.text, error)) return false;
      }
      site->agencies.push_back(agency);
    } else {
      return *error = "settings: unknown section [" + s.name + "]", false;
    }
  }
  if (!site_section) return *error = "settings: no [site] section", false;
  if (!setup_section) return *error = "settings: no [setup] section", false;
  for (const auto& kv : site_section->values) {
    const std::string& v = kv.second;
    if (kv.first == "download_server") {
      site->download = v;
    } else if (kv.first == "agency_text_server") {
      site->agency_server = v;
    } else if (kv.first == "package") {
      site->package = v;
    } else if (kv.first == "agreement") {
      site->agreement = resolve(v);
    } else if (kv.first == "release") {
      if (!ParseNumber(v, kMaxManifestNumber, &site->release)) {
        return *error = "release must be a whole number from 1 up: " + v, false;
      }
    } else if (kv.first == "expires") {
      if (!ParseDate(v, &site->expires)) return *error = "expires must be a date YYYY-MM-DD: " + v, false;
      site->has_expiry = true;
    } else {
      return *error = "settings: unknown key " + kv.first + " in [site]", false;
    }
  }
  if (site->agency_server.empty()) site->agency_server = site->download;
  for (const std::string* url : {&site->download, &site->agency_server}) {
    if (!IsServerBase(*url)) {
      return *error = "server URL \"" + *url + "\" must be http:// or https://, a host and an "
                      "optional :port, nothing more", false;
    }
  }
  if (!IsPlainName(site->package, false)) {
    return *error = "package must be a plain file name (letters, digits, - _ . ~ +): " +
                    site->package, false;
  }
  if (signing && site->release == 0) return *error = "a signed site needs release= in [site]", false;
  if (setup_section->Find("exefilename") == nullptr) {
    return *error = "[setup] names no main program (exefilename)", false;
  }
  std::string setup_text, config_text;
  const std::string list_url = site->download + kUpdateListPath;
  if (!SectionText("setup", setup_section->values, &setup_text, error)) return false;
  if (!SectionText("config", {{servers::kInstallerVersion, list_url}, {"other", list_url}},
                   &config_text, error)) {
    return false;
  }
  site->setup = setup_text + "\r\n" + config_text;
  return true;
}

// A manifest record of the file at `path`, with block digests when asked.
bool RecordOf(const std::string& name, const std::string& path, uint64_t block_size,
              ManifestFile* record, std::string* error) {
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> in(std::fopen(path.c_str(), "rb"), std::fclose);
  if (!in) return *error = "cannot read " + path, false;
  record->name = name;
  record->size = 0;
  record->blockSize = block_size;
  record->blocks.clear();
  Sha256 whole, block;
  uint64_t in_block = 0;
  std::vector<unsigned char> buffer(1 << 16);
  for (;;) {
    const size_t got = std::fread(buffer.data(), 1, buffer.size(), in.get());
    if (got == 0) break;
    whole.Update(buffer.data(), got);
    record->size += got;
    for (size_t at = 0; block_size && at < got;) {
      const size_t take = static_cast<size_t>(std::min<uint64_t>(got - at, block_size - in_block));
      block.Update(buffer.data() + at, take);
      at += take;
      in_block += take;
      if (in_block == block_size) {
        record->blocks.push_back(block.Final());
        in_block = 0;
      }
    }
  }
  if (std::ferror(in.get())) return *error = "cannot read " + path, false;
  if (in_block) record->blocks.push_back(block.Final());
  record->sha256 = whole.Final();
  return true;
}

struct Publisher {
  std::string root;
  std::vector<SiteFile> signed_files;

  bool Write(const std::string& url, const std::string& bytes, std::string* error) {
    const std::string path = InTree(root, url);
    std::error_code ec;
    fs::create_directories(fs::path(path).parent_path(), ec);
    return WriteNewFile(path, bytes, 0644, error);
  }
  bool Copy(const std::string& url, const std::string& from, std::string* error) {
    std::string bytes;
    if (!ReadWholeFile(from, &bytes)) return *error = "cannot read " + from, false;
    return Write(url, bytes, error);
  }
};

// Signs every file in `files` and checks each signature, read back from the
// tree, with the public half only, as the installer will.
bool SignAll(const std::vector<SiteFile>& files, const PublisherKey& key, Publisher* site,
             std::string* error) {
  std::unique_ptr<PublisherKey> check = key.PublicOnly(error);
  if (!check) return false;
  std::vector<std::pair<SiteFile, std::string>> signatures;
  for (const SiteFile& f : files) {
    std::string bytes;
    if (!ReadWholeFile(f.path, &bytes)) return *error = "cannot read back " + f.path, false;
    const Sha256Digest digest = SignedFileDigest(ServerPathOfUrl(f.url), bytes);
    ManifestSignature signature;
    if (!key.Sign(digest, &signature, error)) return false;
    if (!check->Verify(digest, signature)) return *error = "signature does not verify: " + f.path, false;
    signatures.emplace_back(f, SignatureHex(signature));
  }
  for (const auto& [file, hex] : signatures) {
    if (!site->Write(SiblingUrl(file.url, kSignatureSuffix), hex, error)) return false;
    std::string bytes, back;
    ManifestSignature signature;
    if (!ReadWholeFile(file.path, &bytes) ||
        !ReadWholeFile(InTree(site->root, SiblingUrl(file.url, kSignatureSuffix)), &back) ||
        !ParseSignatureHex(back, &signature) ||
        !check->Verify(SignedFileDigest(ServerPathOfUrl(file.url), bytes), signature)) {
      return *error = "signature of " + file.path + " does not read back", false;
    }
  }
  return true;
}

int Publish(const std::string& content, const std::string& root, const std::string& settings,
            const PublisherKey* key, bool convert_utf8) {
  Site site;
  std::string error;
  if (!ReadSettings(settings, convert_utf8, key != nullptr, &site, &error)) return Refuse(error);
  std::error_code ec;
  if (fs::exists(root, ec) && !(fs::is_directory(root, ec) && fs::is_empty(root, ec))) {
    return Refuse(root + " is not an empty folder; publish into a new one");
  }
  fs::create_directories(root, ec);
  if (ec) return Refuse("cannot create " + root);
  // Whatever fails from here on leaves the folder empty: half a site must
  // never be served.
  struct Emptied {
    std::string root;
    ~Emptied() {
      if (root.empty()) return;
      std::error_code ignored;
      for (const auto& entry : fs::directory_iterator(root, ignored)) fs::remove_all(entry, ignored);
    }
  } emptied{root};
  Publisher out{root, {}};

  const std::string setup_url = site.download + servers::kSetupDescriptionPath;
  if (!out.Write(setup_url, site.setup, &error)) return Refuse(error);
  out.signed_files.push_back({setup_url, InTree(root, setup_url)});

  const std::string package_url = site.download + kPackagesPath + site.package;
  BuildOptions build;
  build.setup = InTree(root, setup_url);
  build.convert_utf8 = convert_utf8;
  fs::create_directories(fs::path(InTree(root, package_url)).parent_path(), ec);
  if (BuildPackage(content, InTree(root, package_url), build) != 0) return 1;

  const std::string list_url = site.download + kUpdateListPath;
  const std::string list =
      "[list0]\r\naction=3\r\nsrcfile=" + package_url + "\r\ndestfile=" + site.package +
      "\r\ncmd=DEC\r\n";
  if (!out.Write(list_url, list, &error)) return Refuse(error);

  SignedManifest manifest;
  manifest.release = site.release;
  manifest.hasExpiry = site.has_expiry;
  manifest.expires = site.expires;
  manifest.files.resize(2);
  if (!RecordOf(ManifestNameOfUrl(list_url), InTree(root, list_url), 0, &manifest.files[0], &error) ||
      !RecordOf(ManifestNameOfUrl(package_url), InTree(root, package_url), kDefaultVerifyBlockSize,
                &manifest.files[1], &error)) {
    return Refuse(error);
  }

  for (const Agency& agency : site.agencies) {
    char url[512];
    std::snprintf(url, sizeof url, servers::kAgencyTextUrlFormat,
                  (site.agency_server + servers::kAgencyTextBasePath).c_str(), agency.id.c_str());
    if (!out.Write(url, agency.text, &error)) return Refuse(error);
    out.signed_files.push_back({url, InTree(root, url)});
    if (agency.program_path.empty()) continue;
    std::string program;
    // The installer ignores an agency program that is no Windows program.
    if (!ReadWholeFile(agency.program_path, &program) || program.rfind("MZ", 0) != 0) {
      return Refuse("agency program " + agency.program_path + " is missing or no Windows program");
    }
    std::snprintf(url, sizeof url, servers::kAgencyExeUrlFormat, site.download.c_str(),
                  agency.id.c_str(), servers::kAgencyExeName);
    if (!out.Write(url, program, &error)) return Refuse(error);
    manifest.files.emplace_back();
    if (!RecordOf(ManifestNameOfUrl(url), InTree(root, url), 0, &manifest.files.back(), &error)) {
      return Refuse(error);
    }
  }
  if (!site.agreement.empty() && !out.Copy(site.download + kAgreementPath, site.agreement, &error)) {
    return Refuse(error);
  }

  if (key) {
    const std::string manifest_url = SiblingUrl(list_url, kManifestSuffix);
    if (!out.Write(manifest_url, WriteSignedManifest(manifest), &error)) return Refuse(error);
    // Read back: what the installer will parse, and every record against its file.
    std::string text;
    SignedManifest back;
    if (!ReadWholeFile(InTree(root, manifest_url), &text)) return Refuse("cannot read back the manifest");
    const ManifestStatus status = ParseSignedManifest(text, &back);
    if (!status.ok()) {
      return Refuse(std::string("manifest refused on line ") + std::to_string(status.line) + ": " +
                    ManifestErrorText(status.error));
    }
    if (!(back == manifest)) return Refuse("manifest does not read back as written");
    for (const ManifestFile& f : back.files) {
      ManifestFile now;
      if (!RecordOf(f.name, root + "/" + f.name, f.blockSize, &now, &error)) return Refuse(error);
      if (!(now == f)) return Refuse("file changed while publishing: " + f.name);
    }
    out.signed_files.push_back({manifest_url, InTree(root, manifest_url)});
    if (!SignAll(out.signed_files, *key, &out, &error)) return Refuse(error);
  }
  emptied.root.clear();
  std::printf("%s: %s site, release %llu, %zu agencies; public key %s\n", root.c_str(),
              key ? "signed" : "unsigned (for unkeyed installers only)",
              static_cast<unsigned long long>(site.release), site.agencies.size(),
              key ? key->PublicHex().c_str() : "none");
  return 0;
}

}  // namespace

int KeygenCommand(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: package_builder keygen <folder>\n");
    return 2;
  }
  const std::string folder = argv[1];
  const std::string private_path = folder + "/" + kPrivateKeyName;
  const std::string public_path = folder + "/" + kPublicKeyName;
  std::error_code ec;
  for (const std::string& p : {private_path, public_path}) {
    if (fs::exists(p, ec)) return Refuse(p + " exists already; not overwritten");
  }
  fs::create_directories(folder, ec);
  std::string error;
  std::unique_ptr<PublisherKey> key = PublisherKey::Generate(&error);
  if (!key) return Refuse(error);
  const std::string private_pem = key->PrivatePem();
  if (private_pem.empty() || !WriteNewFile(private_path, private_pem, 0600, &error)) {
    return Refuse(error.empty() ? "cannot write the private key" : error);
  }
  if (!WriteNewFile(public_path, key->PublicPem(), 0644, &error)) {
    std::remove(private_path.c_str());
    return Refuse(error);
  }
  std::printf("private key: %s (keep it secret, never publish it)\npublic key:  %s "
              "(-DPUBLISHER_KEY_FILE)\nkey: %s\n",
              private_path.c_str(), public_path.c_str(), key->PublicHex().c_str());
  return 0;
}

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
    if (!ReadWholeFile(key_path, &pem)) return Refuse("cannot read " + key_path);
    key = PublisherKey::LoadPrivate(pem, &error);
    if (!key) return Refuse(key_path + ": " + error);
  }
  return Publish(plain[0], plain[1], settings, key.get(), convert_utf8);
}
