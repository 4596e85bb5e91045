// Reading one value from an INI text held in memory, the way the Windows
// profile functions read the file: for tools that check texts before they are
// published, where those functions are not at hand.
#pragma once

#include <string>
#include <string_view>

// The value of `key` in the first `[section]`, both compared ignoring the case
// of ASCII letters; blanks around it dropped, and one pair of matching quotes
// around all of it. Lines may end in CRLF or LF; lines starting with ";" are
// comments. False when the section or the key is missing.
bool FindIniValue(std::string_view text, std::string_view section, std::string_view key,
                  std::string* value);
