#include "core/pack_directory.h"

#include <algorithm>
#include <cstring>

#include "core/byte_order.h"

void PackDirectory::Add(std::string_view name, PackSpan span) {
  items_.push_back({static_cast<uint32_t>(names_.size()), static_cast<uint16_t>(name.size()), span});
  names_.append(name.data(), name.size());
  if (items_.size() >= compact_at_) {
    Compact(true);
    compact_at_ = std::max(compact_at_, 2 * items_.size());
  }
}

void PackDirectory::Finish() { Compact(false); }

void PackDirectory::Compact(bool repack) {
  auto name_of = [this](const Item& it) {
    return std::string_view(names_.data() + it.name_at, it.name_length);
  };
  // Equal names stay in file order (name_at grows with it, and a repacked
  // block keeps only names older than any added later), so the last of a run
  // is the record that wins.
  std::sort(items_.begin(), items_.end(), [&](const Item& a, const Item& b) {
    int c = name_of(a).compare(name_of(b));
    return c != 0 ? c < 0 : a.name_at < b.name_at;
  });
  size_t out = 0;
  for (size_t i = 0; i < items_.size(); ++i) {
    if (i + 1 < items_.size() && name_of(items_[i]) == name_of(items_[i + 1])) continue;
    items_[out++] = items_[i];
  }
  items_.resize(out);
  if (repack) {
    std::string kept;
    size_t bytes = 0;
    for (const Item& it : items_) bytes += it.name_length;
    kept.reserve(bytes);
    for (Item& it : items_) {
      const std::string_view name = name_of(it);
      it.name_at = static_cast<uint32_t>(kept.size());
      kept.append(name.data(), name.size());
    }
    names_.swap(kept);
  } else {
    items_.shrink_to_fit();
  }
}

namespace {

// Number of records when the table is usable, -1 otherwise: payload length
// below 4, a non-positive count, or a table that does not fit in the payload
// or in the body.
int64_t PackTableCount(uint32_t payload_length, uint64_t body_length, int32_t count) {
  if (payload_length < 4 || body_length < 4 || count <= 0) return -1;
  // 64-bit arithmetic: a count near 2^31 must not wrap into a small table.
  uint64_t table = uint64_t{kPackRecordSize} * static_cast<uint32_t>(count);
  if (table > uint64_t{payload_length} - 4 || table > body_length - 4) return -1;
  return count;
}

// The entry name of one 268-byte record: up to its NUL or the field's end.
std::string_view PackRecordName(const uint8_t* record) {
  const char* name = reinterpret_cast<const char*>(record);
  return std::string_view(name, std::find(name, name + kPackNameField, '\0') - name);
}

PackSpan PackRecordSpan(const uint8_t* record) {
  const uint8_t* fields = record + kPackNameField;
  return {static_cast<int32_t>(LoadLe32(fields)), static_cast<int32_t>(LoadLe32(fields + 4))};
}

}  // namespace

bool ReadPackTable(uint32_t payload_length, uint64_t body_length, const PackBodyRead& read,
                   const std::function<void(std::string_view, PackSpan)>& on_record,
                   const std::function<void(uint64_t done, uint64_t total)>& on_progress) {
  if (payload_length < 4 || body_length < 4) return false;
  uint8_t head[4];
  if (!read(0, head, sizeof head)) return false;
  const int64_t count =
      PackTableCount(payload_length, body_length, static_cast<int32_t>(LoadLe32(head)));
  if (count < 0) return false;
  const uint64_t total = kPackRecordSize * static_cast<uint64_t>(count);
  uint8_t record[kPackRecordSize];
  on_progress(0, total);
  for (int64_t i = 0; i < count; ++i) {
    const uint64_t at = 4 + kPackRecordSize * static_cast<uint64_t>(i);
    if (!read(at, record, sizeof record)) return false;
    on_record(PackRecordName(record), PackRecordSpan(record));
    on_progress(at - 4 + kPackRecordSize, total);
  }
  return true;
}

std::vector<PackRecord> ReadPackRecords(uint32_t payload_length, const uint8_t* body,
                                        size_t body_length) {
  std::vector<PackRecord> records;
  if (body == nullptr) return records;
  auto read = [&](uint64_t offset, void* dst, size_t n) {
    if (offset > body_length || n > body_length - offset) return false;
    std::memcpy(dst, body + offset, n);
    return true;
  };
  bool ok = ReadPackTable(
      payload_length, body_length, read,
      [&](std::string_view name, PackSpan span) { records.push_back({std::string(name), span}); },
      [](uint64_t, uint64_t) {});
  if (!ok) records.clear();
  return records;
}

PackDirectory ParsePackDirectory(uint32_t payload_length, const uint8_t* body,
                                 size_t body_length) {
  PackDirectory directory;
  for (const PackRecord& r : ReadPackRecords(payload_length, body, body_length)) {
    directory.Add(r.name, r.span);
  }
  directory.Finish();
  return directory;
}

bool SpanFitsBody(const PackSpan& span, uint64_t body_length) {
  if (span.offset < 0 || span.size < 0) return false;
  return uint64_t{static_cast<uint32_t>(span.offset)} + static_cast<uint32_t>(span.size) <=
         body_length;
}
