// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

// The message file's functions called directly, where the store cannot take them: dynamic IDs near the
// end of the 32-bit ones, and messages the store would not have chosen for saving.

#include "persist/msg_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace tidings {
namespace {

namespace fs = std::filesystem;

class MsgFileFunctionsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_path = fs::temp_directory_path() /
             ("tidings-msgfile-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
              ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".xml");
    std::ofstream(m_path, std::ios::binary)
        << "<Root><MsgList><DefaultMsg><Message MsgName='d0'/><Message MsgName='d1'/></DefaultMsg>"
           "<DynamicMsg><Message MsgName='a'/><Message MsgName='b'/><Message MsgName='c'/></DynamicMsg>"
           "</MsgList></Root>";
  }
  void TearDown() override { fs::remove(m_path); }

  fs::path m_path;
};

TEST_F(MsgFileFunctionsTest, DynamicIDsStartWhereAskedAndEndWithTheLast32BitOne) {
  const struct {
    int64_t nFirst;
    std::vector<int32_t> ids;
    int64_t nNext;
  } cases[] = {
      {0, {0, 1, 2}, 3},
      {kMaxMsgID - 1, {kMaxMsgID - 1, kMaxMsgID}, kMaxMsgID + 1},
      {kMaxMsgID + 1, {}, kMaxMsgID + 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.nFirst);
    LoadedMessages loaded;
    ASSERT_TRUE(ReadMsgFile(m_path.u16string(), c.nFirst, &loaded));
    std::vector<int32_t> ids;
    for (const _Message_Item& item : loaded.dynamics) ids.push_back(item.dwMsgID);
    EXPECT_EQ(ids, c.ids);
    EXPECT_EQ(loaded.nNextMsgID, c.nNext);
    ASSERT_EQ(loaded.defaults.size(), 2u);
    EXPECT_EQ(loaded.defaults[1].dwMsgID, -3);
  }
}

TEST_F(MsgFileFunctionsTest, WritesExactlyTheItemsGivenInTheirOrder) {
  std::vector<_Message_Item> items(3);
  items[0].strMsgName = u"unmarked";
  items[0].strMsgSInfo = u"\x01";
  items[0].dwMsgID = 7;
  items[1].strMsgName = u"plain";
  items[1].bSaveAfterClose = 1;
  items[1].dwMsgID = 3;
  items[2].strMsgName = u"\xFFFF";
  items[2].strMsgEchoPath = u"\x02";
  items[2].dwMsgID = 5;
  const MsgFileWriteResult result = WriteMsgFile(m_path.u16string(), items);
  ASSERT_EQ(result.outcome, MsgFileWriteResult::kWritten)
      << std::string(result.strError.begin(), result.strError.end());
  EXPECT_EQ(result.replaced, (std::vector<std::pair<int32_t, size_t>>{{7, 1}, {5, 2}}));

  LoadedMessages loaded;
  ASSERT_TRUE(ReadMsgFile(m_path.u16string(), 0, &loaded));
  ASSERT_EQ(loaded.dynamics.size(), 3u);
  EXPECT_EQ(loaded.dynamics[0].strMsgSInfo, u"\uFFFD");
  EXPECT_EQ(loaded.dynamics[1].strMsgName, u"plain");
  EXPECT_EQ(loaded.dynamics[2].strMsgName, u"\uFFFD");
  EXPECT_EQ(loaded.defaults.size(), 2u);

  // Nothing is written where there is no DynamicMsg to write into.
  const fs::path missing = m_path.string() + ".missing";
  EXPECT_EQ(WriteMsgFile(missing.u16string(), items).outcome, MsgFileWriteResult::kNotWritten);
  EXPECT_FALSE(fs::exists(missing));
}

}  // namespace
}  // namespace tidings
