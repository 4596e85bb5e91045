#include "package/extract_package.h"

#include "app/setup_messages.h"
#include "config/gbk_text.h"
#include "package/pack_decrypt.h"
#include "package/pack_directory.h"
#include "package/package_archive.h"
#include "package/safe_path.h"
#include "system/scoped_handle.h"
#include "system/seams.h"

const char kPackagePassword[] = "6203918547";

namespace {

// Ends of a character: a backslash that is the trail byte of a double-byte
// character is part of that character, not a separator.
std::vector<size_t> BackslashPositions(std::string_view s) {
  std::vector<size_t> at;
  for (size_t i = 0; i < s.size(); ++i) {
    if (gbk::IsLeadByte(static_cast<unsigned char>(s[i])) && i + 1 < s.size()) {
      ++i;
    } else if (s[i] == '\\') {
      at.push_back(i);
    }
  }
  return at;
}

void Trace(const char* format, const std::string& a, const char* b = "") {
  ::OutputDebugStringA(gbk::FormatCut(1023, format, a.c_str(), b).c_str());
}

// Writes one listed file from the body. Returns false when the file could not
// be opened (skipped, as for names that end in a separator); *write_failed
// reports a write that did not complete.
bool WriteTarget(const std::string& target, const uint8_t* data, DWORD size, bool* write_failed) {
  DWORD attributes = ::GetFileAttributesA(target.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
    ::SetFileAttributesA(target.c_str(), attributes & ~DWORD{FILE_ATTRIBUTE_READONLY});
  }
  // OPEN_ALWAYS plus truncation keeps the remaining attributes (a hidden file
  // cannot be replaced by CREATE_ALWAYS without naming its attributes). Shared
  // like a C runtime "wb" open, so a reader that shares writing does not make
  // the installer skip the file.
  ScopedFileHandle file(::CreateFileA(target.c_str(), GENERIC_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  DWORD written = 0;
  bool ok = (size == 0 || (::WriteFile(file.get(), data, size, &written, nullptr) && written == size)) &&
            ::SetEndOfFile(file.get());
  file.reset();
  if (!ok) {
    // A cut-off file must not pass for an installed one.
    Trace("kvx-log: write failed, deleting %s%s", target);
    ::DeleteFileA(target.c_str());
    *write_failed = true;
  }
  return true;
}

}  // namespace

std::string JoinPath(const std::string& folder, const std::string& name) {
  if (name.empty()) return folder;
  const std::vector<size_t> seps = BackslashPositions(folder);
  size_t end = folder.size();
  for (auto it = seps.rbegin(); it != seps.rend() && *it + 1 == end; ++it) end = *it;
  size_t start = 0;
  while (start < name.size() && name[start] == '\\') ++start;
  return folder.substr(0, end) + "\\" + name.substr(start);
}

bool ExtractPackage(HWND window, const char* package_name, const char* install_folder) {
  const std::string folder = install_folder ? install_folder : "";
  const std::string package_path = JoinPath(folder, package_name ? package_name : "");

  // An archive that cannot be opened or read installs nothing: that is a
  // failed extraction, not a success.
  std::unique_ptr<PackageArchive> archive = PackageArchive::Open(package_path, kPackagePassword);
  if (!archive) {
    Trace("kvx-out: cannot open package %s%s", package_path);
    return true;
  }
  archive->SetBaseFolder(folder);
  ArchiveEntry entry;
  EntryStatus entry_status = archive->GetFirstEntry(&entry);
  if (entry_status != EntryStatus::kOk || entry.uncompressed_size <= 0) {
    Trace("kvx-out: package %s has no usable first member%s", package_path);
    return true;
  }
  // A failure here shows up below as a missing pack.
  ExtractStatus extract_status = archive->ExtractFirstEntry(entry.name);
  if (extract_status != ExtractStatus::kOk) Trace("kvx-out: pack %s not extracted%s", entry.name);
  archive->Close();
  archive.reset();

  const std::string pack_path = JoinPath(folder, entry.name);
  std::optional<PackBody> body = DecryptPackFile(pack_path, kPackagePassword, window);
  PackDirectory directory;
  if (body) directory = ParsePackDirectory(body->payload_length, body->data.get(), body->length);
  if (directory.empty()) return true;

  ::CreateDirectoryA(folder.c_str(), nullptr);
  const size_t n = directory.size();
  size_t written = 0;
  int last = 50;
  bool write_failed = false;
  for (const auto& [name, span] : directory) {
    const std::vector<size_t> seps = BackslashPositions(name);
    const std::string relative = seps.empty() ? std::string() : name.substr(seps.front());
    if (!StaysInsideFolder(relative)) {
      Trace("kvx-out: skipped pack entry %s (outside the install folder)%s", name);
      continue;
    }
    if (!SpanFitsBody(span, body->length)) {
      Trace("kvx-out: skipped pack entry %s (data outside the pack)%s", name);
      continue;
    }
    for (size_t p : BackslashPositions(relative)) {
      ::CreateDirectoryA(JoinPath(folder, relative.substr(0, p)).c_str(), nullptr);
    }
    const std::string target = JoinPath(folder, relative);
    if (!WriteTarget(target, body->data.get() + span.offset, static_cast<DWORD>(span.size),
                     &write_failed)) {
      continue;
    }
    const int percent = static_cast<int>(50 + 50 * written / n);
    ++written;
    if (percent != last) {
      last = percent;
      PostProgress(window, percent);
      seams::SleepMs(10);
    }
  }
  PostProgress(window, 100);

  ::SetFileAttributesA(pack_path.c_str(), FILE_ATTRIBUTE_NORMAL);
  if (::DeleteFileA(pack_path.c_str())) Trace("kvx-log: deleted %s%s", pack_path);
  body.reset();
  return write_failed;
}
