// The machine identifier: a GUID text made once per user, kept with its check
// code in HKCU\SOFTWARE\WindowsApp ("mc"/"kc") and in the install folder's
// WindowsSys.ini ([UserInfo] "gs"/"vs"); each copy repairs the other.
#pragma once

#include <string>

std::string NewGuidString();
// Computes the check code of `machine_code` into *out and compares it with
// `check_code`; false without touching *out when either input is empty.
bool CheckIdCode(const std::string& machine_code, const std::string& check_code, std::string* out);
// Status 0 on success.
long ReadIdValue(const char* name, std::string* value);
void WriteIdValue(const char* name, const std::string& value);
// The valid identifier for this user (repairing one copy from the other), or "".
std::string GetMachineId(const std::string& install_folder);

// Makes sure a machine identifier exists (registry and, when a folder is
// given, its WindowsSys.ini); true when one already did.
bool EnsureMachineId(const char* install_folder);
