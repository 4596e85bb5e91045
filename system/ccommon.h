// CCommon: stateless operations that tie the installation into Windows:
// shortcuts, the uninstall entry, the administrator check, folder trees.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

class CCommon {
 public:
  // kind CSIDL_PROGRAMS: the user's Start-menu programs; anything else: the
  // user's desktop.
  // With folder_only, only the folder special\name is created.
  static bool CreateShortcut(const char* name, const char* target, int kind, bool folder_only);
  // Deletes special\name.lnk (csidl is a shell folder id), or the whole
  // folder special\name with delete_folder.
  static void DelShortcutEx(const char* name, int csidl, bool delete_folder);
  // Writes the entry under HKEY_LOCAL_MACHINE, or under HKEY_CURRENT_USER
  // (same key path) when the machine's list cannot be written. Nothing is
  // written for a key name that is no single name (NameRule::kSingleName).
  static void RegisterUninstall(const char* key_name, const char* display_name,
                                const char* publisher, const char* contact,
                                const char* uninstaller_path, const char* uninstall_argument);
  // "SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\" + key name.
  static std::string UninstallKeyPath(const std::string& key_name);
  // The entry's "UninstallString" under `root` (empty when absent);
  // *exists tells whether the entry's key is there at all.
  static std::string ReadUninstallString(HKEY root, const std::string& key_name,
                                         bool* exists = nullptr);
  static bool IsAdminUser();
  // Creates every folder along the path; always true.
  static bool MakeDirPath(const char* path);
  // Deletes the folder and everything below it. Whatever the system reports
  // as a reparse point (a junction, or a symbolic link to a folder or to a
  // file) is never entered and its target is left alone; the link itself
  // goes where the system can remove a link alone (RemoveLinkItself). A link
  // the system shows as an ordinary entry cannot be told apart and is
  // deleted as what it is shown as; Wine, for one, shows a host symbolic
  // link to a file as a plain file.
  static void DeleteDirectoryTree(const char* folder);

  // --- the text rules behind the operations above ---
  // The folders MakeDirPath tries, in order: every prefix of path + "\\" that
  // ends in a separator.
  static std::vector<std::string> MakeDirPathSteps(const std::string& path);
  // Working directory of a shortcut: the target with its first letter
  // upper-cased, cut at its last backslash (whole when it has none).
  static std::string ShortcutWorkingDirectory(const std::string& target);
  // "\"%s\" \"/U:%s\"" with the argument, "\"%s\"" without one.
  static std::string UninstallCommand(const std::string& uninstaller, const char* argument);
};
