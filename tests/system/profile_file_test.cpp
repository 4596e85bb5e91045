#include "system/profile_file.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "core/gbk_text.h"
#include "config/ide_disk_probe.h"
#include "system/folder_walk.h"
#include "test_seams.h"

namespace {

// Restores the real module path after a test that replaced it.
struct ModulePathGuard {
  ~ModulePathGuard() { SetModulePathForTesting(""); }
};

std::vector<std::string> ToVector(const std::list<std::string>& l) { return {l.begin(), l.end()}; }

}  // namespace

TEST(ModuleDir, FolderPartOfInstallerPath) {
  struct Case {
    const char* path;
    const char* dir;
  } cases[] = {
      {"C:\\Setup\\setup.exe", "C:\\Setup\\"},
      {"C:\\a/b\\setup.exe", "C:\\a/"},  // the last '/' wins even with a '\' after it
      {"setup.exe", ""},
      {"\\", ""},                          // one byte: no folder
      {"C:\\错\\x.exe", "C:\\错\\"},      // separator after a double-byte char
      {"C:\\\x95\x5C" "x.exe", "C:\\"},     // 0x95 0x5C is one character, not a separator
  };
  for (const Case& c : cases) EXPECT_EQ(ModuleDirFromPath(c.path), c.dir) << c.path;
}

TEST(ModuleDir, SetsCurrentDirectoryOrFallsBack) {
  ModulePathGuard guard;
  TempFolder dir;
  char saved[MAX_PATH] = {};
  GetCurrentDirectoryA(sizeof saved, saved);

  SetModulePathForTesting(dir.File("setup-F1-A2-B3-P4-5.exe"));
  EXPECT_EQ(GetModuleDir(), dir.path() + "\\");
  char now[MAX_PATH] = {};
  GetCurrentDirectoryA(sizeof now, now);
  EXPECT_TRUE(gbk::EqualsIgnoreCase(std::string(now) + "\\", dir.path() + "\\")) << now;

  SetModulePathForTesting("noseparator.exe");
  EXPECT_EQ(GetModuleDir(), std::string(now) + "\\");  // current directory, unchanged

  // A current folder longer than 127 bytes still comes back whole.
  std::string deep = dir.path();
  while (deep.size() <= 140) {
    deep += "\\folder_with_a_long_name";
    CreateDirectoryA(deep.c_str(), nullptr);
  }
  ASSERT_TRUE(SetCurrentDirectoryA(deep.c_str()));
  GetCurrentDirectoryA(sizeof now, now);
  EXPECT_EQ(GetModuleDir(), std::string(now) + "\\");
  EXPECT_GT(std::strlen(now), 140u);

  SetModulePathForTesting("");
  EXPECT_EQ(GetModulePath().substr(GetModulePath().size() - 4), ".exe");
  SetCurrentDirectoryA(saved);
}

TEST(Paths, CollapseDoubleBackslashes) {
  struct Case {
    const char* in;
    const char* out;
    int pairs;
  } cases[] = {
      {"", "", 0},
      {"a\\b", "a\\b", 0},
      {"a\\\\\\", "a\\\\", 1},
      {"a\\\\\\\\", "a\\\\", 2},
      {"a\\\\\\\\\\", "a\\\\\\", 2},
      // A UNC path keeps its leading pair: one backslash less is a folder on
      // the current drive.
      {"\\\\srv\\share\\\\a.ini", "\\\\srv\\share\\a.ini", 1},
      {"\\\\\\\\x", "\\\\\\x", 1},
      {"C:\\Setup\\\\a.ini", "C:\\Setup\\a.ini", 1},
      {"C:\\\\x\\\\\\\\y", "C:\\x\\\\y", 3},
      // A double-byte character ending in 0x5C followed by a separator is not a pair.
      {"C:\\\x95\x5C\\name", "C:\\\x95\x5C\\name", 0},
      {"C:\\\x95\x5C\\\\name", "C:\\\x95\x5C\\name", 1},
  };
  for (const Case& c : cases) {
    std::string s = c.in;
    EXPECT_EQ(CollapseDoubleBackslashes(&s), c.pairs) << c.in;
    EXPECT_EQ(s, c.out) << c.in;
  }
  EXPECT_EQ(CollapseDoubleBackslashes(nullptr), 0);
}

TEST(Profile, ReadsCutsAndWrites) {
  TempFolder dir;
  const std::string path = dir.File("p.ini");
  ProfileFile absent(dir.File("missing.ini"), 128);
  EXPECT_EQ(absent.ReadString("s", "k", "dflt"), "dflt");
  EXPECT_EQ(absent.ReadInt("s", "k", -7), -7);

  ProfileFile ini(path, 128);
  ini.WriteString("s", "short", "value");
  ini.WriteString("s", "long", std::string(200, 'x').c_str());
  ini.WriteString("s", "gbk", (std::string(126, 'y') + "错误").c_str());
  ini.WriteString("s", "num", "42abc");
  ini.WriteString("s", "huge", std::string(1500, 'z').c_str());

  struct Case {
    int size;
    const char* key;
    std::string want;
  } cases[] = {
      {128, "short", "value"},
      {128, "long", std::string(127, 'x')},
      {128, "gbk", std::string(126, 'y')},  // 127 would split 错
      {129, "gbk", std::string(126, 'y') + "错"},
      {1024, "huge", std::string(1023, 'z')},
      {4096, "huge", std::string(1500, 'z')},
      {1, "short", ""},
      {128, "nokey", "d"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ProfileFile(path, c.size).ReadString("s", c.key, "d"), c.want) << c.key << c.size;
  }
  EXPECT_EQ(ini.ReadInt("s", "num", 0), 42);
  EXPECT_EQ(ini.ReadInt("other", "num", 5), 5);
}

TEST(Walk, ListsParentsFirstSkipsDotNamesAndExcluded) {
  TempFolder dir;
  const std::string root = dir.path();
  CreateDirectoryA((root + "\\a").c_str(), nullptr);
  CreateDirectoryA((root + "\\a\\b").c_str(), nullptr);
  CreateDirectoryA((root + "\\a\\b\\c").c_str(), nullptr);
  CreateDirectoryA((root + "\\.git").c_str(), nullptr);
  WriteFileBytes(root + "\\.git\\config", "x");
  WriteFileBytes(root + "\\.keep", "x");
  WriteFileBytes(root + "\\a\\b\\c\\deep.txt", "x");
  WriteFileBytes(root + "\\Setup.EXE", "x");
  WriteFileBytes(root + "\\side.ini", "x");
  WriteFileBytes(root + "\\other.txt", "x");

  std::list<std::string> files, folders;
  // Trailing backslash on the folder: paths still come out single-separated.
  WalkFolder(root + "\\", "*.*", root + "\\setup.exe", root + "\\SIDE.INI", &files, &folders);
  EXPECT_EQ(ToVector(folders),
            (std::vector<std::string>{root + "\\a", root + "\\a\\b", root + "\\a\\b\\c"}));
  EXPECT_EQ(ToVector(files),
            (std::vector<std::string>{root + "\\a\\b\\c\\deep.txt", root + "\\other.txt"}));

  files.clear();
  folders.clear();
  WalkFolder(root + "\\nowhere", "*.*", "", "", &files, &folders);
  EXPECT_TRUE(files.empty() && folders.empty());

  // The loop below the walk: "." and ".." never reach the caller; a folder
  // that cannot be searched answers false, an empty one true.
  CreateDirectoryA((root + "\\empty").c_str(), nullptr);
  std::vector<std::string> seen;
  auto note = [&](const WIN32_FIND_DATAA& found) { seen.push_back(found.cFileName); };
  EXPECT_TRUE(VisitFolderEntries(root + "\\a\\*", note));
  EXPECT_EQ(seen, std::vector<std::string>{"b"});
  seen.clear();
  EXPECT_TRUE(VisitFolderEntries(root + "\\empty\\*", note));
  EXPECT_FALSE(VisitFolderEntries(root + "\\nowhere\\*", note));
  EXPECT_TRUE(seen.empty());
}

namespace {

void PutRecord(std::vector<unsigned char>* buf, size_t offset, int64_t start, uint32_t number,
               uint8_t type) {
  unsigned char* p = buf->data() + offset;
  for (int i = 0; i < 8; ++i) p[i] = static_cast<unsigned char>(static_cast<uint64_t>(start) >> (8 * i));
  for (int i = 0; i < 8; ++i) p[8 + i] = static_cast<unsigned char>(0x10 + i);  // length
  p[20] = static_cast<unsigned char>(number);
  p[24] = type;
  p[26] = 1;
  p[28] = 0xEE;  // padding: not compared
}

}  // namespace

TEST(IdeProbe, PicksLastIdeDiskAndEveryFourthLayoutEntry) {
  struct Case {
    std::vector<std::string> paths;
    int index;
  } disks[] = {
      {{}, -1},
      {{"SCSI\\Disk&Ven_1", "USBSTOR\\Disk"}, -1},
      {{"IDE\\DiskA", "SCSI\\x", "IDE\\DiskB"}, 2},
      {{"ide\\lower", "IDEx"}, 1},
      {{"ID", ""}, -1},
  };
  for (const Case& c : disks) EXPECT_EQ(LastIdeDiskIndex(c.paths), c.index);

  std::vector<unsigned char> layout(kDriveLayoutBytes, 0);
  layout[0] = 6;  // partition count
  for (int i = 0; i < 6; ++i) PutRecord(&layout, 8 + i * 32, 1000 * (i + 1), i + 1, 7);
  std::vector<unsigned char> vol(32, 0);
  struct Probe {
    int entry;  // which layout entry the volume copies
    bool found;
  } probes[] = {{0, true}, {1, false}, {3, false}, {4, true}, {5, false}};
  for (const Probe& p : probes) {
    PutRecord(&vol, 0, 1000 * (p.entry + 1), p.entry + 1, 7);
    vol[28] = 0;  // different padding does not matter
    EXPECT_EQ(LayoutHoldsPartition(layout.data(), layout.size(), DecodePartitionRecord(vol.data())),
              p.found)
        << p.entry;
  }
  // Entry 4 is past a count of 4; any differing field misses.
  PutRecord(&vol, 0, 5000, 5, 7);
  layout[0] = 4;
  EXPECT_FALSE(LayoutHoldsPartition(layout.data(), layout.size(), DecodePartitionRecord(vol.data())));
  PutRecord(&vol, 0, 1000, 1, 6);
  EXPECT_FALSE(LayoutHoldsPartition(layout.data(), layout.size(), DecodePartitionRecord(vol.data())));
  // A count larger than the buffer holds reads nothing past it.
  layout[0] = 0xFF;
  layout[1] = 0xFF;
  EXPECT_FALSE(LayoutHoldsPartition(layout.data(), 8 + 32, DecodePartitionRecord(vol.data())));
  EXPECT_FALSE(LayoutHoldsPartition(layout.data(), 4, DecodePartitionRecord(vol.data())));
}

TEST(IdeProbe, UnknownVolumeIsNotOnIdeDisk) {
  EXPECT_FALSE(IsVolumeOnIdeDisk("Q:"));
  EXPECT_FALSE(IsVolumeOnIdeDisk(""));
  IsVolumeOnIdeDisk("C:");  // whatever Wine answers, it answers without failing
}
