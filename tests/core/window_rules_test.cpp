// Display and folder rules of the main window.
#include "core/window_rules.h"

#include <gtest/gtest.h>

#include <climits>
#include <set>

TEST(FormatKbUnits, PicksTheLargestWholeUnit) {
  const struct {
    int kb;
    const char* shown;
  } cases[] = {
      {3145728, "3GB"}, {1536, "1MB"},   {900, "900KB"},     {2097152, "2GB"},
      {5000, "4MB"},    {0, "0KB"},      {1023, "1023KB"},   {1024, "1MB"},
      {1048575, "1023MB"}, {1048576, "1GB"}, {INT_MAX, "2047GB"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.shown, FormatKbUnits(c.kb)) << c.kb;
}

TEST(FormatByteSize, OneTruncatedDecimal) {
  const struct {
    uint32_t bytes;
    const char* shown;
  } cases[] = {
      {0, "0"},
      {1023, "1023"},
      {1024, "1K"},
      {1536, "1.5K"},
      {2048, "2K"},
      {1048575, "1023.9K"},
      {1048576, "1M"},
      // A partial KB counts as a whole one, the tenth still rounds down.
      {1048577, "1M"},
      {1572864, "1.5M"},
      // Remainder rounded up to whole KB reaches the next MB.
      {2097151, "2M"},
      {1073741823, "1024M"},
      {1073741824, "1G"},
      {1610612736, "1.5G"},
      {4294967295u, "4G"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.shown, FormatByteSize(c.bytes)) << c.bytes;
}

TEST(EndsWithGameName, NameAtTheEndOrBeforeOneSeparator) {
  const struct {
    const char* path;
    const char* name;
    bool ends;
  } cases[] = {
      {"D:\\Games\\Hall", "Hall", true},
      {"D:\\Games\\Hall\\", "Hall", true},
      {"D:\\Games\\Hall/", "Hall", true},
      {"D:\\Games\\Hall\\\\", "Hall", false},  // only one final separator
      {"D:\\Games\\", "Hall", false},
      {"Hall", "Hall", false},                 // must be longer than the name
      {"Hall\\", "Hall", true},
      {"D:\\MyHall", "Hall", true},            // the character before is not examined
      {"D:\\游戏大厅\\", "游戏大厅", true},
      {"D:\\游戏\\", "游戏大厅", false},
      // GBK trail bytes may be "\\" or ASCII letters; they end no name and no folder.
      {"D:\\\xB0\x41", "A", false},
      {"D:\\\xB0\x41\\", "A", false},
      {"D:\\\xB0Hall", "Hall", false},
      {"D:\\\xB0Hall\\", "Hall", false},
      {"D:\\\xB0\x41\x41", "A", true},
  };
  for (const auto& c : cases) EXPECT_EQ(c.ends, EndsWithGameName(c.path, c.name)) << c.path;
}

TEST(ComposeInstallFolder, AddsSeparatorAndGameName) {
  const struct {
    const char* path;
    const char* game;
    bool ok;
    const char* folder;
  } cases[] = {
      {"D:\\Games", "Hall", true, "D:\\Games\\Hall\\"},
      {"D:\\Games\\", "Hall", true, "D:\\Games\\Hall\\"},
      {"D:\\Games\\Hall", "Hall", true, "D:\\Games\\Hall\\"},
      {"D:\\Games\\Hall\\", "Hall", true, "D:\\Games\\Hall\\"},
      {"D:\\Games/", "Hall", true, "D:\\Games/Hall\\"},
      {"D:\\", "Hall", true, "D:\\Hall\\"},
      // A double-byte character whose trail byte is "\\" still needs a separator.
      {"D:\\Games\\\x81\x5C", "Hall", true, "D:\\Games\\\x81\x5C\\Hall\\"},
      {"D:\\Games\\\x81\x5C\\", "Hall", true, "D:\\Games\\\x81\x5C\\Hall\\"},
      {"", "Hall", false, ""},
  };
  for (const auto& c : cases) {
    std::string folder;
    EXPECT_EQ(c.ok, ComposeInstallFolder(c.path, c.game, &folder)) << c.path;
    EXPECT_EQ(c.folder, folder) << c.path;
  }
}

TEST(ComposeInstallFolder, RefusesFoldersOf259BytesOrMore) {
  const std::string game = "Hall";
  // path + "\" + game + "\" must stay below 259 bytes.
  std::string fits = "D:\\" + std::string(249, 'a');  // 252 + 1 + 4 + 1 = 258
  std::string folder = "unchanged";
  EXPECT_TRUE(ComposeInstallFolder(fits, game, &folder));
  EXPECT_EQ(258u, folder.size());
  std::string too_long = fits + "a";
  folder = "unchanged";
  EXPECT_FALSE(ComposeInstallFolder(too_long, game, &folder));
  EXPECT_EQ("unchanged", folder);
  // Already ending with the name: the path itself must stay below 259.
  std::string named = "D:\\" + std::string(249, 'a') + "\\Hall";  // 258 with the separator
  EXPECT_TRUE(ComposeInstallFolder(named, game, &folder));
  EXPECT_FALSE(ComposeInstallFolder(named + "x\\Hall", game, &folder));
}

TEST(FreeKbFromBytes, SaturatesInsteadOfTurningNegative) {
  const struct {
    uint64_t bytes;
    int kb;
  } cases[] = {
      {0, 0},
      {1023, 0},
      {1024, 1},
      {2147483647ull * 1024, INT_MAX},
      {2147483648ull * 1024, INT_MAX},       // exactly 2 TiB
      {5ull * 1024 * 1024 * 1024 * 1024, INT_MAX},  // 5 TiB
      {~0ull, INT_MAX},
  };
  for (const auto& c : cases) EXPECT_EQ(c.kb, FreeKbFromBytes(c.bytes)) << c.bytes;
  EXPECT_EQ("2047GB", FormatKbUnits(FreeKbFromBytes(4ull << 40)));
}

TEST(IsWebAddress, OnlyHttpAndHttps) {
  const struct {
    const char* url;
    bool web;
  } cases[] = {
      {"http://example.com/agreement.html", true},
      {"https://example.com/a", true},
      {"HTTP://EXAMPLE.COM", true},
      {"  https://example.com", true},
      {"http://", false},
      {"https://", false},
      {"", false},
      {"C:\\Windows\\System32\\calc.exe", false},
      {"file:///C:/Windows/notepad.exe", false},
      {"cmd.exe /c del", false},
      {"ftp://example.com", false},
      {"javascript:alert(1)", false},
      {"\\\\server\\share\\x.exe", false},
  };
  for (const auto& c : cases) EXPECT_EQ(c.web, IsWebAddress(c.url)) << c.url;
}

TEST(PercentAndSpeedText, DependOnTheState) {
  for (int state = 0; state <= 8; ++state) {
    const std::string percent = PercentText(state, 42);
    const std::string speed = SpeedText(state, 1536);
    if (state >= 2 && state <= 4) {
      EXPECT_EQ("已下载42%", percent) << state;
      EXPECT_EQ("下载速度：1.5K/s", speed) << state;
    } else if (state >= 5 && state <= 7) {
      EXPECT_EQ("已安装42%", percent) << state;
      EXPECT_EQ("", speed) << state;
    } else {
      EXPECT_EQ("", percent) << state;
      EXPECT_EQ("", speed) << state;
    }
  }
  EXPECT_EQ("下载速度：0/s", SpeedText(2, 0));
}

TEST(ProgressFillWidth, ShareOfTheTrackCutToTheFill) {
  const struct {
    int percent, track, fill, width;
  } cases[] = {
      {0, 498, 492, 0},   {50, 498, 492, 249}, {98, 498, 492, 488}, {99, 498, 492, 492},
      {100, 498, 492, 492}, {150, 498, 492, 492}, {-5, 498, 492, 0}, {50, 0, 492, 0},
  };
  for (const auto& c : cases)
    EXPECT_EQ(c.width, ProgressFillWidth(c.percent, c.track, c.fill)) << c.percent;
}

TEST(WindowGeometry, CentringAndDragStrip) {
  EXPECT_EQ(375, CentredCoordinate(1280, 530));
  EXPECT_EQ(312, CentredCoordinate(1024, 399));
  EXPECT_EQ(0, CentredCoordinate(400, 530));  // never below 0
  EXPECT_TRUE(InDragStrip(0));
  EXPECT_TRUE(InDragStrip(19));
  EXPECT_FALSE(InDragStrip(20));
  EXPECT_FALSE(InDragStrip(-1));
  EXPECT_EQ(1, NextSlide(0, 5));
  EXPECT_EQ(0, NextSlide(4, 5));
  EXPECT_EQ(255, PathEditLimit("Hall"));
  EXPECT_EQ(0, PathEditLimit(std::string(300, 'x')));
}

TEST(DefaultFolderRoot, FirstIdeDriveOtherThanTheSystemDrive) {
  const struct {
    const char* system_dir;
    const char* ide;  // drive letters on the IDE disk
    const char* root;
  } cases[] = {
      {"C:\\windows\\system32", "", "C:\\"},
      {"C:\\windows\\system32", "C", "C:\\"},
      {"C:\\windows\\system32", "CD", "D:\\"},
      {"C:\\windows\\system32", "EF", "E:\\"},
      {"C:\\windows\\system32", "I", "C:\\"},  // there is no I:
      {"C:\\windows\\system32", "IJ", "J:\\"},
      {"D:\\WINDOWS\\system32", "CD", "C:\\"},
      {"d:\\windows\\system32", "D", "d:\\"},
  };
  for (const auto& c : cases) {
    std::set<std::string> asked;
    const std::string ide = c.ide;
    const std::string root = DefaultFolderRoot(c.system_dir, [&](const std::string& volume) {
      asked.insert(volume);
      return ide.find(volume[0]) != std::string::npos;
    });
    EXPECT_EQ(c.root, root) << c.system_dir << " " << c.ide;
    EXPECT_EQ(0u, asked.count("I:"));
  }
}

TEST(DefaultInstallFolder, ProgramFilesOnlyForAdministratorsWhenCreatable) {
  int probes = 0;
  auto yes = [&](const std::string& p) {
    ++probes;
    EXPECT_EQ("D:\\Program Files\\Hall\\", p);
    return true;
  };
  auto no = [&](const std::string&) {
    ++probes;
    return false;
  };
  EXPECT_EQ("D:\\Hall\\", DefaultInstallFolder("D:\\", "Hall", false, yes));
  EXPECT_EQ(0, probes);  // no probe for ordinary users
  EXPECT_EQ("D:\\Program Files\\Hall\\", DefaultInstallFolder("D:\\", "Hall", true, yes));
  EXPECT_EQ("D:\\Hall\\", DefaultInstallFolder("D:\\", "Hall", true, no));
  EXPECT_EQ(2, probes);
}

TEST(HasDriveLetter, LetterAndColon) {
  EXPECT_TRUE(HasDriveLetter("C:"));
  EXPECT_TRUE(HasDriveLetter("d:\\x"));
  EXPECT_FALSE(HasDriveLetter("C"));
  EXPECT_FALSE(HasDriveLetter(""));
  EXPECT_FALSE(HasDriveLetter("\\\\server\\share"));
  EXPECT_FALSE(HasDriveLetter("1:\\"));
  EXPECT_FALSE(HasDriveLetter("Games\\Hall"));
}
