// The installer's debug-output lines ("kvx-out: ..." for what it read or
// decided, "kvx-log: ..." for what a step did to the disk): one writer, so
// every line is cut the same way.
#pragma once

#include <cstddef>
#include <string_view>

// Longest debug line written; longer ones are cut on a whole GBK character.
constexpr size_t kTraceLineBytes = 1023;

void TraceLine(std::string_view line);
