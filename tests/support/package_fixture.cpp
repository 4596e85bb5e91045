#include "package_fixture.h"

#include <utility>
#include <vector>

#include "package/extract_package.h"
#include "core/pack_writer.h"
#include "package/zip_writer.h"
#include "test_seams.h"

std::string MakePackage(const std::map<std::string, std::string>& files, const std::string& scratch) {
  std::vector<std::pair<std::string, std::string>> entries;
  for (const auto& f : files) entries.push_back({"Game\\" + f.first, f.second});
  ZipMember member;
  member.name = "game.pak";
  member.bytes = BuildPackBytes(entries, kPackagePassword);
  member.password = kPackagePassword;
  std::string error;
  if (!WriteZip(scratch, {member}, &error)) return std::string();
  return ReadFileBytes(scratch);
}
