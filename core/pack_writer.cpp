#include "core/pack_writer.h"

#include <algorithm>
#include <climits>

#include "core/pack_directory.h"
#include "core/pack_key.h"

namespace {

constexpr size_t kRun = 64 * 1024;  // plain bytes encrypted per sink call

void AppendLe32(std::string* out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out->push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

}  // namespace

PackWriter::PackWriter(std::string_view password, Sink sink) : sink_(std::move(sink)) {
  const auto raw = DerivePackKey(password);
  aes128::ExpandEncryptKey(raw.data(), &key_);
  pending_.reserve(kRun);
}

bool PackWriter::Begin(const std::vector<PackInput>& inputs, std::string* error) {
  const uint64_t table = 4 + uint64_t{kPackRecordSize} * inputs.size();
  uint64_t total = table;
  for (const PackInput& in : inputs) {
    if (in.name.size() >= kPackNameField || in.name.find('\0') != std::string::npos) {
      *error = "name too long for the 260-byte entry field: " + in.name;
      return false;
    }
    total += in.size;
    if (in.size > INT32_MAX || total > INT32_MAX) {
      *error = "too large for the pack format (offsets and sizes are signed 32-bit): " + in.name;
      return false;
    }
  }
  payload_length_ = static_cast<uint32_t>(total);
  expected_data_ = total - table;

  std::string header;
  AppendLe32(&header, payload_length_);
  AppendLe32(&header, 0);
  if (!sink_(header.data(), header.size())) {
    *error = "cannot write the pack";
    return false;
  }
  std::string head;
  AppendLe32(&head, static_cast<uint32_t>(inputs.size()));
  uint64_t offset = table;
  for (const PackInput& in : inputs) {
    head += PackRecordBytes(in.name, static_cast<int32_t>(offset), static_cast<int32_t>(in.size));
    offset += in.size;
  }
  return Put(head.data(), head.size());
}

bool PackWriter::Write(const void* data, size_t size) {
  written_data_ += size;
  return Put(data, size);
}

bool PackWriter::Put(const void* data, size_t size) {
  const uint8_t* p = static_cast<const uint8_t*>(data);
  while (size > 0 && !failed_) {
    size_t take = std::min(size, kRun - pending_.size());
    pending_.insert(pending_.end(), p, p + take);
    p += take;
    size -= take;
    if (pending_.size() == kRun && !Flush()) failed_ = true;
  }
  return !failed_;
}

bool PackWriter::Flush() {
  aes128::EncryptEcb(key_, pending_.data(), pending_.size());
  bool ok = pending_.empty() || sink_(pending_.data(), pending_.size());
  pending_.clear();
  return ok;
}

bool PackWriter::Finish(std::string* error) {
  if (written_data_ != expected_data_) {
    *error = "file data did not match the announced sizes";
    return false;
  }
  pending_.resize((pending_.size() + 15) / 16 * 16, 0);
  if (failed_ || !Flush()) {
    *error = "cannot write the pack";
    return false;
  }
  return true;
}

std::string BuildPackBytes(const std::vector<std::pair<std::string, std::string>>& files,
                           std::string_view password) {
  std::string out;
  PackWriter writer(password, [&out](const void* d, size_t n) {
    out.append(static_cast<const char*>(d), n);
    return true;
  });
  std::vector<PackInput> inputs;
  for (const auto& [name, bytes] : files) inputs.push_back({name, bytes.size()});
  std::string error;
  writer.Begin(inputs, &error);
  for (const auto& file : files) writer.Write(file.second.data(), file.second.size());
  writer.Finish(&error);
  return out;
}

std::string SealPack(uint32_t payload_length, std::string plain_body, std::string_view password) {
  plain_body.resize((plain_body.size() + 15) / 16 * 16, '\0');
  const auto raw = DerivePackKey(password);
  aes128::KeySchedule key;
  aes128::ExpandEncryptKey(raw.data(), &key);
  aes128::EncryptEcb(key, reinterpret_cast<uint8_t*>(&plain_body[0]), plain_body.size());
  std::string out;
  AppendLe32(&out, payload_length);
  AppendLe32(&out, 0);
  return out + plain_body;
}

std::string PackRecordBytes(std::string_view name, int32_t offset, int32_t size) {
  std::string rec(name.substr(0, kPackNameField));
  rec.resize(kPackNameField, '\0');
  AppendLe32(&rec, static_cast<uint32_t>(offset));
  AppendLe32(&rec, static_cast<uint32_t>(size));
  return rec;
}
