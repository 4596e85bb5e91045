// Commands (WM_COMMAND ids) that the install controller sends the main
// window. Each is the id of the window control whose click it stands for
// (ui/window_layout.h lists the rest of the controls), so the window handles
// it as that click.
#pragma once

enum : int {
  // Back to the custom page, where the user picks another install folder.
  IDC_BTN_CUSTOM = 1006,
};
