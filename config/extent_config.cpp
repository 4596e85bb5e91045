// Placeholder until the side configuration is implemented.
#include "config/extent_config.h"

XExtentConfig::XExtentConfig(const std::string& ini_path, const std::string& exe_path)
    : iniPath_(ini_path), exePath_(exe_path) {}
bool XExtentConfig::IsEnable() const { return false; }
bool XExtentConfig::IsAutoRun() const { return false; }
int XExtentConfig::GetSetupPathMode() const { return 0; }
std::string XExtentConfig::GetSetupPath() const { return {}; }
bool XExtentConfig::IsDelOtherFile() const { return false; }
std::string XExtentConfig::GetSetupDir() const { return {}; }
void XExtentConfig::DeleteOtherFileIfNeeded() {}
void XExtentConfig::Collect() {}
std::unique_ptr<XExtentConfig> CreateExtentConfig() { return nullptr; }
std::unique_ptr<XExtentConfig> CreateExtentConfigAt(const std::string&, const std::string&) {
  return nullptr;
}
