#include "package/arriving_file.h"

#include <gtest/gtest.h>

#include <string>

#include "core/verified_arrival.h"
#include "test_seams.h"

// How a read of the arriving package ends: what was vouched for is handed
// out, and a stop, a failed download or a file shorter than said end it
// without waiting for bytes that will not come.
TEST(ArrivingFile, HandsOutWhatIsVouchedForAndEndsAsTheDownloadDoes) {
  TempFolder dir;
  const std::string bytes(5000, 'p');
  WriteFileBytes(dir.File("pkg.zip"), bytes);
  using End = ArrivingFile::End;
  struct Case {
    const char* what;
    uint64_t vouched;  // verified end
    enum { kArriving, kComplete, kAbandoned, kStopped } state;
    size_t asked;
    bool read;
    End end;
  } cases[] = {
      {"within what is vouched for", 4096, Case::kArriving, 4096, true, End::kNone},
      {"complete file", 5000, Case::kComplete, 5000, true, End::kNone},
      {"said complete, but shorter on disk", 6000, Case::kComplete, 6000, false, End::kPastEnd},
      {"past the end of a complete file", 5000, Case::kComplete, 5001, false, End::kPastEnd},
      // The download failed: its error is shown, nothing more is read.
      {"abandoned with verified bytes unread", 4096, Case::kAbandoned, 10, false, End::kAbandoned},
      {"stopped", 4096, Case::kStopped, 10, false, End::kStopped},
  };
  for (const Case& c : cases) {
    VerifiedArrival arrival;
    if (c.state == Case::kComplete)
      arrival.Complete(c.vouched);
    else
      arrival.Advance(c.vouched);
    if (c.state == Case::kAbandoned) arrival.Abandon();
    ArrivingFile file(dir.File("pkg.zip"), arrival, [&] { return c.state == Case::kStopped; });
    std::string out(c.asked, '\0');
    EXPECT_EQ(file.Read(reinterpret_cast<uint8_t*>(&out[0]), out.size()), c.read) << c.what;
    EXPECT_EQ(file.end(), c.end) << c.what;
    if (c.read) {
      EXPECT_EQ(out, bytes.substr(0, c.asked)) << c.what;
    }
  }
}
