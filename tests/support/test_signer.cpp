#include "test_signer.h"

#include <windows.h>

#include <bcrypt.h>

#include <cstring>
#include <stdexcept>

#include "core/manifest_signature.h"
#include "core/sha256.h"
#include "scripted_server.h"
#include "system/publisher_key.h"

TestSigner::TestSigner() {
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  BCRYPT_KEY_HANDLE key = nullptr;
  if (BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_ECDSA_P256_ALGORITHM, nullptr, 0) != 0)
    throw std::runtime_error("no ECDSA P-256 provider");
  algorithm_ = algorithm;
  if (BCryptGenerateKeyPair(algorithm, &key, 256, 0) != 0 || BCryptFinalizeKeyPair(key, 0) != 0)
    throw std::runtime_error("no key pair");
  key_ = key;
  unsigned char blob[sizeof(BCRYPT_ECCKEY_BLOB) + sizeof public_];
  ULONG n = 0;
  if (BCryptExportKey(key, nullptr, BCRYPT_ECCPUBLIC_BLOB, blob, sizeof blob, &n, 0) != 0 || n != sizeof blob)
    throw std::runtime_error("no public key");
  std::memcpy(public_, blob + sizeof(BCRYPT_ECCKEY_BLOB), sizeof public_);
}

TestSigner::~TestSigner() {
  if (key_) BCryptDestroyKey(static_cast<BCRYPT_KEY_HANDLE>(key_));
  if (algorithm_) BCryptCloseAlgorithmProvider(static_cast<BCRYPT_ALG_HANDLE>(algorithm_), 0);
}

std::string TestSigner::Sign(const std::string& url, const std::string& bytes) const {
  Sha256Digest digest = SignedFileDigest(ServerPathOfUrl(url), bytes);
  ManifestSignature signature{};
  ULONG n = 0;
  if (BCryptSignHash(static_cast<BCRYPT_KEY_HANDLE>(key_), nullptr, digest.data(), digest.size(),
                     signature.data(), signature.size(), &n, 0) != 0 ||
      n != signature.size())
    throw std::runtime_error("signing failed");
  return SignatureHex(signature);
}

ScopedPublisherKey::ScopedPublisherKey(const uint8_t* key) { signature::SetPublisherKeyForTesting(key); }
ScopedPublisherKey::~ScopedPublisherKey() { signature::ResetPublisherKeyForTesting(); }

void ServeExact(ScriptedServer* server, const std::string& path, const std::string& body) {
  const Sha256Digest d = Sha256Of(body.data(), body.size());
  server->ServeResource(path, body, "\"" + Sha256Hex(d.data()) + "\"", "");
}

void ServeSigned(ScriptedServer* server, const TestSigner& signer, const std::string& path,
                 const std::string& body) {
  ServeExact(server, path, body);
  ServeExact(server, path + ".sig", signer.Sign(server->BaseUrl() + path, body));
}

ManifestFile RecordOf(const std::string& name, const std::string& bytes) {
  ManifestFile f;
  f.name = name;
  f.size = bytes.size();
  f.sha256 = Sha256Of(bytes.data(), bytes.size());
  return f;
}
