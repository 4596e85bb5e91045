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

#include "core/sha256.h"

constexpr size_t kSignatureSize = 64;
using ManifestSignature = std::array<unsigned char, kSignatureSize>;

constexpr std::string_view kSignatureSuffix = ".sig";

// True when `text` is exactly the line described above; then `out` holds r||s.
bool ParseSignatureHex(std::string_view text, ManifestSignature* out);
// The signature file's text, with its LF.
std::string SignatureHex(const ManifestSignature& signature);

// What the publisher signs for a file served at `server_path` (the URL's path
// and query, from its first "/", as ServerPathOfUrl gives it): the SHA-256 of
// one context line naming that path, then the file's bytes. The path binds the
// signature to its place, so a validly signed file of another agency, product
// or release cannot be served in this one's stead.
//   "online-setup-signed-path=" server_path "\n" bytes
Sha256Digest SignedFileDigest(std::string_view server_path, std::string_view bytes);

// The path and query of an absolute http:// or https:// URL, from the first
// "/" after the host (a fragment dropped); "/" when the URL names no path.
// Empty when the URL has no scheme and host.
std::string ServerPathOfUrl(std::string_view url);

// The URL of what sits beside the file at `url`: `suffix` added to the path,
// before any query ("http://h/a.txt?x" + ".sig" -> "http://h/a.txt.sig?x").
std::string SiblingUrl(std::string_view url, std::string_view suffix);

// The release manifest that vouches for an update list, its package and the
// agencies' programs sits beside the update list under this suffix, and is
// itself signed (suffix kSignatureSuffix after it).
constexpr std::string_view kManifestSuffix = ".manifest";

// The name a manifest record gives the file at `url`: its server path
// without the leading "/" and without a query ("Image/Agency_7/main.exe").
// Mirrors keep their paths, so the name holds whichever host serves it.
std::string ManifestNameOfUrl(std::string_view url);
