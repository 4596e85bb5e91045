#include "core/pack_directory.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "core/pack_writer.h"

namespace {

std::string Le32(uint32_t v) {
  std::string s;
  for (int i = 0; i < 4; ++i) s.push_back(static_cast<char>(v >> (8 * i)));
  return s;
}

PackDirectory Parse(uint32_t payload, const std::string& body) {
  return ParsePackDirectory(payload, reinterpret_cast<const uint8_t*>(body.data()), body.size());
}

std::string Table(const std::vector<PackRecord>& records, int32_t count_override = -999) {
  std::string s = Le32(static_cast<uint32_t>(count_override == -999
                                                 ? static_cast<int32_t>(records.size())
                                                 : count_override));
  for (const PackRecord& r : records) s += PackRecordBytes(r.name, r.span.offset, r.span.size);
  return s;
}

}  // namespace

TEST(ParsePackDirectory, TableMustFitPayloadAndBody) {
  const std::string one = Table({{"top\\a.txt", {272, 3}}}) + "abc";
  const std::string two = Table({{"top\\a", {4, 1}}, {"top\\b", {5, 1}}});
  struct Case {
    const char* what;
    uint32_t payload;
    std::string body;
    size_t expected;
  } cases[] = {
      {"valid", 275, one, 1},
      {"payload 3 hides a valid table", 3, one, 0},
      {"payload exactly holds the table", 4 + 268, one, 1},
      {"payload one short of the table", 4 + 267, one, 0},
      {"count 2 with payload 4+268", 4 + 268, two, 0},
      {"count 2 with payload 4+536", 4 + 536, two, 2},
      {"payload longer than the body", 100000, two.substr(0, 4 + 268), 0},
      {"count 0", 1000, Table({}) + std::string(300, 'x'), 0},
      {"negative count", 1000, Table({}, -1) + std::string(300, 'x'), 0},
      {"huge count", 0xFFFFFFFFu, Table({}, 0x7FFFFFFF) + std::string(300, 'x'), 0},
      // 268 * 16027264 wraps to 339456 in 32-bit arithmetic.
      {"count whose table size wraps", 0xFFFFFFFFu, Table({}, 16027264) + std::string(339456, 'x'), 0},
      {"body shorter than the count", 1000, std::string("\x01\x00", 2), 0},
      {"empty body", 1000, std::string(), 0},
  };
  for (const Case& c : cases) EXPECT_EQ(Parse(c.payload, c.body).size(), c.expected) << c.what;
}

TEST(ParsePackDirectory, OrdersNamesBytewiseUnsignedAndLastOneWins) {
  const std::string body = Table({{"top\\b", {1, 1}},
                                  {"a\\x", {2, 2}},
                                  {"A\\x", {3, 3}},
                                  {"\xB0\xA1\\x", {4, 4}},  // a double-byte name sorts after ASCII
                                  {"top\\b", {5, 5}},
                                  {"top", {6, 6}}});
  PackDirectory dir = Parse(static_cast<uint32_t>(body.size()), body);
  std::vector<std::string> names;
  std::vector<int32_t> offsets;
  for (size_t i = 0; i < dir.size(); ++i) {
    names.emplace_back(dir[i].name);
    offsets.push_back(dir[i].span.offset);
    EXPECT_EQ(dir[i].span.size, dir[i].span.offset);
  }
  EXPECT_EQ(names, (std::vector<std::string>{"A\\x", "a\\x", "top", "top\\b", "\xB0\xA1\\x"}));
  EXPECT_EQ(offsets, (std::vector<int32_t>{3, 2, 6, 5, 4}));  // top\b: the second record
}

TEST(ParsePackDirectory, NameStopsAtNulOrAtTheFieldEnd) {
  std::string full(kPackNameField, 'n');
  std::string body = Le32(2) + PackRecordBytes(full, 0, 0) + PackRecordBytes(std::string("ab\0cd", 5), 0, 0);
  auto records = ReadPackRecords(static_cast<uint32_t>(body.size()),
                                 reinterpret_cast<const uint8_t*>(body.data()), body.size());
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].name, full);  // 260 bytes, no terminator: the field bounds it
  EXPECT_EQ(records[1].name, "ab");
}

TEST(PackDirectory, ManyRecordsOverFewNamesKeepTheLastOfEach) {
  // Enough records to be compacted on the way several times.
  PackDirectory dir;
  const int kNames = 1000, kRecords = 300000;
  for (int i = 0; i < kRecords; ++i) dir.Add("t\\n" + std::to_string((i * 7) % kNames), {i, 0});
  dir.Finish();
  ASSERT_EQ(dir.size(), static_cast<size_t>(kNames));
  for (size_t k = 0; k < dir.size(); ++k) {
    const int name = std::stoi(std::string(dir[k].name.substr(3)));
    int last = -1;
    for (int i = kRecords - 1; i >= 0 && last < 0; --i) {
      if ((i * 7) % kNames == name) last = i;
    }
    EXPECT_EQ(dir[k].span.offset, last) << dir[k].name;
    if (k > 0) {
      EXPECT_LT(dir[k - 1].name, dir[k].name);
    }
  }
}

TEST(ReadPackTable, ATableThatCannotBeReadWholeIsRefused) {
  std::string body = Le32(3);
  for (int i = 0; i < 3; ++i) body += PackRecordBytes("t\\" + std::to_string(i), 0, 0);
  for (int fail_at : {0, 1, 3, -1}) {  // the count, the first record, the last record, none
    int call = 0, records = 0;
    const bool ok = ReadPackTable(
        static_cast<uint32_t>(body.size()), body.size(),
        [&](uint64_t offset, void* dst, size_t n) {
          if (call++ == fail_at) return false;
          std::memcpy(dst, body.data() + offset, n);
          return true;
        },
        [&](std::string_view, PackSpan) { ++records; }, [](uint64_t, uint64_t) {});
    EXPECT_EQ(ok, fail_at < 0) << fail_at;
    if (fail_at < 0) {
      EXPECT_EQ(records, 3);
    }
  }
}

TEST(SpanFitsBody, RejectsNegativeAndOverlongSpans) {
  struct Case {
    int32_t offset, size;
    size_t body;
    bool fits;
  } cases[] = {
      {0, 0, 0, true},       {0, 16, 16, true},      {8, 8, 16, true},
      {8, 9, 16, false},     {16, 0, 16, true},      {17, 0, 16, false},
      {-1, 1, 16, false},    {0, -1, 16, false},     {INT32_MAX, INT32_MAX, 64, false},
      {1, INT32_MAX, 64, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SpanFitsBody({c.offset, c.size}, c.body), c.fits) << c.offset << "+" << c.size;
  }
}
