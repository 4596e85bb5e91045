#include "site_tree.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <utility>

#include "core/manifest_signature.h"
#include "builder_commands.h"

namespace fs = std::filesystem;

bool WriteNewFile(const std::string& path, const std::string& bytes, mode_t mode,
                  std::string* error) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, mode);
  if (fd < 0) {
    *error = errno == EEXIST ? path + " exists already; not overwritten" : "cannot write " + path;
    return false;
  }
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  const bool ok = ::close(fd) == 0 && done == bytes.size();
  if (!ok) *error = "cannot write " + path;
  return ok;
}

std::string InTree(const std::string& root, const std::string& url) {
  return root + ServerPathOfUrl(url);
}

bool SiteTree::Write(const std::string& url, const std::string& bytes, std::string* error,
                     bool sign) {
  const std::string path = InTree(root, url);
  std::error_code ec;
  fs::create_directories(fs::path(path).parent_path(), ec);
  if (sign) signed_files.push_back({url, path});
  return WriteNewFile(path, bytes, 0644, error);
}

bool SiteTree::Copy(const std::string& url, const std::string& from, std::string* error) {
  std::string bytes;
  if (!ReadWholeFile(from, &bytes)) return *error = "cannot read " + from, false;
  return Write(url, bytes, error);
}

bool RecordOf(const std::string& name, const std::string& path, uint64_t block_size,
              ManifestFile* record, std::string* error) {
  File in(std::fopen(path.c_str(), "rb"));
  if (!in) return *error = "cannot read " + path, false;
  *record = RecordOfBytes(name, block_size, [&in](unsigned char* buffer, size_t n) {
    return std::fread(buffer, 1, n, in.get());
  });
  if (std::ferror(in.get())) return *error = "cannot read " + path, false;
  return true;
}

bool SiteTree::Record(const std::string& url, uint64_t block_size, SignedManifest* manifest,
                      std::string* error) const {
  manifest->files.emplace_back();
  return RecordOf(ManifestNameOfUrl(url), InTree(root, url), block_size, &manifest->files.back(),
                  error);
}

bool SignAll(const std::vector<SiteFile>& files, const PublisherKey& key, SiteTree* site,
             std::string* error) {
  std::unique_ptr<PublisherKey> check = key.PublicOnly(error);
  if (!check) return false;
  std::vector<std::pair<SiteFile, std::string>> signatures;
  for (const SiteFile& f : files) {
    std::string bytes;
    if (!ReadWholeFile(f.path, &bytes)) return *error = "cannot read back " + f.path, false;
    const Sha256Digest digest = SignedFileDigest(ServerPathOfUrl(f.url), bytes);
    ManifestSignature signature;
    if (!key.Sign(digest, &signature, error)) return false;
    if (!check->Verify(digest, signature)) return *error = "signature does not verify: " + f.path, false;
    signatures.emplace_back(f, SignatureHex(signature));
  }
  for (const auto& [file, hex] : signatures) {
    if (!site->Write(SiblingUrl(file.url, kSignatureSuffix), hex, error)) return false;
    std::string bytes, back;
    ManifestSignature signature;
    if (!ReadWholeFile(file.path, &bytes) ||
        !ReadWholeFile(InTree(site->root, SiblingUrl(file.url, kSignatureSuffix)), &back) ||
        !ParseSignatureHex(back, &signature) ||
        !check->Verify(SignedFileDigest(ServerPathOfUrl(file.url), bytes), signature)) {
      return *error = "signature of " + file.path + " does not read back", false;
    }
  }
  return true;
}
