#include "package/zip_writer.h"

#include <gtest/gtest.h>

#include "package/extract_package.h"
#include "test_seams.h"

// A source that cannot be read part-way through must not leave a zip that
// looks finished: the builder's output would pass for a package.
TEST(WriteZip, FailedMemberLeavesNoZipBehind) {
  struct Case {
    const char* what;
    const char* password;
    const char* message;
  } cases[] = {
      {"encrypted member (source read for the CRC first)", kPackagePassword, "cannot read"},
      {"plain member (source read while writing)", nullptr, "cannot write"},
  };
  for (const Case& c : cases) {
    TempFolder dir;
    WriteFileBytes(dir.File("out.zip"), "an older file of the same name");
    ZipMember good;
    good.name = "first.txt";
    good.bytes = "fine";
    ZipMember broken;
    broken.name = "game.pak";
    broken.source_path = dir.File("missing.bin");
    broken.password = c.password;
    std::string error;
    EXPECT_FALSE(WriteZip(dir.File("out.zip"), {good, broken}, &error)) << c.what;
    EXPECT_NE(error.find(c.message), std::string::npos) << c.what << ": " << error;
    EXPECT_FALSE(FileExists(dir.File("out.zip"))) << c.what;
  }
}
