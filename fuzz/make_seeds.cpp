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

#include <zip.h>
#include <zlib.h>

#include "core/aes128.h"
#include "core/pack_key.h"
#include "core/pack_writer.h"
#include "core/sha256.h"
#include "core/signed_manifest.h"

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

// A literal with its embedded NULs.
template <size_t N>
std::string Lit(const char (&s)[N]) {
  return std::string(s, N - 1);
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

// A zip archive written by minizip: each member stored or deflated, with the
// package password when `password` is set, optionally with a timestamp block.
std::string MakeZip(const std::string& scratch,
                    const std::vector<std::pair<std::string, std::string>>& members,
                    const char* password, int method, bool with_times) {
  zipFile zip = zipOpen64(scratch.c_str(), APPEND_STATUS_CREATE);
  if (!zip) return std::string();
  for (const auto& [name, content] : members) {
    zip_fileinfo info{};
    info.dosDate = 0x5A214C63;  // 2025-01-01 09:35:06
    info.external_fa = 0x20;
    // "UT" block: flags 7, then write, access and creation times.
    std::string extra = std::string("UT\x0d\x00\x07", 5) + Le32(1700000000) + Le32(1700000100) +
                        Le32(1700000200);
    const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(content.data()),
                            static_cast<uInt>(content.size()));
    zipOpenNewFileInZip3_64(zip, name.c_str(), &info, with_times ? extra.data() : nullptr,
                            with_times ? static_cast<uInt>(extra.size()) : 0, nullptr, 0, nullptr,
                            method, method ? 6 : 0, 0, -MAX_WBITS, DEF_MEM_LEVEL,
                            Z_DEFAULT_STRATEGY, password, crc, 0);
    zipWriteInFileInZip(zip, content.data(), static_cast<unsigned>(content.size()));
    zipCloseFileInZip(zip);
  }
  zipClose(zip, nullptr);
  std::string bytes;
  if (FILE* f = std::fopen(scratch.c_str(), "rb")) {
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) bytes.append(buf, n);
    std::fclose(f);
  }
  std::remove(scratch.c_str());
  return bytes;
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

  // First byte: number of piece sizes that follow; odd sizes mean 256.
  const std::string sh = out + "/fuzz_sha256";
  Put(sh, "one_piece", std::string("\x00") + std::string(200, 'a'));
  Put(sh, "edges", std::string("\x04\x37\x38\x40\x01") + std::string(300, 'b'));
  Put(sh, "empty_pieces", std::string("\x07\x00\x00\x3f\x00\x41\x00\x00") + std::string(130, 'c'));

  const std::string sm = out + "/fuzz_signed_manifest";
  SignedManifest manifest;
  manifest.release = 3;
  manifest.hasExpiry = true;
  manifest.expires = {2030, 2, 28};
  ManifestFile blocked;
  blocked.name = "game/game.zip";
  blocked.size = 3 * 65536 + 10;
  blocked.sha256 = Sha256Of("x", 1);
  blocked.blockSize = 65536;
  for (int b = 0; b < 4; ++b) blocked.blocks.push_back(Sha256Of(&b, sizeof b));
  ManifestFile plain;
  plain.name = "main.exe";
  plain.sha256 = Sha256Of("", 0);
  manifest.files = {blocked, plain};
  const std::string text = WriteSignedManifest(manifest);
  Put(sm, "sample", text);
  std::string crlf;
  for (char c : text) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  Put(sm, "crlf", crlf);
  Put(sm, "wrong_count", text.substr(0, text.rfind("block=")) + "file=x\n");
  Put(sm, "signature", std::string(128, 'e') + "\r\n");

  const std::string ae = out + "/fuzz_aes_openssl";
  const auto key = DerivePackKey(kPassword);
  std::string k(reinterpret_cast<const char*>(key.data()), key.size());
  Put(ae, "pack_key", k + std::string(64, 'x'));
  Put(ae, "fips197", std::string("\x00\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0a\x0b\x0c\x0d\x0e\x0f", 16) +
                         std::string("\x00\x11\x22\x33\x44\x55\x66\x77\x88\x99\xaa\xbb\xcc\xdd\xee\xff", 16));

  const std::string zp = out + "/fuzz_zip_archive";
  const std::string scratch = out + "/zip.tmp";
  const std::string pack = BuildPackBytes(game, kPassword);
  Put(zp, "package", MakeZip(scratch, {{"game.pak", pack}}, "6203918547", Z_DEFLATED, true));
  Put(zp, "stored", MakeZip(scratch, {{"game.pak", "plain"}}, nullptr, 0, false));
  Put(zp, "wrong_password", MakeZip(scratch, {{"game.pak", pack}}, "1111111111", Z_DEFLATED, false));
  Put(zp, "names", MakeZip(scratch, {{"a\\..\\..\\x.pak", "1"}, {"C:\\x", "2"}, {"nul.txt", "3"},
                                     {"\xB0\xA1\\\x81\x5C.pak", "4"}, {"dir/", ""}},
                           nullptr, Z_DEFLATED, true));

  const std::string ul = out + "/fuzz_update_list";
  i = 0;
  for (const std::string& entry :
       {Lit("\x03game/game.zip\0game.zip\0DEC"), Lit("\x02u\0..\\x.zip\0"),
        Lit("\x01\0C:\\d.zip\0DEC"), Lit("\xff\0\0"),
        Lit("\x03u\0\xB0\xA1\\..\\x\0DEC"), Lit("\x03u\0a\\. .\\x\0DEC")})
    Put(ul, "u" + std::to_string(i++), entry);

  const std::string ag = out + "/fuzz_agency_ids";
  i = 0;
  for (const char* name : {"setup-F12-A345-B678-P9-1001.exe", "setup-F12-A345-B678-P9-1001(1).exe",
                           "x-F-A-B-P-.exe", "\xD3\xCE\xCF\xB7-F1-A2-B3-P4-5.exe", "setup.exe",
                           "\xBB\xB6\xC0\xD6\xC6\xE5\xC5\xC6",
                           // a lead byte takes an ill-formed '-' along (found by the fuzzer)
                           "x--x-F-A-B-P-\xD3\xCEP-\xCF.\xB7-.eF"})
    Put(ag, "a" + std::to_string(i++), name);

  const std::string uk = out + "/fuzz_url_key";
  i = 0;
  for (const char* url : {"http://files.example.org:8080/a/b.zip", "https://h/x", "http://",
                          "ftp://a.com/get?u=http://b.org/x", "http://a\x95\x5c\x81\x7c.b/",
                          "http://ab\x95"})
    Put(uk, "k" + std::to_string(i++), url);

  const std::string cr = out + "/fuzz_content_range";
  auto header_case = [&](uint32_t offset, uint32_t status_pick, uint32_t length, const std::string& range,
                         const std::string& etag, const std::string& date) {
    return Le32(offset) + Le32(status_pick) + Le32(length) + range + '\0' + etag + '\0' + date;
  };
  Put(cr, "append", header_case(100, 3, 400, "bytes 100-199/200", "\"abc\"", "Mon, 01 Jan 2024"));
  Put(cr, "unknown_total", header_case(0, 1, 0, "bytes 0-99/*", "W/\"x\"", ""));
  Put(cr, "short_part", header_case(100, 3, 400, "bytes 100-149/200", "", "Mon"));
  Put(cr, "whole", header_case(0, 2, 4000000, "", "e", "d"));
  Put(cr, "bad", header_case(5, 1, 10, "bytes=5-", "a\r\nX: 1", "b\nc"));
  return 0;
}
