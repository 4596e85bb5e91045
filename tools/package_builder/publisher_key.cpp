#include "publisher_key.h"

#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/ec.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>

#include <algorithm>
#include <cstring>

#include "core/hex_text.h"

namespace {

constexpr size_t kCoordinateSize = 32;

EVP_PKEY* Key(void* p) { return static_cast<EVP_PKEY*>(p); }

struct BioFree { void operator()(BIO* b) const { BIO_free(b); } };
struct CtxFree { void operator()(EVP_PKEY_CTX* c) const { EVP_PKEY_CTX_free(c); } };
struct SigFree { void operator()(ECDSA_SIG* s) const { ECDSA_SIG_free(s); } };
using Bio = std::unique_ptr<BIO, BioFree>;
using Ctx = std::unique_ptr<EVP_PKEY_CTX, CtxFree>;
using Sig = std::unique_ptr<ECDSA_SIG, SigFree>;

std::string OpenSslReason() {
  const unsigned long code = ERR_get_error();
  ERR_clear_error();
  if (code == 0) return "unknown libcrypto error";
  char text[256];
  ERR_error_string_n(code, text, sizeof text);
  return text;
}

std::string BioText(BIO* bio) {
  char* data = nullptr;
  const long n = BIO_get_mem_data(bio, &data);
  return n > 0 ? std::string(data, static_cast<size_t>(n)) : std::string();
}

Bio ReadBio(const std::string& pem) {
  return Bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
}

}  // namespace

PublisherKey::~PublisherKey() { EVP_PKEY_free(Key(pkey_)); }

std::unique_ptr<PublisherKey> PublisherKey::Adopt(void* pkey, bool has_private,
                                                  std::string* error) {
  if (!pkey) {
    *error = "not a PEM key: " + OpenSslReason();
    return nullptr;
  }
  char group[64] = "";
  size_t length = 0;
  if (!EVP_PKEY_is_a(Key(pkey), "EC") ||
      !EVP_PKEY_get_group_name(Key(pkey), group, sizeof group, &length) ||
      std::strcmp(group, "prime256v1") != 0) {
    EVP_PKEY_free(Key(pkey));
    *error = "not an ECDSA P-256 key (the installer takes no other)";
    return nullptr;
  }
  return std::unique_ptr<PublisherKey>(new PublisherKey(pkey, has_private));
}

std::unique_ptr<PublisherKey> PublisherKey::Generate(std::string* error) {
  return Adopt(EVP_PKEY_Q_keygen(nullptr, nullptr, "EC", "P-256"), true, error);
}

std::unique_ptr<PublisherKey> PublisherKey::LoadPrivate(const std::string& pem,
                                                        std::string* error) {
  Bio bio = ReadBio(pem);
  return Adopt(bio ? PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr) : nullptr, true,
               error);
}

std::string PublisherKey::PrivatePem() const {
  Bio bio(BIO_new(BIO_s_mem()));
  if (!has_private_ || !bio ||
      !PEM_write_bio_PrivateKey(bio.get(), Key(pkey_), nullptr, nullptr, 0, nullptr, nullptr)) {
    return std::string();
  }
  return BioText(bio.get());
}

std::string PublisherKey::PublicPem() const {
  Bio bio(BIO_new(BIO_s_mem()));
  if (!bio || !PEM_write_bio_PUBKEY(bio.get(), Key(pkey_))) return std::string();
  return BioText(bio.get());
}

std::string PublisherKey::PublicHex() const {
  unsigned char point[1 + 2 * kCoordinateSize];
  size_t length = 0;
  if (!EVP_PKEY_get_octet_string_param(Key(pkey_), "encoded-pub-key", point, sizeof point,
                                       &length) ||
      length != sizeof point || point[0] != 0x04) {
    return std::string();
  }
  return LowerHex(point + 1, 2 * kCoordinateSize);
}

std::unique_ptr<PublisherKey> PublisherKey::PublicOnly(std::string* error) const {
  const std::string pem = PublicPem();  // read in place: it must outlive the BIO
  Bio bio = ReadBio(pem);
  return Adopt(bio ? PEM_read_bio_PUBKEY(bio.get(), nullptr, nullptr, nullptr) : nullptr, false,
               error);
}

bool PublisherKey::Sign(const Sha256Digest& digest, ManifestSignature* signature,
                        std::string* error) const {
  Ctx ctx(EVP_PKEY_CTX_new(Key(pkey_), nullptr));
  // Room for the longest DER signature of the key.
  std::string der(static_cast<size_t>(std::max(EVP_PKEY_get_size(Key(pkey_)), 1)), '\0');
  auto* out = reinterpret_cast<unsigned char*>(&der[0]);
  size_t length = der.size();
  // No message digest is set: the context signs the digest as given.
  if (!has_private_ || !ctx || EVP_PKEY_sign_init(ctx.get()) <= 0 ||
      EVP_PKEY_sign(ctx.get(), out, &length, digest.data(), digest.size()) <= 0) {
    *error = "cannot sign: " + OpenSslReason();
    return false;
  }
  const unsigned char* in = out;
  Sig sig(d2i_ECDSA_SIG(nullptr, &in, static_cast<long>(length)));
  const BIGNUM* r = nullptr;
  const BIGNUM* s = nullptr;
  if (sig) ECDSA_SIG_get0(sig.get(), &r, &s);
  if (!sig || BN_bn2binpad(r, signature->data(), kCoordinateSize) != int{kCoordinateSize} ||
      BN_bn2binpad(s, signature->data() + kCoordinateSize, kCoordinateSize) !=
          int{kCoordinateSize}) {
    *error = "libcrypto gave a signature that is not r||s of P-256";
    return false;
  }
  return true;
}

bool PublisherKey::Verify(const Sha256Digest& digest, const ManifestSignature& signature) const {
  Sig sig(ECDSA_SIG_new());
  BIGNUM* r = BN_bin2bn(signature.data(), kCoordinateSize, nullptr);
  BIGNUM* s = BN_bin2bn(signature.data() + kCoordinateSize, kCoordinateSize, nullptr);
  if (!sig || !r || !s || !ECDSA_SIG_set0(sig.get(), r, s)) {
    BN_free(r);
    BN_free(s);
    return false;
  }
  unsigned char* der = nullptr;
  const int length = i2d_ECDSA_SIG(sig.get(), &der);
  Ctx ctx(EVP_PKEY_CTX_new(Key(pkey_), nullptr));
  const bool ok = length > 0 && ctx && EVP_PKEY_verify_init(ctx.get()) > 0 &&
                  EVP_PKEY_verify(ctx.get(), der, static_cast<size_t>(length), digest.data(),
                                  digest.size()) == 1;
  OPENSSL_free(der);
  ERR_clear_error();
  return ok;
}
