// The signed manifest reader on arbitrary text: whatever it accepts must
// hold together (a usable block list for every file that has one, names it
// finds), and must come back unchanged through the writer. The signature
// line reader gets the same bytes.
#include <string_view>

#include "core/block_digests.h"
#include "core/manifest_signature.h"
#include "core/signed_manifest.h"
#include "fuzz_util.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text = ExactCopy(std::string_view(reinterpret_cast<const char*>(data), size));
  ManifestSignature sig;
  if (ParseSignatureHex(text, &sig)) {
    ManifestSignature again;
    if (!ParseSignatureHex(SignatureHex(sig), &again) || again != sig) __builtin_trap();
  }
  SignedManifest m;
  const ManifestStatus status = ParseSignedManifest(text, &m);
  if (!status.ok()) {
    if (status.line < 0 || (status.line == 0 && status.error != ManifestError::kTooLarge)) __builtin_trap();
    return 0;
  }
  if (m.release == 0) __builtin_trap();
  for (const ManifestFile& f : m.files) {
    if (FindManifestFile(m, f.name) != &f) __builtin_trap();
    if (f.blockSize && !BlockDigests(f.size, f.blockSize, f.blocks).usable()) __builtin_trap();
    if (!f.blockSize && !f.blocks.empty()) __builtin_trap();
  }
  const std::string written = WriteSignedManifest(m);
  SignedManifest back;
  if (!ParseSignedManifest(written, &back).ok() || !(back == m)) __builtin_trap();
  if (WriteSignedManifest(back) != written) __builtin_trap();
  return 0;
}
