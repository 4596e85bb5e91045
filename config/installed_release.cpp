#include "config/installed_release.h"

#include <windows.h>

#include "system/scoped_handle.h"

namespace {

constexpr char kReleasesKey[] = "SOFTWARE\\WindowsApp\\Releases";
constexpr char kReleaseValue[] = "Release";

std::string ProductKey(const std::string& product) {
  return product.empty() ? std::string(kReleasesKey) : std::string(kReleasesKey) + "\\" + product;
}

}  // namespace

uint64_t ReadInstalledRelease(const std::string& product) {
  const ScopedRegKey key = OpenRegKey(HKEY_CURRENT_USER, ProductKey(product).c_str(), KEY_READ);
  if (!key) return 0;
  uint64_t value = 0;
  DWORD type = 0;
  DWORD size = sizeof value;
  if (::RegQueryValueExA(key.get(), kReleaseValue, nullptr, &type, reinterpret_cast<BYTE*>(&value),
                         &size) != ERROR_SUCCESS ||
      type != REG_QWORD || size != sizeof value)
    return 0;
  return value;
}

void RecordInstalledRelease(const std::string& product, uint64_t release) {
  if (release <= ReadInstalledRelease(product)) return;
  HKEY raw = nullptr;
  if (::RegCreateKeyExA(HKEY_CURRENT_USER, ProductKey(product).c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                        &raw, nullptr) != ERROR_SUCCESS)
    return;
  ScopedRegKey key(raw);
  ::RegSetValueExA(key.get(), kReleaseValue, 0, REG_QWORD, reinterpret_cast<const BYTE*>(&release),
                   sizeof release);
}
