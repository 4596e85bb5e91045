#include "core/download_failure.h"

#include <string>

#include "core/download_math.h"
#include "core/gbk_text.h"
#include "core/retry_policy.h"

namespace {

constexpr size_t kCut = kMessageTextMax;  // the error text buffer, NUL aside

// "<what>:<the server's text or the error number>, 请检测网络是否正常！\n下载失败:<url>"
std::string NetworkText(const char* what, const DownloadFailure& f, const std::string& url) {
  const std::string reason =
      f.detail.empty() ? std::to_string(static_cast<int>(f.win32_error)) : f.detail;
  return gbk::FormatCut(kCut, "%s:%s, 请检测网络是否正常！\n下载失败:%s", what, reason.c_str(),
                        url.c_str());
}

}  // namespace

std::string DownloadFailureText(const DownloadFailure& f, const std::string& url) {
  switch (f.step) {
    case DownloadStep::kStopped:
      return std::string();
    case DownloadStep::kTempFile:
      return "获取临时文件路径出错";
    case DownloadStep::kSession:
      return gbk::FormatCut(kCut, "网络错误:%d, 请检测网络是否正常！", static_cast<int>(f.win32_error));
    case DownloadStep::kConnect:
      if (IsCertificateError(f.win32_error))
        return gbk::FormatCut(kCut, "安全证书错误:%d, 服务器的证书不受信任或与网址不符！\n下载失败:%s",
                              static_cast<int>(f.win32_error), url.c_str());
      return NetworkText("网络连接错误", f, url);
    case DownloadStep::kStatus:
    case DownloadStep::kPartialAnswer:
    case DownloadStep::kStaleRange:
      return gbk::FormatCut(kCut, "服务器错误:HTTP %lu, 请稍后重试！\n下载失败:%s",
                            static_cast<unsigned long>(f.http_status), url.c_str());
    case DownloadStep::kTooLarge:
      return gbk::FormatCut(kCut, "文件过大:%s 字节, 超出了可下载的上限 %s 字节！\n下载失败:%s",
                            f.detail.c_str(), std::to_string(kMaxDownloadBytes).c_str(), url.c_str());
    case DownloadStep::kOpenTarget:
      return gbk::FormatCut(kCut, "无法写入文件:%s", f.detail.c_str());
    case DownloadStep::kRead:
    case DownloadStep::kLineSlowed:
      return NetworkText("网络错误", f, url);
    case DownloadStep::kWrite:
      return gbk::FormatCut(kCut, "写入文件失败:%s, 请检查磁盘空间！", f.detail.c_str());
    case DownloadStep::kVerify:
      return gbk::FormatCut(kCut, "安装包校验失败:%s", url.c_str());
    case DownloadStep::kTimedOut:
      return gbk::FormatCut(kCut, "网络超时, 请检测网络是否正常！\n下载失败:%s", url.c_str());
  }
  return std::string();
}
