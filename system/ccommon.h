// CCommon: stateless operations that tie the installation into Windows:
// shortcuts, the uninstall entry, the administrator check, folder trees.
#pragma once

class CCommon {
 public:
  // kind 2: the user's Start-menu programs; anything else: the user's desktop.
  // With folder_only, only the folder special\name is created.
  static bool CreateShortcut(const char* name, const char* target, int kind, bool folder_only);
  // Deletes special\name.lnk (csidl is a shell folder id), or the whole
  // folder special\name with delete_folder.
  static void DelShortcutEx(const char* name, int csidl, bool delete_folder);
  static void RegisterUninstall(const char* key_name, const char* display_name,
                                const char* publisher, const char* contact,
                                const char* uninstaller_path, const char* uninstall_argument);
  static bool IsAdminUser();
  // Creates every folder along the path; always true.
  static bool MakeDirPath(const char* path);
  // Deletes the folder and everything below it; links are removed, never followed.
  static void DeleteDirectoryTree(const char* folder);
};
