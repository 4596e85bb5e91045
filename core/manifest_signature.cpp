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
