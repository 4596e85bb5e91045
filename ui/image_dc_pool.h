// A process-wide pool of four cached memory device contexts for drawing from
// images. Slots are exchanged atomically, so taking and returning never lock.
#pragma once

#include <windows.h>

namespace image_dc_pool {

// A memory DC from the pool, or a new one compatible with the screen.
HDC Take();
// Puts the DC back; deletes it when every slot is taken.
void Give(HDC dc);
// Deletes the cached DCs (tests; process end).
void Clear();
// How many DCs are cached right now.
int CachedCount();

}  // namespace image_dc_pool
