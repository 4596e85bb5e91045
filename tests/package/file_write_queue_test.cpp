#include "package/file_write_queue.h"

#include <gtest/gtest.h>

#include "test_seams.h"

namespace {

enum class Open { kWritable, kFails, kReadOnlyHandle };
enum class Then { kEnd, kAbandon, kNothing };

ScopedFileHandle OpenFor(const std::string& path, Open how) {
  if (how == Open::kFails) return ScopedFileHandle();
  if (how == Open::kReadOnlyHandle) WriteFileBytes(path, "");
  return ScopedFileHandle(::CreateFileA(
      path.c_str(), how == Open::kWritable ? GENERIC_WRITE : GENERIC_READ,
      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
}

}  // namespace

// A file opened by the queue is either written whole or not left at all; the
// first failure names its file, and nothing after it is opened.
TEST(FileWriteQueue, AFileIsWrittenWholeOrNotLeftBehind) {
  const struct Case {
    const char* what;
    Open open;
    Then then;
    bool ok;
    bool left;  // the file is there afterwards
  } cases[] = {
      {"written and ended", Open::kWritable, Then::kEnd, true, true},
      {"dropped", Open::kWritable, Then::kAbandon, true, false},
      {"never ended", Open::kWritable, Then::kNothing, true, false},
      {"cannot be opened", Open::kFails, Then::kEnd, false, false},
      {"cannot be written", Open::kReadOnlyHandle, Then::kEnd, false, false},
  };
  for (const Case& c : cases) {
    TempFolder dir;
    const std::string path = dir.File("a.bin");
    const std::string later = dir.File("later.bin");
    const std::string data(FileWriteQueue::kPieceSize + 5, 'x');
    std::string message;
    bool ok = true;
    {
      FileWriteQueue queue;
      queue.Begin([&] { return OpenFor(path, c.open); }, path, "cannot write " + path);
      for (size_t done = 0; done < data.size();) {
        uint8_t* piece = queue.Piece();
        if (!piece) break;
        const size_t n = std::min(FileWriteQueue::kPieceSize, data.size() - done);
        std::copy(data.begin() + done, data.begin() + done + n, piece);
        queue.Fill(n);
        done += n;
      }
      if (c.then != Then::kNothing) {  // else the queue goes without an end
        c.then == Then::kEnd ? queue.End() : queue.Abandon();
        queue.Begin([&] { return OpenFor(later, Open::kWritable); }, later, "cannot write later");
        queue.End();
        ok = queue.Finish(&message);
      }
    }
    EXPECT_EQ(ok, c.ok) << c.what;
    EXPECT_EQ(FileExists(path), c.left) << c.what;
    if (c.left) EXPECT_TRUE(ReadFileBytes(path) == data) << c.what;
    if (c.then != Then::kNothing) {
      EXPECT_EQ(message, c.ok ? "" : "cannot write " + path) << c.what;
      EXPECT_EQ(FileExists(later), c.ok) << c.what << ": nothing is opened after a failure";
    }
  }
}
