#include "system/setup_messages.h"

const char* SetupStateText(int state) {
  static const char* const kTexts[] = {
      "错误，请重新下载",  // error, please download again
      "",
      "正在读取配置文件",
      "正在获取版本信息",
      "正在下载",
      "正在启动安装",
      "正在安装",
      "安装完成",
  };
  if (state < 0 || state > 7) return "";
  return kTexts[state];
}
