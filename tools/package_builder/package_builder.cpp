// package_builder build <folder> <out.zip> [--top NAME] [--member NAME]
//                       [--setup FILE | --main-program NAME] [--convert-utf8]
// package_builder list <package.zip> [--setup FILE | --main-program NAME]
// package_builder text <file>... [--convert-utf8]
// package_builder keygen <folder>                      (native build only)
// package_builder publish <folder> <site> --settings FILE
//                         (--key PRIVATE.pem | --unsigned) [--convert-utf8]
//
// build: every file below <folder> becomes a pack entry named NAME\<relative
// path> (NAME defaults to the folder's own name), empty folders become entries
// ending in "\". The pack is encrypted under the key derived from the package
// password and stored, deflated and PKWARE-encrypted, as the only member of
// the zip (default member name game.pak). It refuses names Windows cannot
// create, texts (.ini, .txt) that are not GBK, and a folder without the main
// program: the setup description's exefilename, the --main-program name, or
// else main.exe. It warns when the folder has no Config folder.
// list: prints the member and every pack entry (name, offset, size) and checks
// that each entry's data lies inside the body, its path can be created inside
// the install folder, its text is GBK, and that the main program is there.
// text: checks the texts published beside the package (setup description,
// agency texts, update list).
// keygen and publish: see publish.cpp.
// --convert-utf8 converts UTF-8 texts to GBK: the folder's in the package
// only, the setup description and text's files in place.
// Exit 0 when all is sound, 1 on any refusal or defect, 2 on usage errors.
//
// Built for Windows it runs there or under Wine and takes names in the ANSI
// code page; built natively (builder_host_posix.cpp) it takes and prints
// UTF-8 and writes the package's names in GBK.
//
// The commands' work is in build_command.cpp, list_command.cpp and
// text_check.cpp; this file reads the command line.
#include <cstdio>
#include <string>
#include <vector>

#include "builder_commands.h"

int Fail(int code, const std::string& message) {
  std::fprintf(stderr, "package_builder: %s\n", message.c_str());
  return code;
}

namespace {

int Usage() {
  std::fprintf(stderr,
               "usage: package_builder build <folder> <out.zip> [--top NAME] [--member NAME]\n"
               "                             [--setup FILE | --main-program NAME] [--convert-utf8]\n"
               "       package_builder list <package.zip> [--setup FILE | --main-program NAME]\n"
               "       package_builder text <file>... [--convert-utf8]\n"
#ifdef PACKAGE_BUILDER_SIGNING
               "       package_builder keygen <folder>\n"
               "       package_builder publish <folder> <site> --settings FILE\n"
               "                               (--key PRIVATE.pem | --unsigned) [--convert-utf8]\n"
#endif
               "  --setup FILE         the setup description (online_setup.txt): its [setup]\n"
               "                       exefilename must be in the package (default: main.exe)\n"
               "  --main-program NAME  the same without a setup description\n"
               "  --convert-utf8       texts saved as UTF-8 are converted to GBK: the folder's\n"
               "                       .ini/.txt in the package, --setup and text's files in place\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return Usage();
  const std::string command = argv[1];
#ifdef PACKAGE_BUILDER_SIGNING
  if (command == "keygen") return KeygenCommand(argc - 1, argv + 1);
  if (command == "publish") return PublishCommand(argc - 1, argv + 1);
#endif
  const int first_option = command == "build" ? 4 : command == "list" ? 3 : 2;
  if (argc < first_option) return Usage();
  BuildOptions options;
  std::vector<std::string> plain;
  for (int i = first_option; i < argc; ++i) {
    const std::string opt = argv[i];
    const bool takes_value = opt == "--top" || opt == "--member" || opt == "--setup" ||
                             opt == "--main-program";
    if (takes_value && i + 1 < argc && command != "text") {
      std::string& value = opt == "--top" ? options.top
                           : opt == "--member" ? options.member
                           : opt == "--setup" ? options.setup
                                              : options.main_program;
      value = argv[++i];
      if (value.empty() && opt != "--top") return Usage();
    } else if (opt == "--convert-utf8" && command != "list") {
      options.convert_utf8 = true;
    } else if (command == "text" && opt.rfind("--", 0) != 0) {
      plain.push_back(opt);
    } else {
      return Usage();
    }
  }
  if (!options.setup.empty() && !options.main_program.empty()) return Usage();
  if (command == "build") return BuildPackage(argv[2], argv[3], options);
  if (command == "list") {
    if (options.top != "" || options.member != "game.pak") return Usage();
    return ListPackage(argv[2], options);
  }
  if (command == "text" && !plain.empty()) return CheckTexts(plain, options.convert_utf8);
  return Usage();
}
