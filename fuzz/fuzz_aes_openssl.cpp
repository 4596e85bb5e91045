// Our AES-128-ECB against OpenSSL's: the first 16 bytes are the key, the rest
// (whole blocks) the data; both directions must agree.
#include <openssl/evp.h>

#include <cstring>
#include <memory>
#include <vector>

#include "core/aes128.h"

namespace {

bool OpenSslEcb(bool encrypt, const uint8_t* key, const uint8_t* in, size_t size, uint8_t* out) {
  std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)> ctx(EVP_CIPHER_CTX_new(),
                                                                      &EVP_CIPHER_CTX_free);
  int n = 0, tail = 0;
  return ctx && EVP_CipherInit_ex(ctx.get(), EVP_aes_128_ecb(), nullptr, key, nullptr, encrypt) &&
         EVP_CIPHER_CTX_set_padding(ctx.get(), 0) &&
         EVP_CipherUpdate(ctx.get(), out, &n, in, static_cast<int>(size)) &&
         EVP_CipherFinal_ex(ctx.get(), out + n, &tail) && static_cast<size_t>(n + tail) == size;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < aes128::kKeySize) return 0;
  const uint8_t* key = data;
  size_t length = (size - aes128::kKeySize) / aes128::kBlockSize * aes128::kBlockSize;
  if (length == 0) return 0;
  const uint8_t* in = data + aes128::kKeySize;
  std::vector<uint8_t> ours(in, in + length), ref(length);

  aes128::KeySchedule dec;
  aes128::ExpandDecryptKey(key, &dec);
  aes128::DecryptEcb(dec, ours.data(), length);
  if (!OpenSslEcb(false, key, in, length, ref.data()) || ours != ref) __builtin_trap();

  aes128::KeySchedule enc;
  aes128::ExpandEncryptKey(key, &enc);
  std::vector<uint8_t> back(in, in + length);
  aes128::EncryptEcb(enc, back.data(), length);
  if (!OpenSslEcb(true, key, in, length, ref.data()) || back != ref) __builtin_trap();
  return 0;
}
