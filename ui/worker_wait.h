// Waiting for the install worker before the controller goes away.
#pragma once

#include <windows.h>

// True when no worker runs any more: `thread` is null or has ended, or it
// ends or signals `finished` within `ms`. False when it still runs.
// Both handles are borrowed.
bool WaitForWorkerToEnd(HANDLE thread, HANDLE finished, DWORD ms);
