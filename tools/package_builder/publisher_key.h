// The publisher's ECDSA P-256 key for signing a site, over libcrypto (native
// build only). Signatures are r||s of the digest given, as the installer's
// verification takes them.
#pragma once

#include <memory>
#include <string>

#include "core/manifest_signature.h"
#include "core/sha256.h"

class PublisherKey {
 public:
  ~PublisherKey();
  PublisherKey(const PublisherKey&) = delete;
  PublisherKey& operator=(const PublisherKey&) = delete;

  static std::unique_ptr<PublisherKey> Generate(std::string* error);
  // A PEM private key (PKCS#8 or traditional); anything but P-256 is refused,
  // with the reason.
  static std::unique_ptr<PublisherKey> LoadPrivate(const std::string& pem, std::string* error);

  std::string PrivatePem() const;  // empty without the private half
  std::string PublicPem() const;
  // The public point X||Y in hex: what the keyed installer shows as its key.
  std::string PublicHex() const;
  // Only the public half, loaded again from its PEM form: signatures checked
  // with it are checked the way the installer will, not with the private key.
  std::unique_ptr<PublisherKey> PublicOnly(std::string* error) const;

  bool Sign(const Sha256Digest& digest, ManifestSignature* signature, std::string* error) const;
  bool Verify(const Sha256Digest& digest, const ManifestSignature& signature) const;

 private:
  PublisherKey(void* pkey, bool has_private) : pkey_(pkey), has_private_(has_private) {}
  static std::unique_ptr<PublisherKey> Adopt(void* pkey, bool has_private, std::string* error);
  void* pkey_;  // EVP_PKEY
  bool has_private_;
};
