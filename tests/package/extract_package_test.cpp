#include "package/extract_package.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <random>

#include "core/verified_arrival.h"
#include "message_recorder.h"
#include "package/file_write_queue.h"
#include "package/free_space.h"
#include "core/pack_directory.h"
#include "package_test_util.h"
#include "system/scoped_handle.h"
#include "test_seams.h"

namespace {

std::string Le32(uint32_t v) {
  std::string s;
  for (int i = 0; i < 4; ++i) s.push_back(static_cast<char>(v >> (8 * i)));
  return s;
}

class ExtractPackageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    install = dir.File("inst");
    ::CreateDirectoryA(install.c_str(), nullptr);
  }
  // Runs the extraction of inst\pkg.zip; returns its result.
  bool Extract(const std::string& folder_suffix = "\\") {
    recorder.Clear();
    pauses_before = ScopedNoSleep::Requested().size();
    message.clear();
    bool failed =
        ExtractPackage(recorder.hwnd(), "pkg.zip", (install + folder_suffix).c_str(), &message);
    recorder.Pump();
    return failed;
  }
  // Progress posted after the decryption's final 50.
  std::vector<int> WritingProgress() const {
    std::vector<int> all = recorder.Progress();
    auto it = std::find(all.rbegin(), all.rend(), 50);
    return std::vector<int>(it.base(), all.end());
  }
  std::vector<DWORD> TenMsPauses() const {
    std::vector<DWORD> out;
    auto all = ScopedNoSleep::Requested();
    for (size_t i = pauses_before; i < all.size(); ++i) {
      if (all[i] == 10) out.push_back(all[i]);
    }
    return out;
  }
  std::string In(const std::string& rel) const { return install + "\\" + rel; }

  ScopedNoSleep no_sleep;
  TempFolder dir;
  MessageRecorder recorder;
  std::string install;
  std::string message;
  size_t pauses_before = 0;
};

}  // namespace

TEST(PackagePassword, IsTheOneThePackagesAreSealedWith) {
  EXPECT_STREQ(kPackagePassword, "6203918547");
}

TEST_F(ExtractPackageTest, WritesListedFilesInNameOrderWithProgress) {
  WriteFileBytes(In("keep.txt"), "not in the pack");
  WriteFileBytes(In("ro.dll"), "old");
  ::SetFileAttributesA(In("ro.dll").c_str(), FILE_ATTRIBUTE_READONLY);
  ASSERT_TRUE(WritePackage(In("pkg.zip"), {{"Top\\ro.dll", "new content"},
                                            {"Top\\data\\maps\\a.map", "map"},
                                            {"A\\x.dll", "from A"},
                                            {"B\\x.dll", "from B"}}));
  EXPECT_FALSE(Extract());
  EXPECT_EQ(WritingProgress(), (std::vector<int>{62, 75, 87, 100}));
  EXPECT_EQ(TenMsPauses().size(), 3u);
  EXPECT_EQ(ReadFileBytes(In("x.dll")), "from B");  // written after A\x.dll
  EXPECT_EQ(ReadFileBytes(In("data\\maps\\a.map")), "map");
  EXPECT_EQ(ReadFileBytes(In("ro.dll")), "new content");
  EXPECT_FALSE(::GetFileAttributesA(In("ro.dll").c_str()) & FILE_ATTRIBUTE_READONLY);
  EXPECT_EQ(ReadFileBytes(In("keep.txt")), "not in the pack");
  EXPECT_FALSE(FileExists(In("game.pak"))) << "the pack is deleted";
  EXPECT_TRUE(FileExists(In("pkg.zip"))) << "the package is the worker's to delete";
  // Decryption covers 0..50 before.
  auto all = recorder.Progress();
  ASSERT_FALSE(all.empty());
  EXPECT_EQ(all.front(), 25);
}

TEST_F(ExtractPackageTest, FilesArriveWholeAcrossWritePiecesAndAQueueOfManyFiles) {
  const size_t kPiece = FileWriteQueue::kPieceSize;
  std::vector<std::pair<std::string, std::string>> files;
  size_t i = 0;
  for (size_t size : {kPiece - 1, kPiece, kPiece + 1, 2 * kPiece + 3, size_t{0}}) {
    files.push_back({"T\\big" + std::to_string(i), Pattern(size, static_cast<unsigned>(i))});
    ++i;
  }
  // More files than the queue holds, empty ones among them.
  for (; i < 200; ++i) files.push_back({"T\\s\\" + std::to_string(i), std::string(i % 3, 'x')});
  ASSERT_TRUE(WritePackage(In("pkg.zip"), files));
  EXPECT_FALSE(Extract()) << message;
  for (const auto& f : files) {
    EXPECT_TRUE(ReadFileBytes(In(f.first.substr(2))) == f.second) << f.first;
  }
}

TEST_F(ExtractPackageTest, SingleEntryPostsOnlyTheFinalHundred) {
  ASSERT_TRUE(WritePackage(In("pkg.zip"), {{"Top\\only.txt", "1"}}));
  EXPECT_FALSE(Extract(""));  // install folder without a trailing backslash
  EXPECT_EQ(WritingProgress(), (std::vector<int>{100}));
  EXPECT_TRUE(TenMsPauses().empty());
  EXPECT_EQ(ReadFileBytes(In("only.txt")), "1");
}

TEST_F(ExtractPackageTest, EntriesThatCannotBeOpenedAreSkippedAndNotCounted) {
  ASSERT_TRUE(WritePackage(In("pkg.zip"), {{"Game\\a.txt", "a"},
                                            {"Game\\data\\", ""},
                                            {"Game\\data\\c.txt", "c"},
                                            {"readme.txt", "no folder part"}}));
  EXPECT_FALSE(Extract());
  // n = 4; readme.txt and Game\data\ write nothing, so w stays behind.
  EXPECT_EQ(WritingProgress(), (std::vector<int>{62, 100}));
  EXPECT_TRUE(FolderExists(In("data")));
  EXPECT_EQ(ReadFileBytes(In("data\\c.txt")), "c");
  EXPECT_FALSE(FileExists(In("readme.txt")));
}

TEST_F(ExtractPackageTest, HiddenTargetIsOverwrittenAndKeepsItsOtherAttributes) {
  WriteFileBytes(In("h.dat"), "old old old old");
  ::SetFileAttributesA(In("h.dat").c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY);
  ASSERT_TRUE(WritePackage(In("pkg.zip"), {{"T\\h.dat", "new"}}));
  EXPECT_FALSE(Extract());
  EXPECT_EQ(ReadFileBytes(In("h.dat")), "new");
  DWORD attributes = ::GetFileAttributesA(In("h.dat").c_str());
  EXPECT_TRUE(attributes & FILE_ATTRIBUTE_HIDDEN);
  EXPECT_FALSE(attributes & FILE_ATTRIBUTE_READONLY);
}

TEST_F(ExtractPackageTest, TargetHeldOpenByASharingReaderIsStillWritten) {
  WriteFileBytes(In("busy.txt"), "old content");
  ScopedFileHandle reader(::CreateFileA(In("busy.txt").c_str(), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(reader);
  ASSERT_TRUE(WritePackage(In("pkg.zip"), {{"T\\busy.txt", "new"}}));
  EXPECT_FALSE(Extract());
  reader.reset();
  EXPECT_EQ(ReadFileBytes(In("busy.txt")), "new");
}

// A pack whose data follow a hand-made table of `records` and "GOOD".
std::string HandMadePack(const std::vector<std::string>& records) {
  std::string body = Le32(static_cast<uint32_t>(records.size()));
  for (const std::string& r : records) body += r;
  body += "GOOD";
  return SealPack(static_cast<uint32_t>(body.size()), body, kPackagePassword);
}

TEST_F(ExtractPackageTest, PackagesThatInstallNothingOrAreDamagedFailWhole) {
  const int32_t data_at = 4 + 2 * 268;  // after a two-record table
  const std::string good = PackRecordBytes("T\\a", data_at, 4);
  auto pack = [](std::string bytes) {
    return [bytes](const std::string& p) { WritePackageZip(p, "game.pak", bytes); };
  };
  struct Case {
    const char* what;
    std::function<void(const std::string&)> make;
    // A pack an earlier run left, which a reader (a scanner, a backup) holds
    // open all along: it can be read but neither replaced nor removed.
    bool stale_pack_held = false;
  } cases[] = {
      {"missing package", [](const std::string&) {}},
      {"not a zip", [](const std::string& p) { WriteFileBytes(p, "no zip here"); }},
      {"empty zip",
       [](const std::string& p) {
         std::string e;
         WriteZip(p, {}, &e);
       }},
      {"empty first member", pack("")},
      {"zip password differs",
       [](const std::string& p) {
         WritePackageZip(p, "game.pak", BuildPackBytes({{"T\\a", "a"}}, kPackagePassword), "1111111111");
       }},
      {"pack key differs", pack(BuildPackBytes({{"T\\a", "a"}}, "other"))},
      {"header-only pack", pack(SealPack(0, "", kPackagePassword))},
      {"body not whole blocks", pack(std::string(8 + 20, 'x'))},
      {"member leads outside",
       [](const std::string& p) {
         WritePackageZip(p, "a\\..\\..\\game.pak", BuildPackBytes({{"T\\a", "a"}}, kPackagePassword));
       }},
      {"pack cut by one block",
       [](const std::string& p) {
         std::string bytes = BuildPackBytes({{"T\\a", "a"}, {"T\\b", Pattern(40, 1)}}, kPackagePassword);
         WritePackageZip(p, "game.pak", bytes.substr(0, bytes.size() - 16));
       }},
      {"data past the end", pack(HandMadePack({good, PackRecordBytes("T\\b", data_at, 100000)}))},
      {"negative offset", pack(HandMadePack({good, PackRecordBytes("T\\b", -16, 8)}))},
      {"negative size", pack(HandMadePack({good, PackRecordBytes("T\\b", data_at, -1)}))},
      {"offset and size wrap", pack(HandMadePack({good, PackRecordBytes("T\\b", INT32_MAX, INT32_MAX)}))},
      {"only folders and a name without one",
       pack(BuildPackBytes({{"T\\data\\", ""}, {"readme.txt", "x"}}, kPackagePassword))},
      {"only names leading outside", pack(BuildPackBytes({{"T\\..\\a", "x"}}, kPackagePassword))},
      {"an earlier pack cannot be replaced", pack(BuildPackBytes({{"T\\b", "new"}}, kPackagePassword)),
       true},
  };
  for (const Case& c : cases) {
    ::DeleteFileA(In("pkg.zip").c_str());
    c.make(In("pkg.zip"));
    ScopedFileHandle holder;
    if (c.stale_pack_held) {
      WriteFileBytes(In("game.pak"), BuildPackBytes({{"T\\a", "stale"}}, kPackagePassword));
      holder.reset(::CreateFileA(In("game.pak").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
      ASSERT_TRUE(holder) << c.what;
    }
    EXPECT_TRUE(Extract()) << c.what;
    EXPECT_EQ(message, kExtractFailedText) << c.what;
    holder.reset();
    EXPECT_EQ(FileExists(In("game.pak")), c.stale_pack_held) << c.what << ": the pack is not left behind";
    ::DeleteFileA(In("game.pak").c_str());
    EXPECT_FALSE(FileExists(In("a"))) << c.what << ": nothing is written";
    EXPECT_FALSE(FileExists(In("b"))) << c.what;
    EXPECT_FALSE(FileExists(dir.File("game.pak"))) << c.what;
  }
}

TEST_F(ExtractPackageTest, LockedTargetIsRetriedBrieflyThenFailsNamingIt) {
  WriteFileBytes(In("client.dll"), "old");
  ScopedFileHandle locker(::CreateFileA(In("client.dll").c_str(), GENERIC_READ, 0, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(locker);
  ASSERT_TRUE(WritePackage(In("pkg.zip"),
                           {{"T\\a.txt", "a"}, {"T\\client.dll", "new"}, {"T\\z.txt", "z"}}));
  EXPECT_TRUE(Extract());
  EXPECT_FALSE(FileExists(In("z.txt"))) << "nothing is written after the failed file";
  EXPECT_EQ(message, "无法写入文件:" + In("client.dll"));
  std::vector<DWORD> retries;
  for (DWORD ms : ScopedNoSleep::Requested()) {
    if (ms == 200) retries.push_back(ms);
  }
  EXPECT_EQ(retries.size(), 9u) << "ten attempts";
  locker.reset();
  EXPECT_EQ(ReadFileBytes(In("client.dll")), "old");
  EXPECT_FALSE(FileExists(In("game.pak")));
}

TEST_F(ExtractPackageTest, NamesWindowsCannotCreateFailAtOnceNamingThem) {
  struct Case {
    FileList files;
    const char* named;  // below the install folder
  } cases[] = {
      {{{"T\\a.txt", "a"}, {"T\\what?.txt", "x"}}, "what?.txt"},
      {{{"T\\a.txt", "a"}, {"T\\readme.", "x"}}, "readme."},
      {{{"T\\a.txt", "a"}, {"T\\data \\x.txt", "x"}}, "data \\x.txt"},
      {{{"T\\a.txt", "a"}, {"T\\data/x.txt", "x"}}, "data/x.txt"},
      {{{"T\\a.txt", "a"}, {"T\\b", "file"}, {"T\\b\\c.txt", "under it"}}, "b\\c.txt"},
      {{{"T\\a.txt", "a"}, {"T\\B", "file"}, {"U\\b\\c.txt", "under it"}}, "b\\c.txt"},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(WritePackage(In("pkg.zip"), c.files));
    const size_t pauses = ScopedNoSleep::Requested().size();
    EXPECT_TRUE(Extract()) << c.named;
    EXPECT_EQ(message, "无法写入文件:" + In(c.named));
    const std::vector<DWORD> all = ScopedNoSleep::Requested();
    EXPECT_EQ(std::count(all.begin() + pauses, all.end(), DWORD{200}), 0) << c.named << ": no retries";
    EXPECT_FALSE(FileExists(In("a.txt"))) << c.named << ": nothing is written";
    EXPECT_FALSE(FileExists(In("game.pak"))) << c.named;
  }
}

namespace {
// A volume of g_free_bytes on which the extracted pack, once there, takes its room.
uint64_t g_free_bytes = 0;
std::string g_pack_path;
VolumeSpace FakeSpace(const std::string&) {
  const uint64_t pack = FileExists(g_pack_path) ? ReadFileBytes(g_pack_path).size() : 0;
  return {true, "Q:\\", g_free_bytes - pack};
}
}  // namespace

TEST_F(ExtractPackageTest, TooLittleSpaceFailsBeforeWritingNamingTheVolume) {
  const std::string pack = BuildPackBytes({{"T\\big.bin", Pattern(3 << 20, 3)}}, kPackagePassword);
  ASSERT_TRUE(WritePackageZip(In("pkg.zip"), "game.pak", pack));
  struct Case {
    const char* what;
    uint64_t free_bytes;
    const char* old_big;  // an installed big.bin the new one replaces
    const char* message;  // nullptr: success
    bool stale_pack = false;  // an earlier run's pack, taking its room
  } cases[] = {
      {"not room for the pack", pack.size() - 1, nullptr, "磁盘空间不足,Q:\\ 需要 4 MB 可用空间,只有 3 MB."},
      {"room for the pack, not the files", pack.size() + (3 << 20) - 1, nullptr,
       "磁盘空间不足,Q:\\ 需要 3 MB 可用空间,只有 2 MB."},
      {"the replaced file frees enough", pack.size() + (2 << 20), "old", nullptr},
      {"enough", pack.size() + (3 << 20), nullptr, nullptr},
      {"enough once an earlier pack is gone", pack.size() + (3 << 20), nullptr, nullptr, true},
  };
  g_pack_path = In("game.pak");
  SetVolumeSpaceProbe(FakeSpace);
  for (const Case& c : cases) {
    ::DeleteFileA(In("big.bin").c_str());
    if (c.old_big) WriteFileBytes(In("big.bin"), Pattern(1 << 20, 9));
    if (c.stale_pack) WriteFileBytes(In("game.pak"), pack);
    g_free_bytes = c.free_bytes;
    EXPECT_EQ(Extract(), c.message != nullptr) << c.what;
    EXPECT_EQ(message, c.message ? c.message : "") << c.what;
    EXPECT_EQ(FileExists(In("big.bin")), c.message == nullptr || c.old_big) << c.what;
    EXPECT_FALSE(FileExists(In("game.pak"))) << c.what;
  }
  SetVolumeSpaceProbe(nullptr);
}

TEST_F(ExtractPackageTest, HostileEntryNamesAreSkipped) {
  ASSERT_TRUE(WritePackage(In("pkg.zip"), {{"T\\..\\evil1.dat", "x"},
                                            {"T\\a\\..\\..\\evil2.dat", "x"},
                                            {"T\\a/../../evil3.dat", "x"},
                                            {"T\\C:\\evil4.dat", "x"},
                                            {"T\\\\\\evil5.dat", "x"},
                                            {"T\\good.dat:alt", "x"},
                                            {"T\\..", "x"},
                                            {"T\\good.txt", "good"},
                                            {"T\\nul.txt", "to the null device"}}));
  EXPECT_FALSE(Extract());
  EXPECT_EQ(ReadFileBytes(In("good.txt")), "good");
  for (const char* evil : {"evil1.dat", "evil2.dat", "evil3.dat", "evil4.dat"}) {
    EXPECT_FALSE(FileExists(dir.File(evil))) << evil;
  }
  EXPECT_FALSE(FileExists(In("evil5.dat")));
  EXPECT_FALSE(FileExists("C:\\evil4.dat"));
  ::DeleteFileA("C:\\evil4.dat");  // a faulty run must not leave it for the next
  EXPECT_FALSE(FileExists(In("good.dat")));
  EXPECT_EQ(WritingProgress(), (std::vector<int>{100})) << "only the one written entry counts";
}

TEST_F(ExtractPackageTest, LargePackWithManyFilesRoundTrips) {
  FileList files;
  for (int i = 0; i < 60; ++i) {
    files.push_back({"Top\\dir" + std::to_string(i % 7) + "\\f" + std::to_string(i) + ".bin",
                     Pattern(static_cast<size_t>(i) * 997 + (i % 3) * 16384, static_cast<unsigned>(i))});
  }
  ASSERT_TRUE(WritePackage(In("pkg.zip"), files, "sub\\game.pak"));
  EXPECT_FALSE(Extract());
  for (const auto& [name, bytes] : files) {
    EXPECT_TRUE(ReadFileBytes(In(name.substr(4))) == bytes) << name;
  }
  auto progress = WritingProgress();
  ASSERT_FALSE(progress.empty());
  EXPECT_EQ(progress.back(), 100);
  EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
  EXPECT_FALSE(FileExists(In("sub\\game.pak")));
}

TEST_F(ExtractPackageTest, AStopEndsTheStepSoonAndTheKeptPackageInstallsWholeOnTheNextRun) {
  const FileList files = {{"T\\a1.txt", "a1"},
                          {"T\\a2.txt", "a2"},
                          {"T\\big.bin", Pattern(6 << 20, 4)},  // more pieces than the queue holds
                          {"T\\z.txt", "z"}};
  ASSERT_TRUE(WritePackage(In("pkg.zip"), files));
  struct Case {
    const char* what;
    const char* stop_once;  // the stop comes once this file exists; "": at once
    bool earlier_files_stay;
  } cases[] = {
      {"before anything", "", false},
      {"while the pack comes out of the package", "game.pak", false},
      {"within a large file", "big.bin", true},
  };
  for (const Case& c : cases) {
    for (const auto& f : files) ::DeleteFileA(In(f.first.substr(2)).c_str());
    const std::string watched = *c.stop_once ? In(c.stop_once) : std::string();
    recorder.Clear();
    message = "unset";
    const DWORD start = ::GetTickCount();
    EXPECT_TRUE(ExtractPackage(recorder.hwnd(), "pkg.zip", install.c_str(), &message,
                               [&] { return watched.empty() || FileExists(watched); }))
        << c.what;
    EXPECT_LT(::GetTickCount() - start, 3000u) << c.what;
    recorder.Pump();
    EXPECT_EQ(message, "") << c.what << ": a stop is not an error";
    const std::vector<int> progress = recorder.Progress();
    EXPECT_EQ(std::count(progress.begin(), progress.end(), 100), 0) << c.what;
    EXPECT_FALSE(FileExists(In("game.pak"))) << c.what;
    EXPECT_TRUE(FileExists(In("pkg.zip"))) << c.what;
    EXPECT_FALSE(FileExists(In("big.bin"))) << c.what << ": no file cut short";
    EXPECT_FALSE(FileExists(In("z.txt"))) << c.what;
    EXPECT_EQ(FileExists(In("a1.txt")), c.earlier_files_stay) << c.what;

    EXPECT_FALSE(Extract()) << c.what << " " << message;
    for (const auto& f : files) {
      EXPECT_TRUE(ReadFileBytes(In(f.first.substr(2))) == f.second) << c.what << " " << f.first;
    }
    EXPECT_FALSE(FileExists(In("game.pak"))) << c.what;
  }
}

namespace {
// A pack as another tool may lay it out: the table in `files` order, the data
// in `data_order` (indices into files).
std::string PackWithDataOrder(const FileList& files, const std::vector<size_t>& data_order) {
  const size_t table_end = 4 + kPackRecordSize * files.size();
  std::vector<size_t> at(files.size());
  std::string data;
  for (size_t i : data_order) {
    at[i] = table_end + data.size();
    data += files[i].second;
  }
  std::string body = Le32(static_cast<uint32_t>(files.size()));
  for (size_t i = 0; i < files.size(); ++i) {
    body += PackRecordBytes(files[i].first, static_cast<int32_t>(at[i]),
                            static_cast<int32_t>(files[i].second.size()));
  }
  body += data;
  return SealPack(static_cast<uint32_t>(body.size()), body, kPackagePassword);
}
}  // namespace

TEST_F(ExtractPackageTest, PacksWithDataInAnyOrderInstallTheSameFiles) {
  FileList files;
  for (int i = 0; i < 120; ++i) {
    files.push_back({"T\\d" + std::to_string(i % 9) + "\\f" + std::to_string(i) + ".dat",
                     Pattern(static_cast<size_t>(i * 37 % 3000), static_cast<unsigned>(i))});
  }
  files.push_back({"T\\big.bin", Pattern((3 << 19) + 5, 77)});  // spans reads and pieces
  // Two tops naming one file: the later in name order stays; a name listed
  // twice: its later record stays.
  files.push_back({"B\\x.dll", "from B"});
  files.push_back({"A\\x.dll", "from A"});
  files.push_back({"T\\dup.txt", "first record"});
  files.push_back({"T\\dup.txt", "second record"});
  std::vector<size_t> in_table_order(files.size());
  for (size_t i = 0; i < files.size(); ++i) in_table_order[i] = i;
  std::vector<size_t> reversed(in_table_order.rbegin(), in_table_order.rend());
  std::vector<size_t> shuffled = in_table_order;
  std::shuffle(shuffled.begin(), shuffled.end(), std::mt19937(5));
  struct Case {
    const char* what;
    std::vector<size_t> order;
  } cases[] = {{"table order", in_table_order}, {"reversed", reversed}, {"shuffled", shuffled}};
  for (const Case& c : cases) {
    ASSERT_TRUE(WritePackageZip(In("pkg.zip"), "game.pak", PackWithDataOrder(files, c.order)));
    EXPECT_FALSE(Extract()) << c.what << " " << message;
    for (size_t i = 0; i + 4 < files.size(); ++i) {
      EXPECT_TRUE(ReadFileBytes(In(files[i].first.substr(2))) == files[i].second) << c.what << " " << files[i].first;
    }
    EXPECT_EQ(ReadFileBytes(In("x.dll")), "from B") << c.what;
    EXPECT_EQ(ReadFileBytes(In("dup.txt")), "second record") << c.what;
    EXPECT_EQ(WritingProgress().back(), 100) << c.what;
    ::DeleteFileA(In("x.dll").c_str());
    ::DeleteFileA(In("dup.txt").c_str());
  }
}

// The package extracted while it arrives: only what has been vouched for is
// read, every boundary of the stream may fall anywhere, and what the stream
// cannot serve is extracted whole once the package is there.
TEST_F(ExtractPackageTest, APackageArrivingInPiecesInstallsAsItComesOrWholeWhenItCannot) {
  FileList files;
  for (int i = 0; i < 40; ++i)
    files.push_back({"T\\d\\f" + std::to_string(i), Pattern(static_cast<size_t>(i * 53 % 900), i)});
  files.push_back({"T\\big.bin", Pattern((3 << 19) + 5, 7)});  // past the reader's window
  files.push_back({"T\\empty", ""});
  std::sort(files.begin(), files.end());  // data in name order, as the builder lays them out
  std::vector<size_t> order(files.size()), reversed;
  for (size_t i = 0; i < order.size(); ++i) order[i] = i;
  reversed.assign(order.rbegin(), order.rend());
  enum Kind { kStreamed, kWhole, kStopped, kAbandoned, kNoRoom };
  struct Case {
    const char* what;
    int method;                    // of the zip member
    const std::vector<size_t>* data_order;
    bool descriptor;               // sizes after the data (flag bit 3)
    size_t step;                   // bytes vouched for at a time over the headers and directory
    Kind kind;
  } cases[] = {
      {"deflated, a few bytes at a time", 8, &order, false, 997, kStreamed},
      {"stored, across every header", 0, &order, false, 13, kStreamed},
      {"deflated, at once", 8, &order, false, 1 << 30, kStreamed},
      {"data out of directory order", 8, &reversed, false, 4096, kWhole},
      {"sizes in a data descriptor", 8, &order, true, 4096, kWhole},
      {"stopped half-way", 8, &order, false, 4096, kStopped},
      {"download given up half-way", 8, &order, false, 4096, kAbandoned},
      {"no room for the package's rest and the files", 8, &order, false, 4096, kNoRoom},
  };
  g_pack_path = In("none");
  g_free_bytes = 1 << 20;
  for (const Case& c : cases) {
    for (const auto& f : files) ::DeleteFileA(In(f.first.substr(2)).c_str());
    ZipMember m;
    m.name = "game.pak";
    m.bytes = PackWithDataOrder(files, *c.data_order);
    m.password = kPackagePassword;
    m.method = c.method;
    std::string error;
    ASSERT_TRUE(WriteZip(In("src.zip"), {m}, &error));
    std::string zip = ReadFileBytes(In("src.zip"));
    if (c.descriptor) zip[6] |= 8;  // the central directory still has the sizes
    const size_t stop_at = c.kind >= kStopped ? zip.size() / 2 : zip.size();
    std::atomic<bool> stop{false};
    VerifiedArrival arrival;
    recorder.Clear();
    WriteFileBytes(In("pkg.zip"), "");
    SetVolumeSpaceProbe(c.kind == kNoRoom ? FakeSpace : nullptr);
    {
      ArrivingExtraction extraction(recorder.hwnd(), "pkg.zip", install + "\\", zip.size(), arrival,
                                    [&] { return stop.load(); });
      for (size_t at = 0, n = 0; at < stop_at; at += n) {
        n = std::min(at < (16 << 10) ? c.step : (256 << 10), stop_at - at);
        ScopedFileHandle f(::CreateFileA(In("pkg.zip").c_str(), FILE_APPEND_DATA, FILE_SHARE_READ,
                                         nullptr, OPEN_EXISTING, 0, nullptr));
        DWORD put = 0;
        ASSERT_TRUE(::WriteFile(f.get(), zip.data() + at, static_cast<DWORD>(n), &put, nullptr));
        f.reset();
        if (c.step < 100 && at % 512 == 0) arrival.Rewind();  // a new attempt now and then
        arrival.Advance(at + n);
        EXPECT_FALSE(FileExists(In("game.pak"))) << c.what << ": no pack copy";
      }
      // Streamed: every file is there before the download is said to be done.
      const DWORD start = ::GetTickCount();
      while (c.kind == kStreamed && !FileExists(In(files.back().first.substr(2))) && ::GetTickCount() - start < 20000)
        ::Sleep(20);
      if (c.kind < kStopped) {
        EXPECT_EQ(FileExists(In("big.bin")), c.kind == kStreamed) << c.what;
      }
      if (c.kind == kAbandoned) {
        arrival.Abandon();
        continue;  // the thread ends with the extraction
      }
      stop = c.kind == kStopped;
      // Out of room, the step ends by itself while the rest is still to come.
      if (c.kind != kNoRoom) arrival.Complete(zip.size());
      std::vector<std::string> installed;
      message = "unset";
      const bool fails = c.kind == kStopped || c.kind == kNoRoom;
      EXPECT_EQ(extraction.Finish(&message, &installed), fails) << c.what;
      recorder.Pump();
      SetVolumeSpaceProbe(nullptr);
      if (fails) {
        // The room asked for names the package still to come and the files.
        EXPECT_EQ(message.rfind(c.kind == kNoRoom ? "磁盘空间不足,Q:\\ 需要 " : "", 0), 0u) << c.what;
        EXPECT_EQ(message.find("(安装包 ") != std::string::npos, c.kind == kNoRoom) << message;
        continue;
      }
      EXPECT_EQ(installed.size(), files.size()) << c.what;
      EXPECT_EQ(recorder.Progress().back(), 100) << c.what;
    }
    for (const auto& f : files)
      EXPECT_TRUE(ReadFileBytes(In(f.first.substr(2))) == f.second) << c.what << " " << f.first;
    EXPECT_FALSE(FileExists(In("game.pak"))) << c.what;
  }
}
