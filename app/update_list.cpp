#include "app/update_list.h"

#include <windows.h>

#include <cstdio>

#include "net/servers.h"
#include "system/scoped_handle.h"

namespace {

std::string ReadText(const char* section, const char* key, const char* def, DWORD size,
                     const std::string& path) {
  std::string buf(size, '\0');
  DWORD n = ::GetPrivateProfileStringA(section, key, def, &buf[0], size, path.c_str());
  buf.resize(n);
  return buf;
}

constexpr char kListSection[] = "list0";  // "list%d" with index 0

}  // namespace

std::string FindUpdateListUrl(const std::string& description_path) {
  std::string url = ReadText("config", servers::kInstallerVersion, "", 999, description_path);
  if (url.empty()) url = ReadText("config", "other", "", 999, description_path);
  return url;
}

UpdateEntry ReadUpdateEntry(const std::string& list_path) {
  UpdateEntry e;
  e.action = static_cast<int>(::GetPrivateProfileIntA(kListSection, "action", -1, list_path.c_str()));
  // -1 means "no action given"; a negative number that is written in the list
  // asks for nothing, like any other text that is not a count of bits.
  if (e.action < 0 && !ReadText(kListSection, "action", "", 32, list_path).empty()) e.action = 0;
  e.srcfile = ReadText(kListSection, "srcfile", "", kUpdateTextBytes, list_path);
  e.destfile = ReadText(kListSection, "destfile", "", kUpdateTextBytes, list_path);
  e.cmd = ReadText(kListSection, "cmd", "", kUpdateTextBytes, list_path);
  std::string base = servers::DownloadServerBase();
  e.agencyExeUrl = ReadText(kListSection, "AgencyExeURL", base.c_str(), kUpdateTextBytes, list_path);
  return e;
}

bool IsPeImage(const std::string& path) {
  ScopedStdioFile f(std::fopen(path.c_str(), "rb"));
  if (!f) return false;
  unsigned char dos[64];
  if (std::fread(dos, 1, sizeof dos, f.get()) != sizeof dos) return false;
  unsigned long pe = static_cast<unsigned long>(dos[60]) | (static_cast<unsigned long>(dos[61]) << 8) |
                     (static_cast<unsigned long>(dos[62]) << 16) |
                     (static_cast<unsigned long>(dos[63]) << 24);
  if (pe > 0x7FFFFFFBul) return false;
  if (std::fseek(f.get(), static_cast<long>(pe + 4), SEEK_SET) != 0) return false;
  unsigned char coff[20];
  if (std::fread(coff, 1, sizeof coff, f.get()) != sizeof coff) return false;
  unsigned machine = coff[0] | (coff[1] << 8);
  return machine == 0x014C || machine == 0x0200 || machine == 0x8664;
}
