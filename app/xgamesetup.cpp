#include "app/xgamesetup.h"

#include "config/extent_config.h"

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
