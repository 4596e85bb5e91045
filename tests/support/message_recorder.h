// A hidden message-only window that records the installer's posted reports
// (progress, state, speed) so tests can check their order and values.
#pragma once

#include <windows.h>

#include <functional>
#include <vector>

struct PostedMessage {
  UINT msg;
  WPARAM wParam;
  LPARAM lParam;
};

class MessageRecorder {
 public:
  MessageRecorder();   // creates the window on the calling thread
  ~MessageRecorder();
  MessageRecorder(const MessageRecorder&) = delete;
  MessageRecorder& operator=(const MessageRecorder&) = delete;

  HWND hwnd() const { return hwnd_; }
  // Dispatches everything queued for this thread.
  void Pump();
  // Pumps until `done` is true or `timeout_ms` passes; returns done().
  bool PumpUntil(const std::function<bool()>& done, DWORD timeout_ms = 30000);
  // Pumps until the handle is signalled; returns false on time-out.
  bool PumpUntilSignalled(HANDLE h, DWORD timeout_ms = 30000);

  const std::vector<PostedMessage>& messages() const { return messages_; }
  std::vector<int> Values(UINT msg) const;  // lParams of one message kind, in order
  std::vector<int> Progress() const;
  std::vector<int> States() const;
  std::vector<int> Speeds() const;
  void Clear() { messages_.clear(); }
  // Called for every recorded message (after recording), e.g. to run completion.
  std::function<void(const PostedMessage&)> onMessage;

 private:
  static LRESULT CALLBACK Proc(HWND, UINT, WPARAM, LPARAM);
  HWND hwnd_ = nullptr;
  std::vector<PostedMessage> messages_;
};
