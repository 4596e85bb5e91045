#include "system/trace.h"

#include <windows.h>

#include <string>

#include "core/gbk_text.h"

void TraceLine(std::string_view line) {
  ::OutputDebugStringA(std::string(gbk::CutToBytes(line, kTraceLineBytes)).c_str());
}
