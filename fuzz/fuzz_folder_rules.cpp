// Folder texts typed by the user or read from the uninstall data: the
// window's folder rules and the uninstaller's containment checks.
#include "fuzz_util.h"
#include "core/window_rules.h"
#include "core/safe_path.h"
#include "core/uninstall_rules.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto [path, game] = SplitAtNul(data, size);
  std::string folder;
  (void)ComposeInstallFolder(path, game, &folder);
  (void)EndsWithGameName(path, game);
  (void)PathEditLimit(game);
  (void)IsWebAddress(path);
  const std::string normal = uninstall::NormalizeFolder(path);
  (void)uninstall::ParentFolder(path);
  (void)uninstall::IsInsideFolder(path, game);
  (void)StaysInsideFolder(game, NameRule::kSingleName);
  (void)uninstall::EntryBelongsTo(path, game);
  (void)normal;
  return 0;
}
