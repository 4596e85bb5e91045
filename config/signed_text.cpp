#include "config/signed_text.h"

#include <windows.h>

#include "core/gbk_text.h"
#include "net/download_context.h"
#include "net/signed_download.h"
#include "system/seams.h"
#include "system/setup_messages.h"

bool AcceptSignedText(DownloadContext* client, const std::string& url, const std::string& path) {
  const std::string failure = signed_download::VerifySignedText(client, url, path, false, "");
  if (failure.empty()) return true;
  gbk::CopyToBuffer(client->errorText, sizeof client->errorText, failure);
  seams::ShowMessageBox(client->window, client->errorText, "错误", MB_OK);
  PostState(client->window, SETUP_STATE_ERROR);
  return false;
}
