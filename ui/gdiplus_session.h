// GDI+ is started by the first image load and shut down when the last image
// object goes away. Start, shutdown and the object count share one critical
// section so images may be created and destroyed from any thread.
#pragma once

namespace gdiplus_session {

// Counts a living image object.
void AddObject();
// Uncounts one; shuts GDI+ down when it was the last and GDI+ is running.
void RemoveObject();
// Starts GDI+ unless it runs; false when it cannot start.
bool EnsureStarted();
bool IsStarted();
int ObjectCount();

}  // namespace gdiplus_session
