// Our MD5 against OpenSSL's on the same bytes, fed in two pieces split where
// the input's first byte says.
#include <openssl/evp.h>

#include <cstring>

#include "core/md5.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const size_t split = size ? data[0] % (size + 1) : 0;
  MD5_CTX ours;
  ours.Update(data, split);
  ours.Update(data + split, size - split);
  unsigned char mine[16];
  ours.Final(mine);
  unsigned char ref[EVP_MAX_MD_SIZE];
  unsigned int ref_len = 0;
  EVP_Digest(data, size, ref, &ref_len, EVP_md5(), nullptr);
  if (ref_len != 16 || std::memcmp(mine, ref, 16) != 0) __builtin_trap();
  return 0;
}
