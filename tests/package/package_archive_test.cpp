#include "package/package_archive.h"

#include <gtest/gtest.h>

#include "package/file_write_queue.h"
#include "package_test_util.h"
#include "system/scoped_handle.h"
#include "test_seams.h"

namespace {

uint64_t Ticks(const FILETIME& ft) {
  return (uint64_t{ft.dwHighDateTime} << 32) | ft.dwLowDateTime;
}

std::string Le32(uint32_t v) {
  std::string s;
  for (int i = 0; i < 4; ++i) s.push_back(static_cast<char>(v >> (8 * i)));
  return s;
}

class PackageArchiveTest : public ::testing::Test {
 protected:
  // Writes a one-member zip and opens it with the package password.
  std::unique_ptr<PackageArchive> OpenWith(const ZipMember& member) {
    std::string error;
    EXPECT_TRUE(WriteZip(dir.File("p.zip"), {member}, &error)) << error;
    auto archive = PackageArchive::Open(dir.File("p.zip"), kPackagePassword);
    if (archive) archive->SetBaseFolder(dir.path());
    return archive;
  }
  static ZipMember Member(const std::string& name, const std::string& bytes) {
    ZipMember m;
    m.name = name;
    m.bytes = bytes;
    m.password = kPackagePassword;
    return m;
  }
  TempFolder dir;
};

}  // namespace

TEST_F(PackageArchiveTest, OpenFailsForMissingOrNonZipFiles) {
  EXPECT_EQ(PackageArchive::Open(dir.File("none.zip"), kPackagePassword), nullptr);
  WriteFileBytes(dir.File("junk.zip"), std::string(100, 'j'));
  EXPECT_EQ(PackageArchive::Open(dir.File("junk.zip"), kPackagePassword), nullptr);
}

TEST_F(PackageArchiveTest, BaseFolderStartsAtCurrentDirectoryAndEndsWithSeparator) {
  auto archive = OpenWith(Member("a.bin", "x"));
  ASSERT_TRUE(archive);
  char cwd[MAX_PATH];
  ::GetCurrentDirectoryA(MAX_PATH, cwd);
  auto fresh = PackageArchive::Open(dir.File("p.zip"), kPackagePassword);
  std::string expected = cwd;
  if (expected.back() != '\\') expected += '\\';
  EXPECT_EQ(fresh->base_folder(), expected);
  struct Case {
    const char* in;
    const char* out;
  } cases[] = {{"D:\\Game", "D:\\Game\\"}, {"D:\\Game\\", "D:\\Game\\"}, {"D:/Game/", "D:/Game/"}, {"", "\\"},
               {"D:\\乗", "D:\\乗\\"}};  // its trail byte is no separator
  for (const Case& c : cases) {
    archive->SetBaseFolder(c.in);
    EXPECT_EQ(archive->base_folder(), c.out) << c.in;
  }
}

TEST_F(PackageArchiveTest, FirstEntryCarriesSanitisedNameAttributesTimesAndSizes) {
  ZipMember m = Member("C:\\Windows\\x.dat", std::string(5000, 'z'));
  m.external_attributes = 0x21;  // read-only, archive
  m.local_extra = std::string("UT\x09\x00\x03", 5) + Le32(1600000000) + Le32(1500000000);
  auto archive = OpenWith(m);
  ASSERT_TRUE(archive);
  ArchiveEntry e;
  ASSERT_EQ(archive->GetFirstEntry(&e), EntryStatus::kOk);
  EXPECT_EQ(e.index, 0);
  EXPECT_STREQ(e.name, "Windows\\x.dat");
  EXPECT_EQ(e.attributes, DWORD{FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE});
  EXPECT_EQ(Ticks(e.write_time), Ticks(UnixTimeToFileTime(1600000000)));
  EXPECT_EQ(Ticks(e.access_time), Ticks(UnixTimeToFileTime(1500000000)));
  EXPECT_NE(Ticks(e.creation_time), 0u);  // from the DOS time
  EXPECT_EQ(e.uncompressed_size, 5000);
  EXPECT_GT(e.compressed_size, 12);  // encryption header included
  ArchiveEntry again;
  ASSERT_EQ(archive->GetFirstEntry(&again), EntryStatus::kOk);
  EXPECT_STREQ(again.name, e.name);
}

TEST_F(PackageArchiveTest, DosTimeIsLocalAndBecomesAllThreeTimesOfTheFile) {
  ZipMember m = Member("dated.pak", "content");
  // 2021-06-15 13:45:30 local time; no extended timestamp block.
  m.dos_date_time = (((41u << 9) | (6u << 5) | 15u) << 16) | ((13u << 11) | (45u << 5) | 15u);
  auto archive = OpenWith(m);
  ASSERT_TRUE(archive);
  ArchiveEntry e;
  ASSERT_EQ(archive->GetFirstEntry(&e), EntryStatus::kOk);
  EXPECT_EQ(Ticks(e.creation_time), Ticks(e.write_time));
  EXPECT_EQ(Ticks(e.access_time), Ticks(e.write_time));
  ASSERT_EQ(archive->ExtractFirstEntry("dated.pak"), ExtractStatus::kOk);
  archive->Close();
  ScopedFileHandle f(::CreateFileA(dir.File("dated.pak").c_str(), GENERIC_READ, FILE_SHARE_READ,
                                   nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(f);
  FILETIME times[3] = {};
  ASSERT_TRUE(::GetFileTime(f.get(), &times[0], &times[1], &times[2]));
  for (const FILETIME& utc : times) {
    FILETIME local{};
    SYSTEMTIME st{};
    ASSERT_TRUE(::FileTimeToLocalFileTime(&utc, &local));
    ASSERT_TRUE(::FileTimeToSystemTime(&local, &st));
    EXPECT_EQ(st.wYear, 2021);
    EXPECT_EQ(st.wMonth, 6);
    EXPECT_EQ(st.wDay, 15);
    EXPECT_EQ(st.wHour, 13);
    EXPECT_EQ(st.wMinute, 45);
    EXPECT_EQ(st.wSecond, 30);
  }
}

TEST_F(PackageArchiveTest, NamesLeadingOutsideAreRefused) {
  // Files go below a folder inside the test's own one, so a name that
  // escapes by one level lands where this test sees it and cleans it up,
  // instead of staying behind to fail later runs.
  const std::string base = dir.File("base");
  ::CreateDirectoryA(base.c_str(), nullptr);
  const std::string escaped = dir.File("x.dat");
  auto remove_strays = [&] {
    for (const std::string& p : {escaped, std::string("C:\\x.dat")}) ::DeleteFileA(p.c_str());
  };
  remove_strays();
  for (const char* name : {"a\\..\\..\\x.dat", "../x.dat", "a/../../x.dat", "x.dat:alt"}) {
    auto archive = OpenWith(Member(name, "data"));
    ASSERT_TRUE(archive) << name;
    archive->SetBaseFolder(base);
    ArchiveEntry e;
    EXPECT_EQ(archive->GetFirstEntry(&e), EntryStatus::kRefusedName) << name;
    EXPECT_EQ(archive->ExtractFirstEntry("x.dat"), ExtractStatus::kEntryUnreadable) << name;
  }
  auto archive = OpenWith(Member("ok.dat", "data"));
  archive->SetBaseFolder(base);
  for (const char* name : {"..\\x.dat", "C:\\x.dat", "\\x.dat", "/x.dat", "a\\..\\..\\x"}) {
    EXPECT_EQ(archive->ExtractFirstEntry(name), ExtractStatus::kRefusedName) << name;
  }
  EXPECT_FALSE(FileExists(escaped));
  EXPECT_FALSE(FileExists("C:\\x.dat"));
  remove_strays();
}

TEST_F(PackageArchiveTest, EmptyArchiveHasNoFirstEntry) {
  std::string error;
  ASSERT_TRUE(WriteZip(dir.File("empty.zip"), {}, &error)) << error;
  auto archive = PackageArchive::Open(dir.File("empty.zip"), kPackagePassword);
  if (!archive) return;  // minizip may refuse an archive without members: also a failure
  ArchiveEntry e;
  EXPECT_EQ(archive->GetFirstEntry(&e), EntryStatus::kArgumentError);
  EXPECT_EQ(archive->ExtractFirstEntry("a"), ExtractStatus::kArgumentError);
}

TEST_F(PackageArchiveTest, LocalHeaderDisagreeingWithDirectoryIsCorrupt) {
  ASSERT_TRUE(OpenWith(Member("a.bin", "abc")));
  std::string zip = ReadFileBytes(dir.File("p.zip"));
  zip[0] = 'X';  // local header signature
  WriteFileBytes(dir.File("bad.zip"), zip);
  auto archive = PackageArchive::Open(dir.File("bad.zip"), kPackagePassword);
  ASSERT_TRUE(archive);
  ArchiveEntry e;
  EXPECT_EQ(archive->GetFirstEntry(&e), EntryStatus::kCorrupt);
}

TEST_F(PackageArchiveTest, MemberCopiesWholeAcrossTransferBufferBoundaries) {
  const size_t kBuf = FileWriteQueue::kPieceSize;
  for (size_t size : {size_t{1}, kBuf - 1, kBuf, kBuf + 1, 2 * kBuf - 1, 2 * kBuf, 2 * kBuf + 1,
                      3 * kBuf + 7}) {
    for (int method : {0, 8}) {
      for (bool compressible : {false, true}) {
        std::string content = compressible ? std::string(size, 'c') : Pattern(size, static_cast<unsigned>(size));
        if (compressible && size > 3) content[size / 2] = 'x';
        ZipMember m = Member("sub\\deeper\\game.pak", content);
        m.method = method;
        m.local_extra = std::string("UT\x05\x00\x01", 5) + Le32(1400000000);
        auto archive = OpenWith(m);
        ASSERT_TRUE(archive);
        ASSERT_EQ(archive->ExtractFirstEntry("sub\\deeper\\game.pak"), ExtractStatus::kOk)
            << size << " method " << method;
        const std::string path = dir.File("sub\\deeper\\game.pak");
        EXPECT_TRUE(ReadFileBytes(path) == content) << size << " method " << method;
        archive->Close();
        ScopedFileHandle f(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                         OPEN_EXISTING, 0, nullptr));
        FILETIME write{};
        ::GetFileTime(f.get(), nullptr, nullptr, &write);
        EXPECT_EQ(Ticks(write), Ticks(UnixTimeToFileTime(1400000000))) << size;
      }
    }
  }
}

TEST_F(PackageArchiveTest, FailedExtractionsLeaveNoFileBehind) {
  // The cipher's single check byte lets a wrong password through now and
  // then; the garbled data must then still fail, in inflate or in the CRC
  // check, for stored and deflated members alike.
  for (int method : {0, 8}) {
    for (const char* password : {"0000000000", "6203918548", ""}) {
      ZipMember m = Member("game.pak", Pattern(40000, 1));
      m.method = method;
      ASSERT_TRUE(OpenWith(m));
      auto wrong = PackageArchive::Open(dir.File("p.zip"), password);
      ASSERT_TRUE(wrong);
      wrong->SetBaseFolder(dir.path());
      const ExtractStatus status = wrong->ExtractFirstEntry("game.pak");
      EXPECT_TRUE(status == ExtractStatus::kWrongPassword || status == ExtractStatus::kDataError)
          << "method " << method << " password '" << password << "' status " << static_cast<int>(status);
      EXPECT_FALSE(FileExists(dir.File("game.pak"))) << method << " " << password;
    }
  }
  // Damaged encrypted, deflated data: the cipher garbles everything after the
  // damaged byte, so inflate or the CRC check fails.
  ASSERT_TRUE(OpenWith(Member("game.pak", std::string(60000, 'q') + Pattern(60000, 4))));
  std::string deflated = ReadFileBytes(dir.File("p.zip"));
  deflated[30 + 8 + 12 + 40] ^= 0x01;
  WriteFileBytes(dir.File("bad1.zip"), deflated);
  {
    auto archive = PackageArchive::Open(dir.File("bad1.zip"), kPackagePassword);
    archive->SetBaseFolder(dir.path());
    EXPECT_EQ(archive->ExtractFirstEntry("game.pak"), ExtractStatus::kDataError);
    EXPECT_FALSE(FileExists(dir.File("game.pak")));
  }
  // Damaged data inside an unencrypted stored member: found by the CRC check.
  ZipMember plain = Member("game.pak", Pattern(40000, 2));
  plain.password = nullptr;
  plain.method = 0;
  ASSERT_TRUE(OpenWith(plain));
  std::string zip = ReadFileBytes(dir.File("p.zip"));
  zip[30 + 8 + 20000] ^= 0x55;  // local header (30) + name (8) + into the data
  WriteFileBytes(dir.File("bad.zip"), zip);
  auto archive = PackageArchive::Open(dir.File("bad.zip"), kPackagePassword);
  archive->SetBaseFolder(dir.path());
  EXPECT_EQ(archive->ExtractFirstEntry("game.pak"), ExtractStatus::kDataError);
  EXPECT_FALSE(FileExists(dir.File("game.pak")));
}

// Sizes in the headers that disagree with the member's data: a member that
// ends early, or one that is cut short by its own sizes, is not a pack.
TEST_F(PackageArchiveTest, MemberSizesDisagreeingWithTheDataAreDataErrors) {
  const uint32_t kSize = 40000;
  struct Case {
    int method;
    const char* password;
    uint32_t claimed;
  } cases[] = {
      {0, kPackagePassword, kSize + 1}, {0, kPackagePassword, kSize - 1},
      {8, kPackagePassword, kSize + 1}, {8, kPackagePassword, kSize - 1},
      {0, nullptr, kSize + 100},        {8, nullptr, kSize / 2},
  };
  for (const Case& c : cases) {
    ZipMember m = Member("game.pak", Pattern(kSize, 3));
    m.method = c.method;
    m.password = c.password;
    ASSERT_TRUE(OpenWith(m));
    std::string zip = ReadFileBytes(dir.File("p.zip"));
    // Uncompressed size in the local header (offset 22) and the central
    // directory entry (offset 24); both must agree or the header check fails.
    const size_t central = zip.find(std::string("PK\x01\x02", 4));
    ASSERT_NE(central, std::string::npos);
    zip.replace(22, 4, Le32(c.claimed));
    zip.replace(central + 24, 4, Le32(c.claimed));
    WriteFileBytes(dir.File("sized.zip"), zip);
    auto archive = PackageArchive::Open(dir.File("sized.zip"), kPackagePassword);
    ASSERT_TRUE(archive);
    archive->SetBaseFolder(dir.path());
    EXPECT_EQ(archive->ExtractFirstEntry("game.pak"), ExtractStatus::kDataError)
        << "method " << c.method << " encrypted " << (c.password != nullptr) << " claimed " << c.claimed;
    EXPECT_FALSE(FileExists(dir.File("game.pak"))) << c.method << " " << c.claimed;
  }
}

TEST_F(PackageArchiveTest, UnencryptedMemberIsReadWithoutThePassword) {
  ZipMember m = Member("plain.pak", Pattern(20000, 9));
  m.password = nullptr;
  auto archive = OpenWith(m);
  ASSERT_EQ(archive->ExtractFirstEntry("plain.pak"), ExtractStatus::kOk);
  EXPECT_TRUE(ReadFileBytes(dir.File("plain.pak")) == m.bytes);
}

TEST_F(PackageArchiveTest, AttributesAndDirectoriesAreApplied) {
  ZipMember ro = Member("ro.pak", "read only");
  ro.external_attributes = 0x21;
  auto archive = OpenWith(ro);
  ASSERT_EQ(archive->ExtractFirstEntry("ro.pak"), ExtractStatus::kOk);
  EXPECT_TRUE(::GetFileAttributesA(dir.File("ro.pak").c_str()) & FILE_ATTRIBUTE_READONLY);
  archive->Close();
  // A second extraction replaces the read-only copy.
  archive = PackageArchive::Open(dir.File("p.zip"), kPackagePassword);
  archive->SetBaseFolder(dir.path());
  EXPECT_EQ(archive->ExtractFirstEntry("ro.pak"), ExtractStatus::kOk);
  archive->Close();
  ::SetFileAttributesA(dir.File("ro.pak").c_str(), FILE_ATTRIBUTE_NORMAL);

  ZipMember folder = Member("made\\here/", "");
  folder.external_attributes = 0x10;
  archive = OpenWith(folder);
  ASSERT_EQ(archive->ExtractFirstEntry("made\\here/"), ExtractStatus::kOk);
  EXPECT_TRUE(FolderExists(dir.File("made\\here")));
}

TEST(EnsureDirectory, CreatesRootAndEveryMissingLevel) {
  TempFolder dir;
  const std::string root = dir.File("root") + "\\";
  EXPECT_TRUE(EnsureDirectory(root, "a\\b/c\\"));
  EXPECT_TRUE(FolderExists(root + "a\\b\\c"));
  EXPECT_TRUE(EnsureDirectory(root, "a\\b"));  // already there
  EXPECT_TRUE(EnsureDirectory(root, ""));
  EXPECT_TRUE(EnsureDirectory("", root + "x\\y"));
  EXPECT_TRUE(FolderExists(root + "x\\y"));
}
