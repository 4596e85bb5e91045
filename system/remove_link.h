// Removing a link (junction or symbolic link) without touching what it
// points to.
#pragma once

#include <string>

// Deletes the link at `path` itself. The link is opened as a link and is
// deleted only when the system confirms that the object opened is the link:
// a system that follows it anyway (Wine opens a host symbolic link's target,
// and removes an empty target folder for RemoveDirectory) gets nothing
// deleted. False when the link is still there.
bool RemoveLinkItself(const std::string& path);
