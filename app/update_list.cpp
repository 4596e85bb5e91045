#include "app/update_list.h"

#include <windows.h>

#include <cstdio>

#include "net/servers.h"
#include "system/profile_file.h"
#include "system/scoped_handle.h"

namespace {

constexpr char kListSection[] = "list0";  // "list%d" with index 0

}  // namespace

std::string FindUpdateListUrl(const std::string& description_path) {
  const ProfileFile description(description_path, 999);
  std::string url = description.ReadString("config", servers::kInstallerVersion, "");
  if (url.empty()) url = description.ReadString("config", "other", "");
  return url;
}

UpdateEntry ReadUpdateEntry(const std::string& list_path) {
  const ProfileFile list(list_path, kUpdateTextBytes);
  UpdateEntry e;
  e.action = list.ReadInt(kListSection, "action", -1);
  // -1 means "no action given"; a negative number that is written in the list
  // asks for nothing, like any other text that is not a count of bits.
  if (e.action < 0 && !list.ReadString(kListSection, "action", "").empty()) e.action = 0;
  e.srcfile = list.ReadString(kListSection, "srcfile", "");
  e.destfile = list.ReadString(kListSection, "destfile", "");
  e.cmd = list.ReadString(kListSection, "cmd", "");
  const std::string base = servers::DownloadServerBase();
  e.agencyExeUrl = list.ReadString(kListSection, "AgencyExeURL", base.c_str());
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
