// Pure rules of the main window: how sizes and speeds are written, how a
// chosen folder becomes the install folder, and small geometry decisions.
// Texts are GBK.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

// "%d%s" with the KB value in GB, MB or KB (whole numbers, truncating).
std::string FormatKbUnits(int kb);
// Byte count as "1.5K", "2K", "1M", "512"...; one truncated decimal.
std::string FormatByteSize(uint32_t bytes);

// The path is longer than the name and the name stands at its end, or just
// before one final "\" or "/". The character before the name is not examined.
// Name and separator must begin whole GBK characters, not trail bytes.
bool EndsWithGameName(const std::string& path, const std::string& game_name);

// Free bytes as KB in a signed 32-bit value. Drives larger than 2 TiB would
// overflow; they saturate at INT32_MAX instead of being refused.
int FreeKbFromBytes(uint64_t free_bytes);

// Only web addresses are handed to the shell; anything else (a program path,
// a file: URL) could start a program.
bool IsWebAddress(const std::string& url);

// Browse and typed folders: append "\" unless the path's last character is "\" or "/";
// then add the game name and "\" unless the path already ends with it. Returns
// false (leaving *folder alone) when the result would be kPathTextMax (259)
// bytes or longer.
bool ComposeInstallFolder(const std::string& path, const std::string& game_name,
                          std::string* folder);

// Percent line of the installing page for a state; empty when none is shown.
std::string PercentText(int state, int percent);
// Speed line, or empty for states that show none.
std::string SpeedText(int state, int32_t bytes_per_second);

// Width of the progress fill: percent of the track's width, at most the fill's width.
int ProgressFillWidth(int percent, int track_width, int fill_width);

// One coordinate of a centred window: half the free space, never below 0.
int CentredCoordinate(int screen, int size);

// The drag strip: the top 20 pixels of the window, full width.
bool InDragStrip(int client_y);

// Next slide after `index` of `count` slides.
inline int NextSlide(int index, int count) { return (index + 1 >= count) ? 0 : index + 1; }

// The path edit's limit: kPathTextMax (259) bytes minus the game name, at least 0.
int PathEditLimit(const std::string& game_name);

// Root of the default folder: the system drive's root ("C:\"), moved to the
// first of C:, D:, E:, F:, G:, H:, J: that lies on the IDE disk and is not
// the system drive. `on_ide_disk("D:")` answers the disk question.
std::string DefaultFolderRoot(const std::string& system_dir,
                              const std::function<bool(const std::string&)>& on_ide_disk);

// Default install folder below `root`. Administrators get "Program Files\<game>\"
// when `can_create_probe` says that folder exists or can be made; everyone
// else (and a failed probe) gets "<root><game>\".
std::string DefaultInstallFolder(const std::string& root, const std::string& game_name, bool admin,
                                 const std::function<bool(const std::string&)>& can_create_probe);

// A typed or chosen folder must start with a drive ("X:"); the drive check
// queries exactly these two characters.
bool HasDriveLetter(const std::string& path);
