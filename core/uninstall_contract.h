// What the installer leaves for the uninstaller and the uninstaller reads
// back: the data file, its keys, the uninstall entry's key and the Start-menu
// link names. Both sides spell them only from here. The shell folders both
// use are CSIDL_DESKTOPDIRECTORY and CSIDL_COMMON_DESKTOPDIRECTORY for the
// desktop shortcut, CSIDL_PROGRAMS and CSIDL_COMMON_PROGRAMS for the group.
#pragma once

namespace uninstall_contract {

// <install folder>\uninstall\uninstall.ini, beside the uninstaller.
inline constexpr char kDataFolder[] = "uninstall";
inline constexpr char kDataFileName[] = "uninstall.ini";
inline constexpr char kDataFileBelowInstall[] = "uninstall\\uninstall.ini";

// Its one section and keys, written in this order.
inline constexpr char kSection[] = "config";
inline constexpr char kSetupDirKey[] = "setupdir";
inline constexpr char kGameNameKey[] = "gamename";
inline constexpr char kShortcutNameKey[] = "shortcutname";
inline constexpr char kProductTitleKey[] = "ProductTitle";

// The entry under HKEY_LOCAL_MACHINE (or HKEY_CURRENT_USER): this + game name.
inline constexpr char kUninstallKeyPrefix[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

// The Start-menu group <game name> holds <shortcut name> and <shortcut name>卸载.
inline constexpr char kUninstallLinkSuffix[] = "卸载";

}  // namespace uninstall_contract
