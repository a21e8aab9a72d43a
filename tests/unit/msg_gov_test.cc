// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

// The store from inside: what it keeps of an added or updated message, and the end of the message IDs,
// which no client can reach in reasonable time.

#include "module/msg_gov.h"
#include "persist/msg_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "change_recorder.h"

namespace tidings {

class CMessageStoreTestPeer {
 public:
  static void SetNextMsgID(CMessageStore& store, int64_t nNextMsgID) {
    CAutoCriticalSection lock(store.m_cs);
    store.m_nNextMsgID = nNextMsgID;
  }

  static std::vector<_Message_Item> DynamicItems(CMessageStore& store) {
    CAutoCriticalSection lock(store.m_cs);
    std::vector<_Message_Item> items;
    for (size_t i = store.m_DynamicMsgList.First(); i != CMessageList::npos;
         i = store.m_DynamicMsgList.Next(i)) {
      items.push_back(store.m_DynamicMsgList[i]);
    }
    return items;
  }

  // As loading a message file can: the list may then hold a span and name twice.
  static void AppendDynamic(CMessageStore& store, _Message_Item item) {
    CAutoCriticalSection lock(store.m_cs);
    const int32_t dwMsgID = item.dwMsgID;
    store.m_DynamicMsgList.Append(std::move(item));
    if (dwMsgID >= store.m_nNextMsgID) store.m_nNextMsgID = dwMsgID + 1;
  }
};

class CMsgGovTestPeer {
 public:
  static CMessageStore& Store(CMsgGov& gov) { return gov.m_store; }
};

namespace {

std::basic_string<TIDINGS_WCHAR> W(const std::u16string& text) {
  return std::basic_string<TIDINGS_WCHAR>(text.begin(), text.end());
}

_Message_AddInfo Record(const std::u16string& strName, const std::u16string& strInfo,
                        const std::u16string& strEchoPath, int32_t nShowType, int32_t nTimeout,
                        int32_t bSave) {
  _Message_AddInfo info;
  std::memset(&info, 0, sizeof info);
  std::copy(strName.begin(), strName.end(), info.wszMsgName);
  std::copy(strInfo.begin(), strInfo.end(), info.strMsgSInfo);
  std::copy(strEchoPath.begin(), strEchoPath.end(), info.strMsgEchoPath);
  info.ShowType = nShowType;
  info.dwPopShowTimeout = nTimeout;
  info.bSaveAfterClose = bSave;
  return info;
}

class MsgGovTest : public ::testing::Test {
 protected:
  MsgGovTest() : m_gov(m_trace) { test::ClearChanges(); }

  void Add(const std::u16string& strSpan, const std::u16string& strName,
           const std::u16string& strInfo = u"info", const std::u16string& strEchoPath = u"",
           int32_t nShowType = 1, int32_t nTimeout = 30, int32_t bSave = 1) {
    const _Message_AddInfo info = Record(strName, strInfo, strEchoPath, nShowType, nTimeout, bSave);
    m_gov.AddMessage(W(strSpan).c_str(), &info);
  }

  std::vector<_Message_Item> Items() {
    return CMessageStoreTestPeer::DynamicItems(CMsgGovTestPeer::Store(m_gov));
  }

  CLogTrace m_trace;  // never initialised: tracing stays off
  CMsgGov m_gov;
};

TEST_F(MsgGovTest, TheLastIdIsGivenOutThenNewMessagesAreRefusedWhileUpdatesGoOn) {
  m_gov.Subscribe(nullptr, &test::RecordChange, 0);
  CMessageStoreTestPeer::SetNextMsgID(CMsgGovTestPeer::Store(m_gov), INT32_MAX);

  Add(u"Mail", u"Last", u"first");
  ASSERT_EQ(Items().size(), 1u);
  EXPECT_EQ(Items()[0].dwMsgID, INT32_MAX);

  // No ID is left: nothing is added and nobody is told.
  Add(u"Mail", u"One too many");
  Add(u"Chat", u"Another");
  EXPECT_EQ(Items().size(), 1u);

  // The message that has the last ID is still updated, marked and found.
  Add(u"MAIL", u"last", u"second", u"", 4, 5, 0);
  m_gov.MessageHasPopup(INT32_MAX);
  _Message_GetInfo got;
  std::memset(&got, 0, sizeof got);
  ASSERT_TRUE(m_gov.GetMessage(INT32_MAX, &got));
  EXPECT_EQ(got.dwMsgID, INT32_MAX);
  EXPECT_EQ(got.ShowType, 4);
  EXPECT_EQ(got.bHasPopup, 1);
  int32_t dwNewMsgID = 0;
  ASSERT_TRUE(m_gov.GetNextMessage(INT32_MAX, &dwNewMsgID, &got));
  EXPECT_EQ(dwNewMsgID, INT32_MAX);

  // Removing it gives no ID back.
  m_gov.DeleteMessageFromID(INT32_MAX);
  Add(u"Mail", u"Last", u"third");
  EXPECT_TRUE(Items().empty());

  const std::vector<test::Change> expected = {{INT32_MAX, ADDTYPE_NEW},
                                              {INT32_MAX, ADDTYPE_CHANGE},
                                              {INT32_MAX, ADDTYPE_CHANGE},
                                              {INT32_MAX, ADDTYPE_DELETE}};
  EXPECT_EQ(test::Changes(), expected);
}

TEST_F(MsgGovTest, AnUpdateKeepsTheStoredSpanAndNameAndReplacesEverythingElse) {
  Add(u"Mail", u"Inbox", u"3 new", u"C:\\old\\handler.dll", 1, 30, 1);
  m_gov.MessageHasPopup(0);
  Add(u"mAIL", u"INBOX", u"4 new", u"D:\\new.dll", 7, 99, 0);

  const std::vector<_Message_Item> items = Items();
  ASSERT_EQ(items.size(), 1u);
  const _Message_Item& item = items[0];
  EXPECT_EQ(item.dwMsgID, 0);
  EXPECT_EQ(item.strMsgSpan, u"Mail");
  EXPECT_EQ(item.strMsgName, u"Inbox");
  EXPECT_EQ(item.strMsgSInfo, u"4 new");
  EXPECT_EQ(item.strMsgEchoPath, u"D:\\new.dll");
  EXPECT_EQ(item.ShowType, 7);
  EXPECT_EQ(item.dwPopShowTimeout, 99);
  EXPECT_EQ(item.bSaveAfterClose, 0);
  EXPECT_EQ(item.bHasPopup, 0);
}

TEST_F(MsgGovTest, AnUpdateChangesEveryMessageWithThatSpanAndNameAndReportsTheLastOnce) {
  m_gov.Subscribe(nullptr, &test::RecordChange, 0);
  _Message_Item twin;
  twin.strMsgSpan = u"Mail";
  twin.strMsgName = u"Inbox";
  twin.strMsgSInfo = u"old";
  twin.dwMsgID = 0;
  CMessageStoreTestPeer::AppendDynamic(CMsgGovTestPeer::Store(m_gov), twin);
  _Message_Item other = twin;
  other.strMsgName = u"Outbox";
  other.dwMsgID = 1;
  CMessageStoreTestPeer::AppendDynamic(CMsgGovTestPeer::Store(m_gov), other);
  twin.strMsgSpan = u"MAIL";
  twin.bHasPopup = 1;
  twin.dwMsgID = 2;
  CMessageStoreTestPeer::AppendDynamic(CMsgGovTestPeer::Store(m_gov), twin);

  Add(u"mail", u"inbox", u"new");
  const std::vector<_Message_Item> items = Items();
  ASSERT_EQ(items.size(), 3u);
  EXPECT_EQ(items[0].strMsgSInfo, u"new");
  EXPECT_EQ(items[1].strMsgSInfo, u"old");
  EXPECT_EQ(items[2].strMsgSInfo, u"new");
  EXPECT_EQ(items[2].strMsgSpan, u"MAIL");
  EXPECT_EQ(items[2].bHasPopup, 0);
  EXPECT_EQ(test::Changes(), (std::vector<test::Change>{{2, ADDTYPE_CHANGE}}));
}

TEST_F(MsgGovTest, FixedFieldsWithoutTerminatorAreStoredCutToTheirRoom) {
  _Message_AddInfo info = Record(u"", u"", u"path", 0, 0, 0);
  for (TIDINGS_WCHAR& unit : info.wszMsgName) unit = 'N';
  for (TIDINGS_WCHAR& unit : info.strMsgSInfo) unit = 'I';
  info.ShowType = 0x00410041;  // reads as "AA" should the information text run on into it
  m_gov.AddMessage(W(u"S").c_str(), &info);

  const std::vector<_Message_Item> items = Items();
  ASSERT_EQ(items.size(), 1u);
  EXPECT_EQ(items[0].strMsgName, std::u16string(255, u'N'));
  EXPECT_EQ(items[0].strMsgSInfo, std::u16string(1023, u'I'));
  EXPECT_EQ(items[0].strMsgEchoPath, u"path");
}

// Messages of the file that no ID is left for at a load are kept back, and every save leaves them in
// DynamicMsg as they stand, after the messages it writes.
TEST_F(MsgGovTest, MessagesThatGetNoIdStayInTheFileAsTheyStand) {
  namespace fs = std::filesystem;
  const fs::path dir =
      fs::temp_directory_path() /
      ("tidings-keptback-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
  fs::create_directories(dir);
  const std::u16string path = (dir / "Msg.xml").u16string();
  const std::string kept =
      "<Message MsgSInfo='c'/>\n  <!-- kept as it stands -->\n  <Note   MsgSInfo=\"d\" x='y'/>"
      "<Message MsgSInfo='e'></Message>\n";
  std::ofstream(dir / "Msg.xml", std::ios::binary)
      << "<Root><MsgList><DynamicMsg>\n  <Message MsgSInfo='a'/> <Message MsgSInfo='b'/>" << kept
      << "</DynamicMsg></MsgList></Root>";
  m_trace.Init((dir / "trace.txt").u16string(), 0xA00000, true);
  CMessageStoreTestPeer::SetNextMsgID(CMsgGovTestPeer::Store(m_gov), INT32_MAX - 1);

  m_gov.LoadMsgFile(path);
  std::vector<_Message_Item> items = Items();
  ASSERT_EQ(items.size(), 2u);
  EXPECT_EQ(items[1].dwMsgID, INT32_MAX);
  m_gov.DeleteMessageFromID(INT32_MAX - 1);
  // The first save writes the one message left and keeps the three; the second, with none left in
  // memory, keeps them again.
  for (int nSave = 0; nSave < 2; ++nSave) {
    m_gov.SaveMsgFile(path);
    std::stringstream saved;
    saved << std::ifstream(dir / "Msg.xml", std::ios::binary).rdbuf();
    EXPECT_NE(saved.str().find(">" + kept + "</DynamicMsg>"), std::string::npos) << saved.str();
    LoadedMessages reloaded;
    ASSERT_TRUE(ReadMsgFile(path, 0, &reloaded));
    std::u16string strInfos;
    for (const _Message_Item& item : reloaded.dynamics) strInfos += item.strMsgSInfo;
    EXPECT_EQ(strInfos, nSave == 0 ? u"bcde" : u"cde");
  }
  std::stringstream trace;
  trace << std::ifstream(dir / "trace.txt", std::ios::binary).rdbuf();
  const std::string lines = trace.str();
  EXPECT_NE(lines.find("--LoadMsgFile kept back 3 messages of DynamicMsg: no message ID is left for them"),
            std::string::npos)
      << lines;
  EXPECT_EQ(lines.find("failed"), std::string::npos) << lines;
  size_t nLeft = 0;
  for (size_t pos = 0;
       (pos = lines.find("--SaveMsgFile left 3 messages in DynamicMsg as they stood: they got no "
                         "message ID",
                         pos)) != std::string::npos;
       ++pos) {
    ++nLeft;
  }
  EXPECT_EQ(nLeft, 2u) << lines;
  fs::remove_all(dir);
}

}  // namespace
}  // namespace tidings
