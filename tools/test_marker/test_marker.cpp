// Writes "launched.txt" beside itself with its command line and current
// folder, so tests can see that (and how) the installer started the client.
#include <windows.h>

#include <cstdio>
#include <cstring>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  char self[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  char* slash = std::strrchr(self, '\\');
  if (!slash) return 1;
  std::strcpy(slash + 1, "launched.txt");
  char cwd[MAX_PATH] = {};
  GetCurrentDirectoryA(MAX_PATH, cwd);
  FILE* f = std::fopen(self, "wb");
  if (!f) return 1;
  std::fprintf(f, "cmdline=%s\ncwd=%s\n", GetCommandLineA(), cwd);
  std::fclose(f);
  return 0;
}
