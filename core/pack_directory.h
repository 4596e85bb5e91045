// The directory at the start of a decrypted pack body: an entry count, then
// 268-byte records (260-byte NUL-terminated name, int32 offset, int32 size).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

constexpr size_t kPackNameField = 260;
constexpr size_t kPackRecordSize = 268;
constexpr size_t kPackHeaderSize = 8;

struct PackSpan {
  int32_t offset = 0;  // from the first byte of the body
  int32_t size = 0;
};

struct PackRecord {
  std::string name;
  PackSpan span;
};

// The entries keyed by full name, in byte-wise unsigned order (a prefix
// first), which is the order the files are written in. Every name is held
// once, in one block: a directory of hundreds of thousands of entries costs
// little more than its names.
class PackDirectory {
 public:
  struct Entry {
    std::string_view name;
    PackSpan span;
  };

  // Appends a record in file order; Finish orders them. Records that repeat
  // a name are dropped along the way, so that a table naming the same files
  // over and over costs no more than its distinct names.
  void Add(std::string_view name, PackSpan span);
  // Sorts by name and keeps, of equal names, the record added last.
  void Finish();
  void Reserve(size_t records) { items_.reserve(records); }

  size_t size() const { return items_.size(); }
  bool empty() const { return items_.empty(); }
  Entry operator[](size_t i) const {
    return {std::string_view(names_.data() + items_[i].name_at, items_[i].name_length),
            items_[i].span};
  }

 private:
  struct Item {
    uint32_t name_at;  // in names_; also the record's file order
    uint16_t name_length;
    PackSpan span;
  };
  // Sorts, keeps the last of equal names and, when `repack`, rebuilds the
  // name block with the kept names only.
  void Compact(bool repack);

  std::string names_;
  std::vector<Item> items_;
  size_t compact_at_ = 1 << 16;  // records; doubles with the distinct names
};

// Reads the table through `read(offset, dst, n)`, which places decrypted body
// bytes and returns false when it cannot; hands each record to `on_record` in
// file order and the bytes of table read so far to `on_progress` (first
// with 0, before any record). False when
// there is no usable table or a read failed.
using PackBodyRead = std::function<bool(uint64_t offset, void* dst, size_t n)>;
bool ReadPackTable(uint32_t payload_length, uint64_t body_length, const PackBodyRead& read,
                   const std::function<void(std::string_view, PackSpan)>& on_record,
                   const std::function<void(uint64_t done, uint64_t total)>& on_progress);

// The same over a decrypted body in memory.
std::vector<PackRecord> ReadPackRecords(uint32_t payload_length, const uint8_t* body,
                                        size_t body_length);
PackDirectory ParsePackDirectory(uint32_t payload_length, const uint8_t* body,
                                 size_t body_length);

// True when the span's bytes lie wholly inside a body of `body_length` bytes.
bool SpanFitsBody(const PackSpan& span, uint64_t body_length);
