#include "package/extract_package.h"

#include <memory>

#include "core/buffer_limits.h"
#include "core/gbk_text.h"
#include "package/extract_steps.h"
#include "package/pack_decrypt.h"
#include "system/setup_messages.h"
#include "system/trace.h"

const char kExtractFailedText[] = "解压文件失败";

std::string ExtractFailureText(const ExtractFailure& f) {
  switch (f.step) {
    case ExtractStep::kStopped:
      return std::string();
    case ExtractStep::kPackage:
    case ExtractStep::kWhole:
      return kExtractFailedText;
    case ExtractStep::kNoRoom:
      return f.detail;
    case ExtractStep::kCannotWrite:
      return gbk::FormatCut(kMessageTextMax, "无法写入文件:%s", f.detail.c_str());
    case ExtractStep::kWrite:
      return f.detail.empty() ? std::string(kExtractFailedText) : f.detail;
  }
  return kExtractFailedText;
}

namespace {

ExtractResult Extract(HWND window, const std::string& folder, const std::string& package_path,
                      const StopCheck& stop, std::vector<std::string>* installed) {
  if (StopRaised(stop)) return ExtractFailure{ExtractStep::kStopped};
  std::string pack_path;
  ExtractResult r = UnzipPack(folder, package_path, stop, &pack_path);
  if (!r.ok()) return r;
  std::unique_ptr<OpenPack> pack = DecryptPackFile(pack_path, kPackagePassword, window, stop);
  if (StopRaised(stop)) {
    r = ExtractFailure{ExtractStep::kStopped};
  } else if (!pack || pack->directory.empty()) {
    r = ExtractFailure{ExtractStep::kPackage};
  } else {
    r = CheckPackEntries(*pack, folder, window, stop);
    if (r.ok()) r = WritePackFiles(*pack, folder, window, stop, installed);
    if (r.ok()) PostProgress(window, 100);
  }
  pack.reset();
  RemovePack(pack_path);
  return r;
}

}  // namespace

bool ExtractPackage(HWND window, const char* package_name, const char* install_folder,
                    std::string* message, const StopCheck& stop,
                    std::vector<std::string>* installed) {
  const std::string folder = install_folder ? install_folder : "";
  const std::string package_path = JoinPath(folder, package_name ? package_name : "");
  const ExtractResult r = Extract(window, folder, package_path, stop, installed);
  if (r.ok()) return false;
  if (r.failure().step == ExtractStep::kStopped)
    TraceLine(gbk::Format("kvx-out: extraction of %s stopped", package_path.c_str()));
  if (message) *message = ExtractFailureText(r.failure());
  return true;
}
