// A publisher for tests: a throw-away ECDSA P-256 key made by CNG when the
// test runs (nothing is stored), the signatures of the files it serves, and
// a scope that runs the installer keyed with it.
#pragma once

#include <stdint.h>

#include <string>

#include "core/signed_manifest.h"

class ScriptedServer;

class TestSigner {
 public:
  TestSigner();
  ~TestSigner();
  TestSigner(const TestSigner&) = delete;
  TestSigner& operator=(const TestSigner&) = delete;

  const uint8_t* publicKey() const { return public_; }
  // The signature file's text for `bytes` served at `url`.
  std::string Sign(const std::string& url, const std::string& bytes) const;

 private:
  void* algorithm_ = nullptr;
  void* key_ = nullptr;
  uint8_t public_[64] = {};
};

// While alive the installer runs keyed with `key` (null: unkeyed).
class ScopedPublisherKey {
 public:
  explicit ScopedPublisherKey(const uint8_t* key);
  ~ScopedPublisherKey();
};

// Serves `body` at `path` with a validator that follows the body, so a
// cached copy of other content is never taken for it.
void ServeExact(ScriptedServer* server, const std::string& path, const std::string& body);
// ServeExact of `body` and of its signature at path + ".sig".
void ServeSigned(ScriptedServer* server, const TestSigner& signer, const std::string& path,
                 const std::string& body);
// The manifest record of `bytes` under `name` (no block digests).
ManifestFile RecordOf(const std::string& name, const std::string& bytes);
