// XExtentConfig: the distributor's side configuration "tovrel_onlinesetup.ini"
// next to the installer, section [onlinesetup_config]. Every query reads the
// file again. When the file asks for it (del_otherfile=1), the installer's
// folder is cleared of everything but the installer and this file.
#pragma once

#include <list>
#include <memory>
#include <string>

class XExtentConfig {
 public:
  // Collects and deletes at once when del_otherfile is 1.
  XExtentConfig(const std::string& ini_path, const std::string& exe_path);

  bool IsEnable() const;
  bool IsAutoRun() const;
  int GetSetupPathMode() const;  // 0, 1 or 2
  std::string GetSetupPath() const;
  bool IsDelOtherFile() const;
  // Mode 1: the installer's folder; mode 2: setup_path; mode 0: empty.
  std::string GetSetupDir() const;
  void DeleteOtherFileIfNeeded();

  const std::string& iniPath() const { return ini_path_; }
  const std::list<std::string>& files() const { return files_; }
  const std::list<std::string>& folders() const { return folders_; }

 private:
  void Collect();

  std::string ini_path_;
  std::string exe_path_;
  std::list<std::string> files_;
  std::list<std::string> folders_;
};

// Reads "enable" from the side file beside the installer; null unless it is on.
std::unique_ptr<XExtentConfig> CreateExtentConfig();
// Same, for a side file at an explicit path (tests).
std::unique_ptr<XExtentConfig> CreateExtentConfigAt(const std::string& ini_path,
                                                    const std::string& exe_path);
