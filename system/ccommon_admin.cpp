// Whether the process token lists the built-in Administrators group.
#include <windows.h>

#include <vector>

#include "system/ccommon.h"
#include "system/scoped_handle.h"

bool CCommon::IsAdminUser() {
  HANDLE raw = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &raw)) return false;
  ScopedKernelHandle token(raw);

  // 1024 bytes hold the usual list; a longer one (many domain groups) is read
  // whole instead of answering "not an administrator".
  std::vector<BYTE> groups(1024);
  DWORD needed = 0;
  if (!::GetTokenInformation(token.get(), TokenGroups, groups.data(),
                             static_cast<DWORD>(groups.size()), &needed)) {
    if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER || needed <= groups.size()) return false;
    groups.resize(needed);
    if (!::GetTokenInformation(token.get(), TokenGroups, groups.data(), needed, &needed)) {
      return false;
    }
  }

  SID_IDENTIFIER_AUTHORITY nt_authority = SECURITY_NT_AUTHORITY;
  PSID raw_sid = nullptr;
  if (!::AllocateAndInitializeSid(&nt_authority, 2, SECURITY_BUILTIN_DOMAIN_RID,
                                  DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0, &raw_sid)) {
    return false;
  }
  const ScopedHandle<NullHandleTraits<PSID, &::FreeSid>> admins(raw_sid);
  // Attribute flags are not looked at: a deny-only entry (filtered token) counts too.
  const auto* list = reinterpret_cast<const TOKEN_GROUPS*>(groups.data());
  for (DWORD i = 0; i < list->GroupCount; ++i) {
    if (::EqualSid(list->Groups[i].Sid, admins.get())) return true;
  }
  return false;
}
