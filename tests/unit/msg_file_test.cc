// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

// The message file's functions called directly, where the store cannot take them: dynamic IDs near the
// end of the 32-bit ones, messages the store would not have chosen for saving, a file edited between a
// load and a save, and what the check of a save is told.

#include "persist/msg_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "persist/xml_doc.h"

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
  ASSERT_EQ(result.status.Text(), u"");  // the reason, when it failed
  ASSERT_TRUE(result.status.ok());
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
  EXPECT_TRUE(WriteMsgFile(missing.u16string(), items).status.IsNotFound());
  EXPECT_FALSE(fs::exists(missing));
}

TEST_F(MsgFileFunctionsTest, ASaveWritesIntoTheFileAsItIsNowWhateverTheLoadFound) {
  const auto contents = [&] {
    std::ifstream in(m_path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  };
  const std::string strLoaded = contents();
  const std::string kEdits[] = {
      strLoaded,
      // The same size, the sections swapped.
      "<Root><MsgList><DynamicMsg><Message MsgName='a'/><Message MsgName='b'/><Message MsgName='c'/>"
      "</DynamicMsg><DefaultMsg><Message MsgName='d0'/><Message MsgName='d1'/></DefaultMsg></MsgList></Root>",
      // Longer before the section, one message fewer in it.
      "<Root><!-- edited --><MsgList><DefaultMsg><Message MsgName='d0'/></DefaultMsg><DynamicMsg>"
      "<Message MsgName='a'/><Message MsgName='b'/></DynamicMsg></MsgList></Root>",
  };
  std::vector<_Message_Item> items(1);
  items[0].strMsgName = u"new";
  for (const std::string& strEdited : kEdits) {
    std::ofstream(m_path, std::ios::binary | std::ios::trunc) << strLoaded;
    LoadedMessages loaded;
    ASSERT_TRUE(ReadMsgFile(m_path.u16string(), 0, &loaded));
    ASSERT_NE(loaded.memo, nullptr);
    std::ofstream(m_path, std::ios::binary | std::ios::trunc) << strEdited;

    const MsgFileWriteResult result = WriteMsgFile(m_path.u16string(), items, SIZE_MAX, loaded.memo.get());
    ASSERT_EQ(result.status.Text(), u"");
    ASSERT_TRUE(result.status.ok());
    std::string strExpected = strEdited;
    const size_t nOpenEnd = strExpected.find("<DynamicMsg>") + 12;
    strExpected.replace(nOpenEnd, strExpected.find("</DynamicMsg>") - nOpenEnd,
                        "<Message MsgSpan=\"\" MsgName=\"new\" MsgSInfo=\"\" MsgEchoPath=\"\" ShowType=\"0\" "
                        "ShowTime=\"0\"/>");
    EXPECT_EQ(contents(), strExpected);
  }
}

// The check of a save is told of each message of DynamicMsg in the bytes meant as a load reads it:
// defaulted and normalised by the DTD. When it does not pass, the file stays as it was.
TEST_F(MsgFileFunctionsTest, TheSaveCheckIsToldOfEachMessageAsALoadReadsIt) {
  class Recorder final : public XmlSectionCheck {
   public:
    explicit Recorder(bool bPass) : m_bPass(bPass) {}
    void Begin() override { seen.clear(); }
    void Child(const XmlAttributeSource& attributes) override {
      std::u16string strName, strType, strKind;
      attributes.GetText(u"MsgName", &strName);
      attributes.GetText(u"ShowType", &strType);
      const bool bKind = attributes.GetText(u"Kind", &strKind);
      seen.push_back(strName + u"," + strType + u"," + (bKind ? strKind : u"-"));
    }
    bool Passed() const override { return m_bPass; }
    std::vector<std::u16string> seen;

   private:
    const bool m_bPass;
  };
  const std::string strFile =
      "<!DOCTYPE Root [<!ATTLIST Message ShowType CDATA '7' Kind NMTOKENS #IMPLIED>]>"
      "<Root><MsgList><DynamicMsg><Message MsgName='old'/><Message "
      "MsgName='kept'/></DynamicMsg></MsgList></Root>";
  for (bool bPass : {true, false}) {
    std::ofstream(m_path, std::ios::binary | std::ios::trunc) << strFile;
    XmlDocContext document;
    ASSERT_TRUE(document.CreateParser().ok());
    ASSERT_TRUE(document.ScanXmlFile(m_path.u16string()).ok());
    Recorder check(bPass);
    const Status saved =
        document.SaveSection(m_path.u16string(), u"<Message MsgName=\"a\" Kind=\" x  y \"/>", 1, &check);
    EXPECT_EQ(saved.ok(), bPass);
    EXPECT_EQ(check.seen, (std::vector<std::u16string>{u"a,7,x y", u"kept,7,-"}));
    std::ifstream in(m_path, std::ios::binary);
    const std::string strNow((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(strNow == strFile, !bPass);
    EXPECT_EQ(saved.Text(), bPass ? u"" : u"what was written would load differently: its messages differ");
  }
}

}  // namespace
}  // namespace tidings
