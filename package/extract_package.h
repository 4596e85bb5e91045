// Turning the downloaded package into files: open the password-protected zip,
// extract its pack, decrypt it and write every listed file below the install
// folder, posting progress 0..100 to the window.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/pack_key.h"  // kPackagePassword
#include "core/path_join.h"  // JoinPath, which callers name the package and its files with
#include "package/stop_check.h"

// The text shown for a failed extraction that has no more precise reason.
extern const char kExtractFailedText[];

// Returns true when the extraction FAILED: the package or its pack is
// unreadable or damaged, the pack cannot be extracted whole (also over a
// pack an earlier run left and something still holds), no listed file can be
// installed, a listed file cannot be written, or the install volume lacks
// the space. `message`, when given, receives the text to show
// (kExtractFailedText, or one naming the file or the volume). On failure the
// extracted pack is removed; the package stays.
// `stop` is asked between files and between pieces of one. Once it answers
// true the step ends: the file being written is removed, the ones before
// stay, the pack is removed, the package stays, and the result is true with
// an empty message. `installed`, when given, receives the path of every
// file written, relative to the install folder.
bool ExtractPackage(HWND window, const char* package_name, const char* install_folder,
                    std::string* message = nullptr, const StopCheck& stop = StopCheck(),
                    std::vector<std::string>* installed = nullptr);

class VerifiedArrival;

// Extracts the package while the download writes it, on a thread of its own
// that starts at once. Only bytes whose blocks have passed their digests are
// read; the pack is deciphered, inflated and decrypted as a stream and never
// written out, and each file is written as its data pass. A package the
// stream cannot serve (a pack whose data do not follow their directory in
// order, a member with a trailing data descriptor, damage) is left to
// ExtractPackage once the whole package is there.
class ArrivingExtraction {
 public:
  ArrivingExtraction(HWND window, std::string package_name, std::string install_folder,
                     uint64_t package_size, VerifiedArrival& arrival, StopCheck stop);
  // Waits for the thread: end the arrival (or raise the stop) first.
  ~ArrivingExtraction();
  ArrivingExtraction(const ArrivingExtraction&) = delete;
  ArrivingExtraction& operator=(const ArrivingExtraction&) = delete;

  // Once the arrival is complete, or once the download stopped because the
  // extraction gave up (VerifiedArrival::GivenUp): waits for what is left, posting 0..100
  // over it, and answers as ExtractPackage does.
  bool Finish(std::string* message, std::vector<std::string>* installed);

 private:
  struct State;
  std::unique_ptr<State> state_;
};
