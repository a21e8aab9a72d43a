// The trace log: its switch, its line format, its size limit and its silence on failure.

#include "client_fixture.h"
#include "platform/platform.h"

namespace tidings {
namespace test {
namespace {

class TraceLogTest : public ClientTest {};

TEST_F(TraceLogTest, EveryLineCarriesTheCallersThreadTheTimeAndEndsInCrLf) {
  LoadLibrary();
  const int64_t before = platform::CurrentTimeSeconds();
  api.DeleteMessageFromID(5);
  const int64_t after = platform::CurrentTimeSeconds();

  const std::vector<TraceLine> lines = TraceLines();
  ASSERT_EQ(lines.size(), 2u);
  for (const TraceLine& line : lines) {
    EXPECT_EQ(line.nThreadId, platform::CurrentThreadId());
    bool bMatched = false;
    for (int64_t t = before; t <= after; ++t) {
      std::u16string text;
      ASSERT_TRUE(platform::FormatLocalTime(t, &text));
      if (line.strTime == Narrow(text) && line.nSecondsMod == static_cast<int>(t % 1000)) bMatched = true;
    }
    EXPECT_TRUE(bMatched) << line.strTime << "." << line.nSecondsMod;
  }
  EXPECT_EQ(lines[0].strText, "Enter Fun DeleteMessageFromID, dwMsgID is 5,");
  EXPECT_EQ(lines[1].strText, "Exit  Fun DeleteMessageFromID, bDel is 0");
}

}  // namespace
}  // namespace test
}  // namespace tidings
