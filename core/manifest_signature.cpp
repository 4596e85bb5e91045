#include "core/manifest_signature.h"

#include "core/hex_text.h"

bool ParseSignatureHex(std::string_view text, ManifestSignature* out) {
  if (!text.empty() && text.back() == '\n') {
    text.remove_suffix(1);
    if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
  }
  return ParseLowerHex(text, out->data(), out->size());
}

std::string SignatureHex(const ManifestSignature& signature) {
  return LowerHex(signature.data(), signature.size()) + "\n";
}

namespace {
constexpr std::string_view kContextPrefix = "online-setup-signed-path=";

// Where the path starts (the "/" after scheme://host), npos without one, or
// the URL's size when it names the host alone.
size_t PathStart(std::string_view url) {
  const size_t scheme = url.find("://");
  if (scheme == std::string_view::npos || scheme == 0) return std::string_view::npos;
  const size_t host = scheme + 3;
  const size_t end = url.find_first_of("/?#", host);
  if (end == host) return std::string_view::npos;  // no host
  return end == std::string_view::npos ? url.size() : end;
}
}  // namespace

Sha256Digest SignedFileDigest(std::string_view server_path, std::string_view bytes) {
  Sha256 h;
  h.Update(kContextPrefix.data(), kContextPrefix.size());
  h.Update(server_path.data(), server_path.size());
  h.Update("\n", 1);
  h.Update(bytes.data(), bytes.size());
  return h.Final();
}

std::string ServerPathOfUrl(std::string_view url) {
  const size_t start = PathStart(url);
  if (start == std::string_view::npos) return std::string();
  std::string_view rest = url.substr(start);
  rest = rest.substr(0, rest.find('#'));
  std::string path(rest);
  if (path.empty() || path[0] != '/') path.insert(0, "/");
  return path;
}

std::string SiblingUrl(std::string_view url, std::string_view suffix) {
  size_t at = url.find_first_of("?#", PathStart(url) == std::string_view::npos ? 0 : PathStart(url));
  if (at == std::string_view::npos) at = url.size();
  std::string out(url.substr(0, at));
  out.append(suffix);
  out.append(url.substr(at));
  return out;
}

std::string ManifestNameOfUrl(std::string_view url) {
  std::string path = ServerPathOfUrl(url);
  path = path.substr(0, path.find('?'));
  if (!path.empty() && path[0] == '/') path.erase(0, 1);
  return path;
}
