// Reads an answer's body on a thread of its own, so the transfer can give a
// read up. WinINet returns from a blocking read only once the whole request
// has come (Wine never earlier, whatever its time-outs say), and closing the
// handle does not end it there. A read sized for a fast line that then slows
// to a few KiB a second would hold the transfer for minutes, with no stop and
// no progress; given up, it finishes (or fails) on its own while the transfer
// goes on over a new request.
#pragma once

#include <windows.h>
#include <wininet.h>

#include <memory>
#include <vector>

class BodyReader {
 public:
  struct Result {
    bool ok = false;
    DWORD bytes = 0;
    DWORD error = 0;  // GetLastError of a failed read
  };

  // `request` is borrowed while no read is given up.
  explicit BodyReader(HINTERNET request);
  // Waits for the thread; a read still in flight must be given up first.
  ~BodyReader();
  BodyReader(const BodyReader&) = delete;
  BodyReader& operator=(const BodyReader&) = delete;

  // Starts one read of up to `want` bytes into `buffer`. With `at_least`
  // below `want`, the thread first asks how much has arrived and reads no
  // more than that, but at least `at_least` (and at least 1).
  void Start(char* buffer, DWORD want, DWORD at_least);
  // Waits up to `ms` for the read; true with its result once it is done.
  bool Wait(DWORD ms, Result* result);
  // The size the running read asked for, once it knows (0 before).
  DWORD asked() const;

  // Gives the read in flight up: it may still write into the buffer, which
  // `buffer_storage` keeps alive, and the handles, which are closed once it
  // returns. Nothing of this reader may be used afterwards but its destructor.
  void GiveUp(std::vector<char> buffer_storage, HINTERNET request, HINTERNET session);

 private:
  struct Shared;
  static void Run(std::shared_ptr<Shared> s);
  std::shared_ptr<Shared> shared_;
};
