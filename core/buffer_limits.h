// The installer's fixed text buffers. Each size counts the NUL; a text put in
// one is cut on a whole GBK character (gbk::CopyToBuffer, gbk::FormatCut).
#pragma once

#include <cstddef>

// A path or a setting: MAX_PATH, 259 bytes and the NUL.
constexpr size_t kPathBytes = 260;
constexpr size_t kPathTextMax = kPathBytes - 1;
// The controller's error text; a message built for it holds at most
// kMessageTextMax bytes.
constexpr size_t kErrorTextBytes = 261;
constexpr size_t kMessageTextMax = kErrorTextBytes - 1;
