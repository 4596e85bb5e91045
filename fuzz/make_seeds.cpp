// Writes the seed corpora of the fuzz targets into OUT/<target>/: packs made
// by the same writer the package builder uses, and hand-made cases of every
// other input. Nothing in the corpora is copied from elsewhere.
//   make_seeds OUT
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <utility>
#include <vector>

#include "core/aes128.h"
#include "core/pack_key.h"
#include "core/pack_writer.h"

namespace {

const char kPassword[] = "6203918547";

void Put(const std::string& dir, const std::string& name, const std::string& bytes) {
  ::mkdir(dir.c_str(), 0755);
  const std::string path = dir + "/" + name;
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return;
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
}

std::string Le32(uint32_t v) {
  std::string s(4, '\0');
  for (int i = 0; i < 4; ++i) s[i] = static_cast<char>(v >> (8 * i));
  return s;
}

// A decrypted pack body (the pack_directory target's input: payload length,
// then the body).
std::string PlainDirectory(const std::vector<std::pair<std::string, std::string>>& files,
                           int32_t count_override = -1) {
  std::string table = Le32(static_cast<uint32_t>(count_override >= 0 ? count_override
                                                                     : static_cast<int32_t>(files.size())));
  int32_t offset = static_cast<int32_t>(4 + 268 * files.size());
  std::string data;
  for (const auto& [name, content] : files) {
    table += PackRecordBytes(name, offset, static_cast<int32_t>(content.size()));
    offset += static_cast<int32_t>(content.size());
    data += content;
  }
  std::string body = table + data;
  return Le32(static_cast<uint32_t>(body.size())) + body;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_seeds OUT\n");
    return 2;
  }
  const std::string out = argv[1];
  ::mkdir(out.c_str(), 0755);
  const std::vector<std::pair<std::string, std::string>> game = {
      {"Game\\main.exe", "MZ"}, {"Game\\Config\\a.ini", "[a]\r\nb=1\r\n"},
      {"Game\\data\\maps\\m.map", std::string(300, 'm')}, {"Game\\data\\", ""},
      {"Game\\\xB0\xA1.txt", "gbk"}};

  const std::string pd = out + "/fuzz_pack_directory";
  Put(pd, "game", PlainDirectory(game));
  Put(pd, "duplicate", PlainDirectory({{"A\\x", "1"}, {"A\\x", "22"}}));
  Put(pd, "negative_count", PlainDirectory(game, -1 & 0x7fffffff));
  Put(pd, "zero_count", PlainDirectory({}, 0));
  Put(pd, "unsafe", PlainDirectory({{"T\\..\\x", "1"}, {"T\\C:\\x", "2"}, {"T\\nul.txt", "3"}}));
  Put(pd, "short", Le32(3) + "abc");

  const std::string pk = out + "/fuzz_pack_decrypt";
  Put(pk, "game", BuildPackBytes(game, kPassword));
  Put(pk, "one", BuildPackBytes({{"T\\a", "a"}}, kPassword));
  Put(pk, "empty_body", std::string(8, '\0'));
  Put(pk, "bad_count", SealPack(4 + 268, Le32(2) + PackRecordBytes("T\\a", 0, 1), kPassword));

  const std::string mn = out + "/fuzz_member_name";
  int i = 0;
  for (const char* name : {"C:\\Windows\\x.dat", "\\x.dat", "a\\..\\b\\x.dat", "a\\..\\..\\x.dat",
                           "a/../b", "\xB0\xA1\\..\\x", "\x95\\..\\x", "x.dat:alt", "nul.txt",
                           "\\\\server\\share\\x", "a\\...\\x", "game.pak"})
    Put(mn, "n" + std::to_string(i++), name);

  const std::string cl = out + "/fuzz_command_line";
  i = 0;
  for (const char* line : {"\"C:\\setup.exe\" -path C:\\Games ", "setup.exe -delpath x -path D:\\A",
                           "setup.exe -path ", "setup.exe -path D:\\my-games",
                           "uninst.exe \"/U:C:\\Hall\\uninstall\\uninstall.ini\" /S",
                           "uninst.exe /S", "a -path \xB0-\xA1 -delpath"})
    Put(cl, "c" + std::to_string(i++), line);

  const std::string gt = out + "/fuzz_gbk_text";
  Put(gt, "ascii", std::string("\x05") + "abcdef" + '\0' + "cd");
  Put(gt, "gbk", std::string("\x03") + "\xB4\xED\xCE\xF3" + '\0' + "\xCE\xF3");
  Put(gt, "trail5c", std::string("\x07") + "C:\\Hall\x81\x5C" + '\0' + "\\");
  Put(gt, "lone_lead", std::string("\x10") + "abc\x81" + '\0' + "\x81");

  const std::string fr = out + "/fuzz_folder_rules";
  Put(fr, "plain", std::string("C:\\Games\\") + '\0' + "Hall");
  Put(fr, "trail", std::string("D:\\\xB0\xA1\x81\x5C") + '\0' + "\xB0\xA1");
  Put(fr, "unc", std::string("\\\\srv\\share\\Hall\\uninstall\\uninstall.ini") + '\0' + "\\\\srv\\share\\Hall");

  const std::string md = out + "/fuzz_md5_openssl";
  for (size_t n : {0u, 1u, 55u, 56u, 57u, 64u, 119u, 120u, 200u})
    Put(md, "len" + std::to_string(n), std::string(n, static_cast<char>(n % 7 ? 'a' : 0x38)));

  const std::string ae = out + "/fuzz_aes_openssl";
  const auto key = DerivePackKey(kPassword);
  std::string k(reinterpret_cast<const char*>(key.data()), key.size());
  Put(ae, "pack_key", k + std::string(64, 'x'));
  Put(ae, "fips197", std::string("\x00\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0a\x0b\x0c\x0d\x0e\x0f", 16) +
                         std::string("\x00\x11\x22\x33\x44\x55\x66\x77\x88\x99\xaa\xbb\xcc\xdd\xee\xff", 16));
  return 0;
}
