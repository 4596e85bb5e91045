#include "config/machine_id.h"

#include <windows.h>

#include <objbase.h>

#include <cstdio>

#include "core/gbk_text.h"
#include "system/profile_file.h"
#include "core/md5.h"
#include "system/scoped_handle.h"

namespace {

constexpr char kSalt[] = "KUVRM7T41062@pd#!wel";  // 20 bytes, no NUL in the digest
constexpr char kKeyPath[] = "SOFTWARE\\WindowsApp";  // below HKEY_CURRENT_USER
constexpr DWORD kValueBlock = 300;

// The install folder's copy. The folder normally ends with a separator; one
// given without it still gets the file inside it, not beside it.
std::string IdFilePath(const std::string& folder) {
  const bool bare = !folder.empty() && !gbk::EndsWithPathSeparator(folder);
  return folder + (bare ? "\\" : "") + "WindowsSys.ini";
}

}  // namespace

std::string NewGuidString() {
  ScopedComInit com;
  GUID guid;
  if (FAILED(::CoCreateGuid(&guid))) return std::string();
  char text[40] = {};
  std::snprintf(text, sizeof text, "%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X",
                static_cast<unsigned long>(guid.Data1), guid.Data2, guid.Data3, guid.Data4[0],
                guid.Data4[1], guid.Data4[2], guid.Data4[3], guid.Data4[4], guid.Data4[5],
                guid.Data4[6], guid.Data4[7]);
  return text;
}

bool CheckIdCode(const std::string& machine_code, const std::string& check_code, std::string* out) {
  if (machine_code.empty() || check_code.empty()) return false;
  std::string salted = machine_code + kSalt;
  std::string digest = Md5OfBytes(salted.data(), salted.size());
  if (out) *out = digest;
  return digest == check_code;
}

long ReadIdValue(const char* name, std::string* value) {
  value->clear();
  HKEY raw = nullptr;
  const LONG status = ::RegOpenKeyExA(HKEY_CURRENT_USER, kKeyPath, 0, KEY_READ | KEY_WRITE, &raw);
  if (status != ERROR_SUCCESS) return status;
  ScopedRegKey key(raw);
  return ReadRegText(key.get(), name, kValueBlock, value);
}

void WriteIdValue(const char* name, const std::string& value) {
  HKEY raw = nullptr;
  if (::RegCreateKeyA(HKEY_CURRENT_USER, kKeyPath, &raw) != ERROR_SUCCESS) return;
  ScopedRegKey key(raw);
  // A fixed block: the text, its NUL, and zero padding up to 300 bytes.
  char block[kValueBlock] = {};
  gbk::CopyToBuffer(block, sizeof block, value);
  ::RegSetValueExA(key.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(block), kValueBlock);
}

std::string GetMachineId(const std::string& install_folder) {
  // A value that cannot be read comes back empty, which never checks out.
  std::string mc, kc;
  ReadIdValue("mc", &mc);
  ReadIdValue("kc", &kc);
  const bool registry_valid = CheckIdCode(mc, kc, nullptr);

  // Without a folder there is no file copy (a bare name would land in the
  // Windows folder).
  const bool has_folder = !install_folder.empty();
  ProfileFile file(IdFilePath(install_folder), 128);
  std::string gs = has_folder ? file.ReadString("UserInfo", "gs", "") : std::string();
  std::string vs = has_folder ? file.ReadString("UserInfo", "vs", "") : std::string();
  const bool file_valid = CheckIdCode(gs, vs, nullptr);

  if (registry_valid) {
    if (has_folder && (!file_valid || gs != mc)) {
      file.WriteString("UserInfo", "gs", mc.c_str());
      file.WriteString("UserInfo", "vs", kc.c_str());
    }
    return mc;
  }
  if (file_valid) {
    WriteIdValue("mc", gs);
    WriteIdValue("kc", vs);
    return gs;
  }
  return std::string();
}

bool EnsureMachineId(const char* install_folder) {
  if (!GetMachineId(install_folder).empty()) return true;
  std::string id = NewGuidString();
  std::string kc;
  CheckIdCode(id, "-", &kc);  // any non-empty placeholder; only the digest is wanted
  WriteIdValue("mc", id);
  WriteIdValue("kc", kc);
  if (install_folder[0] == '\0') return false;
  ProfileFile file(IdFilePath(install_folder), 128);
  file.WriteString("UserInfo", "gs", id.c_str());
  file.WriteString("UserInfo", "vs", kc.c_str());
  return false;
}
