// The texts the publisher ships: the installer and the installed client read
// them in code page 936, so a text saved as UTF-8 gives garbled names.
#pragma once

#include <string>
#include <string_view>

// True for the names the installed client and the installer read as text:
// ".ini" and ".txt", in any case.
bool IsShippedText(std::string_view name);

// Makes `text` (the bytes of `path`) fit to ship: GBK stays as it is; UTF-8,
// with or without a byte-order mark, is converted to GBK when `convert_utf8`
// and refused otherwise; anything else is refused. `converted` tells whether
// the bytes changed. False, with the reason naming `path`, when refused.
bool PrepareShippedText(const std::string& path, bool convert_utf8, std::string* text,
                        bool* converted, std::string* error);

// Reads a text given on the command line and checks it as it will be
// published; with `convert_utf8` a UTF-8 file is rewritten in GBK.
bool LoadPublishedText(const std::string& path, bool convert_utf8, std::string* text,
                       std::string* error);

bool ReadWholeFile(const std::string& path, std::string* bytes);
bool WriteWholeFile(const std::string& path, const std::string& bytes);
