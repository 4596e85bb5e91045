#include "core/window_rules.h"

#include <algorithm>
#include <climits>

#include "core/buffer_limits.h"
#include "core/gbk_text.h"

std::string FormatKbUnits(int kb) {
  if (kb / 1024 / 1024 > 0) return gbk::Format("%dGB", kb / 1024 / 1024);
  if (kb / 1024 > 0) return gbk::Format("%dMB", kb / 1024);
  return gbk::Format("%dKB", kb);
}

std::string FormatByteSize(uint32_t n) {
  constexpr uint64_t kK = 1024, kM = kK * 1024, kG = kM * 1024;
  if (n < kK) return gbk::Format("%u", n);
  const uint64_t unit = n < kM ? kK : n < kG ? kM : kG;
  const char* name = unit == kK ? "K" : unit == kM ? "M" : "G";
  uint64_t whole = n / unit, rest = n % unit;
  // A partial unit one size down counts as a whole one (a KB in "M", a MB in "G").
  const uint64_t below = unit / 1024;
  if (n % below) rest += below - n % below;
  if (rest >= unit) {
    ++whole;
    rest -= unit;
  }
  const auto w = static_cast<unsigned>(whole), tenth = static_cast<unsigned>(rest * 10 / unit);
  if (tenth) return gbk::Format("%u.%u%s", w, tenth, name);
  return gbk::Format("%u%s", w, name);
}

namespace {

// True when byte `pos` of `s` starts a character, i.e. is not the trail byte
// of a double-byte character (whose trail may well be "\\" or a letter).
bool StartsCharacter(const std::string& s, size_t pos) {
  return gbk::CutToBytes(s, pos).size() == pos;
}

bool EndsWithSeparator(const std::string& s) {
  if (s.empty() || (s.back() != '\\' && s.back() != '/')) return false;
  return StartsCharacter(s, s.size() - 1);
}

// The name's bytes stand at `end - name.size()` and begin a character there.
bool NameEndsAt(const std::string& path, size_t end, const std::string& name) {
  if (end < name.size()) return false;
  const size_t at = end - name.size();
  return path.compare(at, name.size(), name) == 0 && StartsCharacter(path, at);
}

}  // namespace

bool EndsWithGameName(const std::string& path, const std::string& name) {
  if (path.size() <= name.size()) return false;
  if (NameEndsAt(path, path.size(), name)) return true;
  return EndsWithSeparator(path) && NameEndsAt(path, path.size() - 1, name);
}

int FreeKbFromBytes(uint64_t free_bytes) {
  const uint64_t kb = free_bytes / 1024;
  return kb > static_cast<uint64_t>(INT_MAX) ? INT_MAX : static_cast<int>(kb);
}

bool IsWebAddress(const std::string& url) {
  const std::string lower = gbk::ToLower(gbk::Trim(url));
  auto starts = [&](const char* prefix) { return lower.rfind(prefix, 0) == 0; };
  return (starts("http://") && lower.size() > 7) || (starts("https://") && lower.size() > 8);
}

bool ComposeInstallFolder(const std::string& path, const std::string& game_name,
                          std::string* folder) {
  if (path.empty()) return false;
  std::string p = path;
  if (!EndsWithSeparator(p)) p += '\\';
  if (!EndsWithGameName(p, game_name)) p += game_name + "\\";
  if (p.size() >= kPathTextMax) return false;
  *folder = p;
  return true;
}

std::string PercentText(int state, int percent) {
  if (state >= 2 && state <= 4) return gbk::Format("已下载%d%%", percent);
  if (state >= 5 && state <= 7) return gbk::Format("已安装%d%%", percent);
  return std::string();
}

std::string SpeedText(int state, int32_t bytes_per_second) {
  if (state < 2 || state > 4) return std::string();
  return gbk::Format("下载速度：%s/s",
                     FormatByteSize(static_cast<uint32_t>(bytes_per_second)).c_str());
}

int ProgressFillWidth(int percent, int track_width, int fill_width) {
  const int w = std::min(std::clamp(percent, 0, 100) * track_width / 100, fill_width);
  return w < 0 ? 0 : w;
}

int CentredCoordinate(int screen, int size) {
  const int c = (screen - size) / 2;
  return c < 0 ? 0 : c;
}

bool InDragStrip(int client_y) { return client_y >= 0 && client_y < 20; }

int PathEditLimit(const std::string& game_name) {
  const int limit = static_cast<int>(kPathTextMax) - static_cast<int>(game_name.size());
  return limit < 0 ? 0 : limit;
}

std::string DefaultFolderRoot(const std::string& system_dir,
                              const std::function<bool(const std::string&)>& on_ide_disk) {
  std::string root = system_dir.substr(0, 3);
  if (root.size() < 3) root = "C:\\";
  static const char kDrives[] = "CDEFGHJ";  // there is no I:
  for (const char* d = kDrives; *d; ++d) {
    if (gbk::ToUpper(std::string(1, root[0]))[0] == *d) continue;
    const std::string volume = std::string(1, *d) + ":";
    if (on_ide_disk(volume)) {
      root[0] = *d;
      break;
    }
  }
  return root;
}

std::string DefaultInstallFolder(const std::string& root, const std::string& game_name, bool admin,
                                 const std::function<bool(const std::string&)>& can_create_probe) {
  const std::string plain = root + game_name + "\\";
  if (!admin) return plain;
  const std::string program_files = root + "Program Files\\" + game_name + "\\";
  return can_create_probe(program_files) ? program_files : plain;
}

bool HasDriveLetter(const std::string& path) {
  if (path.size() < 2 || path[1] != ':') return false;
  const char c = path[0];
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}
