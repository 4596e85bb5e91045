// Reads the settings `publish` lays the site out by.
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
#include "site_tree.h"

#include <cctype>
#include <filesystem>
#include <regex>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "builder_host.h"
#include "core/gbk_text.h"
#include "net/servers.h"
#include "builder_commands.h"

namespace fs = std::filesystem;

namespace {

using Values = std::vector<std::pair<std::string, std::string>>;

struct Section {
  std::string name;
  Values values;
  const std::string* Find(const std::string& key) const {
    for (const auto& kv : values) {
      if (kv.first == key) return &kv.second;
    }
    return nullptr;
  }
};

bool ParseSettings(const std::string& text, std::vector<Section>* sections, std::string* error) {
  std::istringstream lines(text);
  std::string line;
  for (int line_number = 1; std::getline(lines, line); ++line_number) {
    line = gbk::Trim(line);
    if (line.empty() || line[0] == ';' || line[0] == '#') continue;
    const std::string where = "settings line " + std::to_string(line_number) + ": ";
    if (line.front() == '[' && line.back() == ']') {
      const std::string name = gbk::Trim(line.substr(1, line.size() - 2));
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
    const std::string key = gbk::Trim(line.substr(0, eq));
    if (sections->back().Find(key)) return *error = where + key + " given twice", false;
    sections->back().values.emplace_back(key, gbk::Trim(line.substr(eq + 1)));
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
bool SectionText(const std::string& header, const Values& values, std::string* out,
                 std::string* error) {
  std::string utf8 = "[" + header + "]\r\n";
  for (const auto& kv : values) utf8 += kv.first + "=" + kv.second + "\r\n";
  if (!Utf8ToPackageText(utf8, out)) {
    *error = "[" + header + "] is not UTF-8 or has text GBK cannot spell";
    return false;
  }
  return true;
}

// An [agency ID] section: its [BaseInfo] keys, or text= for a ready text.
bool ReadAgency(const Section& s, const fs::path& base, bool convert_utf8, Agency* agency,
                std::string* error) {
  agency->id = gbk::Trim(s.name.substr(7));
  // The installer upper-cases the identifier it takes from its file name.
  if (!IsPlainName(agency->id, true)) {
    return *error = "[" + s.name + "]: an agency id is digits and upper-case letters", false;
  }
  Values base_info;
  std::string text_file;
  for (const auto& kv : s.values) {
    if (kv.first == "program") {
      agency->program_path = (base / kv.second).string();
    } else if (kv.first == "text") {
      text_file = (base / kv.second).string();
    } else {
      base_info.push_back(kv);
    }
  }
  if (text_file.empty()) {
    if (!s.Find("Enable")) base_info.insert(base_info.begin(), {"Enable", "1"});
    return SectionText("BaseInfo", base_info, &agency->text, error);
  }
  if (!base_info.empty()) {
    return *error = "[" + s.name + "]: text= or [BaseInfo] keys, not both", false;
  }
  if (!ReadWholeFile(text_file, &agency->text)) return *error = "cannot read " + text_file, false;
  bool converted = false;
  return PrepareShippedText(text_file, convert_utf8, &agency->text, &converted, error);
}

// The keys of [site], each checked as it is read.
bool ReadSiteKeys(const Section& s, const fs::path& base, Site* site, std::string* error) {
  for (const auto& kv : s.values) {
    const std::string& v = kv.second;
    if (kv.first == "download_server") {
      site->download = v;
    } else if (kv.first == "agency_text_server") {
      site->agency_server = v;
    } else if (kv.first == "package") {
      site->package = v;
    } else if (kv.first == "agreement") {
      site->agreement = (base / v).string();
    } else if (kv.first == "release") {
      if (!ParseManifestNumber(v, kMaxManifestNumber, &site->release) || site->release == 0) {
        return *error = "release must be a whole number from 1 up: " + v, false;
      }
    } else if (kv.first == "expires") {
      if (!ParseManifestDate(v, &site->expires)) return *error = "expires must be a date YYYY-MM-DD: " + v, false;
      site->has_expiry = true;
    } else {
      return *error = "settings: unknown key " + kv.first + " in [site]", false;
    }
  }
  return true;
}

// What [site] must hold once read whole.
bool CheckSite(Site* site, bool signing, std::string* error) {
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
  return true;
}

// The setup description: [setup] as given, and [config] pointing the
// installer at this site's update list.
bool SetupDescription(const Section& setup, Site* site, std::string* error) {
  if (setup.Find("exefilename") == nullptr) {
    return *error = "[setup] names no main program (exefilename)", false;
  }
  std::string setup_text, config_text;
  const std::string list_url = site->download + kUpdateListPath;
  if (!SectionText("setup", setup.values, &setup_text, error)) return false;
  if (!SectionText("config", {{servers::kInstallerVersion, list_url}, {"other", list_url}},
                   &config_text, error)) {
    return false;
  }
  site->setup = setup_text + "\r\n" + config_text;
  return true;
}

}  // namespace

bool ReadSettings(const std::string& settings_path, bool convert_utf8, bool signing, Site* site,
                  std::string* error) {
  std::string text;
  if (!ReadWholeFile(settings_path, &text)) return *error = "cannot read " + settings_path, false;
  std::vector<Section> sections;
  if (!ParseSettings(text, &sections, error)) return false;
  const fs::path base = fs::path(settings_path).parent_path();
  const Section* site_section = nullptr;
  const Section* setup_section = nullptr;
  for (const Section& s : sections) {
    if (s.name == "site") {
      site_section = &s;
    } else if (s.name == "setup") {
      setup_section = &s;
    } else if (s.name.rfind("agency ", 0) == 0) {
      Agency agency;
      if (!ReadAgency(s, base, convert_utf8, &agency, error)) return false;
      site->agencies.push_back(agency);
    } else {
      return *error = "settings: unknown section [" + s.name + "]", false;
    }
  }
  if (!site_section) return *error = "settings: no [site] section", false;
  if (!setup_section) return *error = "settings: no [setup] section", false;
  return ReadSiteKeys(*site_section, base, site, error) && CheckSite(site, signing, error) &&
         SetupDescription(*setup_section, site, error);
}
