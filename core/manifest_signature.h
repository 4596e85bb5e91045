// The detached signature of a signed file "X", kept beside it as "X.sig":
// one line of 128 lowercase hexadecimal digits, the ECDSA P-256 signature of
// the file's SHA-256 digest as r then s (32 bytes each, big-endian), with an
// optional LF or CRLF after it. Text, so that no server or proxy takes it for
// something to convert.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

constexpr size_t kSignatureSize = 64;
using ManifestSignature = std::array<unsigned char, kSignatureSize>;

constexpr std::string_view kSignatureSuffix = ".sig";

// True when `text` is exactly the line described above; then `out` holds r||s.
bool ParseSignatureHex(std::string_view text, ManifestSignature* out);
// The signature file's text, with its LF.
std::string SignatureHex(const ManifestSignature& signature);
