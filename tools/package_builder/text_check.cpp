#include "builder_commands.h"

#include "core/gbk_text.h"
#include "builder_host.h"

namespace {

constexpr char kHowToConvert[] =
    "; save it in GBK (iconv -f UTF-8 -t GBK) or let the builder convert it with --convert-utf8";

bool WriteWholeFile(const std::string& path, const std::string& bytes) {
  File f(std::fopen(path.c_str(), "wb"));
  if (!f) return false;
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), f.get()) == bytes.size();
  return std::fclose(f.release()) == 0 && written;
}

}  // namespace

bool IsShippedText(std::string_view name) {
  if (name.size() < 4) return false;
  const std::string ext = gbk::ToLower(name.substr(name.size() - 4));
  return ext == ".ini" || ext == ".txt";
}

bool PrepareShippedText(const std::string& path, bool convert_utf8, std::string* text,
                        bool* converted, std::string* error) {
  *converted = false;
  const gbk::TextCoding coding = gbk::ClassifyTextCoding(*text);
  if (coding == gbk::TextCoding::kGbk) return true;
  if (coding == gbk::TextCoding::kNeither) {
    *error = "text is neither GBK nor UTF-8 (the installer reads GBK): " + path;
    return false;
  }
  const bool bom = coding == gbk::TextCoding::kUtf8WithBom;
  if (!convert_utf8) {
    *error = std::string(bom ? "text starts with a UTF-8 byte-order mark" : "text is saved as UTF-8") +
             ", the installer reads GBK: " + path + kHowToConvert;
    return false;
  }
  std::string gbk_text;
  if (!Utf8ToPackageText(std::string_view(*text).substr(bom ? 3 : 0), &gbk_text)) {
    *error = "text cannot be converted: it is no UTF-8 after all, or a character has no GBK "
             "spelling: " + path;
    return false;
  }
  *text = std::move(gbk_text);
  *converted = true;
  return true;
}

bool LoadPublishedText(const std::string& path, bool convert_utf8, std::string* text,
                       std::string* error) {
  if (!ReadWholeFile(path, text)) {
    *error = "cannot read " + path;
    return false;
  }
  bool converted = false;
  if (!PrepareShippedText(path, convert_utf8, text, &converted, error)) return false;
  if (converted) {
    if (!WriteWholeFile(path, *text)) {
      *error = "cannot write " + path;
      return false;
    }
    std::printf("%s: converted from UTF-8 to GBK\n", path.c_str());
  }
  return true;
}

int CheckTexts(const std::vector<std::string>& paths, bool convert_utf8) {
  int refused = 0;
  for (const std::string& path : paths) {
    std::string text, error;
    if (LoadPublishedText(path, convert_utf8, &text, &error)) continue;
    std::fprintf(stderr, "package_builder: %s\n", error.c_str());
    ++refused;
  }
  if (refused) return Fail(1, std::to_string(refused) + " text(s) not fit to publish");
  return 0;
}

bool ReadWholeFile(const std::string& path, std::string* bytes) {
  File f(std::fopen(path.c_str(), "rb"));
  if (!f) return false;
  bytes->clear();
  char buffer[1 << 16];
  for (;;) {
    const size_t got = std::fread(buffer, 1, sizeof buffer, f.get());
    bytes->append(buffer, got);
    if (got < sizeof buffer) return !std::ferror(f.get());
  }
}
