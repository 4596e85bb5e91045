#include "app/xgamesetup.h"

#include "config/agency_info.h"
#include "config/extent_config.h"
#include "config/machine_id.h"

XGameSetup::XGameSetup() {
  OpenHttpSession(&httpSession);
  workerFinished.reset(::CreateEventA(nullptr, FALSE, FALSE, ""));
  extentConfig = CreateExtentConfig();
}

XGameSetup::~XGameSetup() {
  workerFinished.reset();
  extentConfig.reset();
  CloseHttpSession(&httpSession);
}

int XGameSetup::LoadSetupDescription(HWND main_window) {
  return ::LoadSetupDescription(this, &setupInfo, main_window);
}

bool XGameSetup::ParseAgencyIds() { return ::ParseAgencyIds(&agencyIds); }

int XGameSetup::LoadAgencyInfo(HWND main_window) {
  return ::LoadAgencyInfo(this, &setupInfo, main_window);
}

void XGameSetup::WriteAgencyIni() { ::WriteAgencyIni(installFolder, agencyIds); }

bool XGameSetup::EnsureMachineId() { return ::EnsureMachineId(installFolder); }
