#include "system/release_cleanup.h"

#include <windows.h>

#include "core/gbk_text.h"
#include "core/release_record.h"
#include "system/file_attributes.h"
#include "system/scoped_handle.h"
#include "system/trace.h"

namespace {

// A record larger than this is not one the installer wrote.
constexpr DWORD kMaxRecordBytes = 64u << 20;

std::string ReadRecord(const std::string& path) {
  ScopedFileHandle file(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return std::string();
  DWORD high = 0;
  const DWORD size = ::GetFileSize(file.get(), &high);
  if (size == INVALID_FILE_SIZE || high != 0 || size > kMaxRecordBytes) return std::string();
  std::string text(size, '\0');
  DWORD got = 0;
  if (size && !::ReadFile(file.get(), &text[0], size, &got, nullptr)) return std::string();
  text.resize(got);
  return text;
}

bool WriteRecord(const std::string& path, const std::string& text) {
  const std::string fresh = path + ".new";
  bool whole = false;
  {
    ScopedFileHandle file(::CreateFileA(fresh.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    DWORD put = 0;
    whole = text.empty() ||
            (::WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &put, nullptr) &&
             put == text.size());
  }
  // A record cut short by a crash would forget files; the old one stays
  // until the new one is whole.
  if (whole && ::MoveFileExA(fresh.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING)) return true;
  ::DeleteFileA(fresh.c_str());
  return false;
}

bool IsPlainFolder(const std::string& path) {
  const DWORD a = ::GetFileAttributesA(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) &&
         !(a & FILE_ATTRIBUTE_REPARSE_POINT);
}

bool RemoveStale(const std::string& base, const std::string& relative) {
  const std::vector<size_t> ends = gbk::FindAllChars(relative, '\\');
  // A folder on the way that is a link may lead anywhere: not followed.
  for (size_t end : ends) {
    if (!IsPlainFolder(base + relative.substr(0, end))) return false;
  }
  const std::string path = base + relative;
  const DWORD a = ::GetFileAttributesA(path.c_str());
  if (a == INVALID_FILE_ATTRIBUTES) return false;  // gone already
  if (a & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) return false;  // not what was installed
  if (!DeleteFileForce(path)) {
    TraceLine(gbk::Format("kvx-log: stale file kept (busy) %s", path.c_str()));
    return false;
  }
  TraceLine(gbk::Format("kvx-log: deleted stale file %s", path.c_str()));
  // Folders left empty go too, deepest first; the first one still holding
  // something ends it.
  for (auto it = ends.rbegin(); it != ends.rend(); ++it) {
    if (!::RemoveDirectoryA((base + relative.substr(0, *it)).c_str())) break;
  }
  return true;
}

}  // namespace

size_t ReplaceReleaseRecord(const std::string& install_folder, const std::vector<std::string>& installed) {
  if (install_folder.empty()) return 0;
  const std::string base =
      gbk::EndsWithPathSeparator(install_folder) ? install_folder : install_folder + "\\";
  const std::string record = base + release_record::kRecordName;
  size_t removed = 0;
  for (const std::string& stale :
       release_record::StalePaths(release_record::ParseRecord(ReadRecord(record)), installed)) {
    if (RemoveStale(base, stale)) ++removed;
  }
  ::CreateDirectoryA(record.substr(0, gbk::FindLastChar(record, '\\')).c_str(), nullptr);
  if (!WriteRecord(record, release_record::FormatRecord(installed))) {
    TraceLine(gbk::Format("kvx-log: cannot write %s", record.c_str()));
  }
  return removed;
}
