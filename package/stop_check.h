// The controller's stop request as the extraction sees it: asked between
// files and between pieces of one, so a closed window ends the step within
// moments instead of half-way through a process kill.
#pragma once

#include <functional>

// True once the user has asked the installation to stop. Empty: never.
using StopCheck = std::function<bool()>;

inline bool StopRaised(const StopCheck& stop) { return stop && stop(); }
