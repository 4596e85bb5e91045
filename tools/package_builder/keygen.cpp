// package_builder keygen <folder>
//   Makes the publisher's ECDSA P-256 key pair: <folder>/publisher-private.pem
//   (mode 0600, never to be published or committed) and
//   <folder>/publisher-public.pem (the file -DPUBLISHER_KEY_FILE takes).
//   Refuses to overwrite either.
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "builder_commands.h"
#include "publisher_key.h"
#include "site_tree.h"

namespace fs = std::filesystem;

namespace {

constexpr char kPrivateKeyName[] = "publisher-private.pem";
constexpr char kPublicKeyName[] = "publisher-public.pem";

}  // namespace

int KeygenCommand(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: package_builder keygen <folder>\n");
    return 2;
  }
  const std::string folder = argv[1];
  const std::string private_path = folder + "/" + kPrivateKeyName;
  const std::string public_path = folder + "/" + kPublicKeyName;
  std::error_code ec;
  for (const std::string& p : {private_path, public_path}) {
    if (fs::exists(p, ec)) return Fail(1, p + " exists already; not overwritten");
  }
  fs::create_directories(folder, ec);
  std::string error;
  std::unique_ptr<PublisherKey> key = PublisherKey::Generate(&error);
  if (!key) return Fail(1, error);
  const std::string private_pem = key->PrivatePem();
  if (private_pem.empty() || !WriteNewFile(private_path, private_pem, 0600, &error)) {
    return Fail(1, error.empty() ? "cannot write the private key" : error);
  }
  if (!WriteNewFile(public_path, key->PublicPem(), 0644, &error)) {
    std::remove(private_path.c_str());
    return Fail(1, error);
  }
  std::printf("private key: %s (keep it secret, never publish it)\npublic key:  %s "
              "(-DPUBLISHER_KEY_FILE)\nkey: %s\n",
              private_path.c_str(), public_path.c_str(), key->PublicHex().c_str());
  return 0;
}
