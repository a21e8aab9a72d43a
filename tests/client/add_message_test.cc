// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

// Adding and updating messages, seen through the exports and the trace log.

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "change_recorder.h"
#include "client_fixture.h"
#include "platform/platform.h"

namespace tidings {
namespace test {
namespace {

std::u16string InfoText(const _Message_GetInfo& info) {
  std::u16string text;
  for (size_t i = 0; i < 1024 && info.strMsgSInfo[i] != 0; ++i) {
    text.push_back(static_cast<char16_t>(info.strMsgSInfo[i]));
  }
  return text;
}

// The text of an Exit line of AddMessage.
std::string AddExit(int32_t dwMsgID, int bNew) {
  return "Exit  Fun AddMessage, ID is " + std::to_string(dwMsgID) + ", Is New Msg?" + std::to_string(bNew);
}

// The name (and information text) of the i-th message that thread k adds.
std::u16string NameOf(int k, int i) {
  const std::string s = "T" + std::to_string(k) + "-" + std::to_string(i);
  return std::u16string(s.begin(), s.end());
}

class AddMessageTest : public ClientTest {
 protected:
  // Message dwMsgID as NBX_GetMessage copies it; fails the test when it is not there.
  _Message_GetInfo Get(int32_t dwMsgID) {
    _Message_GetInfo info;
    std::memset(&info, 0, sizeof info);
    EXPECT_EQ(api.GetMessage(dwMsgID, &info), 1) << "message " << dwMsgID << " is missing";
    return info;
  }

  bool Exists(int32_t dwMsgID) {
    _Message_GetInfo info;
    return api.GetMessage(dwMsgID, &info) == 1;
  }

  // The Exit lines of AddMessage in the trace, in order.
  std::vector<std::string> AddExits() const {
    std::vector<std::string> exits;
    for (const std::string& text : TraceTexts()) {
      if (text.compare(0, 22, "Exit  Fun AddMessage, ") == 0) exits.push_back(text);
    }
    return exits;
  }
};

TEST_F(AddMessageTest, NewMessagesGetIdsInOrderAndSameSpanAndNameUpdatesInPlace) {
  LoadLibrary();
  Add(u"Mail", u"Inbox", u"3 new");
  Add(u"Mail", u"Outbox", u"1 queued");
  Add(u"Chat", u"Inbox", u"hello");
  // Same span and name in other letter cases: the first message is updated, not added.
  Add(u"MAIL", u"inBOX", u"4 new", 7, 99, 0);

  const std::vector<std::string> expected = {
      "Enter Fun AddMessage, lpMsgSpanName is Mail, wszMsgName is Inbox,strMsgSInfo is 3 new, "
      "strMsgEchoPath is , ShowType is 1, bSaveAfterClose is 1,dwPopShowTimeout is 30",
      "Enter Fun PfnEventCallback, dwMsgID is 0, nAddType is 0",
      "Exit Fun PfnEventCallback",
      "Exit  Fun AddMessage, ID is 0, Is New Msg?1",
      "Enter Fun AddMessage, lpMsgSpanName is Mail, wszMsgName is Outbox,strMsgSInfo is 1 queued, "
      "strMsgEchoPath is , ShowType is 1, bSaveAfterClose is 1,dwPopShowTimeout is 30",
      "Enter Fun PfnEventCallback, dwMsgID is 1, nAddType is 0",
      "Exit Fun PfnEventCallback",
      "Exit  Fun AddMessage, ID is 1, Is New Msg?1",
      "Enter Fun AddMessage, lpMsgSpanName is Chat, wszMsgName is Inbox,strMsgSInfo is hello, "
      "strMsgEchoPath is , ShowType is 1, bSaveAfterClose is 1,dwPopShowTimeout is 30",
      "Enter Fun PfnEventCallback, dwMsgID is 2, nAddType is 0",
      "Exit Fun PfnEventCallback",
      "Exit  Fun AddMessage, ID is 2, Is New Msg?1",
      "Enter Fun AddMessage, lpMsgSpanName is MAIL, wszMsgName is inBOX,strMsgSInfo is 4 new, "
      "strMsgEchoPath is , ShowType is 7, bSaveAfterClose is 0,dwPopShowTimeout is 99",
      "Enter Fun PfnEventCallback, dwMsgID is 0, nAddType is 2",
      "Exit Fun PfnEventCallback",
      "Exit  Fun AddMessage, ID is 0, Is New Msg?0",
  };
  EXPECT_EQ(TraceTexts(), expected);

  // The update replaced the fields and kept the ID.
  _Message_GetInfo got;
  std::memset(&got, 0, sizeof got);
  ASSERT_EQ(api.GetMessage(0, &got), 1);
  EXPECT_EQ(got.dwMsgID, 0);
  EXPECT_EQ(std::u16string(got.strMsgSInfo, got.strMsgSInfo + 5), u"4 new");
  EXPECT_EQ(got.strMsgSInfo[5], 0);
  EXPECT_EQ(got.ShowType, 7);
  EXPECT_EQ(got.dwPopShowTimeout, 99);
}

TEST_F(AddMessageTest, EveryUpdateIsAChangeThatReplacesTheFieldsAndClearsThePopupMark) {
  LoadLibrary();
  ASSERT_EQ(api.Subscribe(T(u"Mail").c_str(), &RecordChange, 0), 1);
  Add(u"Mail", u"Inbox", u"a rather long information text", 1, 30, 1);
  ASSERT_EQ(api.MessageHasPopup(0), 1);
  EXPECT_EQ(Get(0).bHasPopup, 1);

  Add(u"mail", u"INBOX", u"x", -5, 0, 0);
  _Message_GetInfo got = Get(0);
  EXPECT_EQ(InfoText(got), u"x");  // nothing of the longer text before it is left
  EXPECT_EQ(got.ShowType, -5);
  EXPECT_EQ(got.dwPopShowTimeout, 0);
  EXPECT_EQ(got.bHasPopup, 0);

  Add(u"MAIL", u"inbox", u"second update", 3, 60, 1);
  got = Get(0);
  EXPECT_EQ(InfoText(got), u"second update");
  EXPECT_EQ(got.ShowType, 3);
  EXPECT_EQ(got.dwPopShowTimeout, 60);
  EXPECT_FALSE(Exists(1)) << "an update must not add a message";

  const std::vector<Change> expected = {
      {0, ADDTYPE_NEW}, {0, ADDTYPE_CHANGE}, {0, ADDTYPE_CHANGE}, {0, ADDTYPE_CHANGE}};
  EXPECT_EQ(Changes(), expected);
  EXPECT_EQ(AddExits(), (std::vector<std::string>{AddExit(0, 1), AddExit(0, 0), AddExit(0, 0)}));
}

TEST_F(AddMessageTest, SpanAndNameMatchAsAPairOfWholeTexts) {
  LoadLibrary();
  Add(u"Mail", u"Inbox");
  // None of these is the same pair of texts, whatever their letter case.
  Add(u"MailI", u"nbox");   // the same text when the two are joined
  Add(u"Inbox", u"Mail");   // the two swapped
  Add(u"Chat", u"Inbox");   // the name of another span
  Add(u"Mail", u"Inbo");    // a prefix of the name
  Add(u"Mail", u"Inbox ");  // a trailing blank: no trimming
  Add(u"", u"MailInbox");   // an empty span
  Add(u"Mail", u"");        // an empty name
  // These are.
  Add(u"mAIL", u"iNBOX");
  Add(u"chat", u"inbox");
  Add(u"", u"mailinbox");
  Add(u"MAIL", u"");

  EXPECT_EQ(AddExits(),
            (std::vector<std::string>{AddExit(0, 1), AddExit(1, 1), AddExit(2, 1), AddExit(3, 1),
                                      AddExit(4, 1), AddExit(5, 1), AddExit(6, 1), AddExit(7, 1),
                                      AddExit(0, 0), AddExit(3, 0), AddExit(6, 0), AddExit(7, 0)}));
}

TEST_F(AddMessageTest, AMessageAddedAgainAfterItsDeletionGetsANewId) {
  LoadLibrary();
  ASSERT_EQ(api.Subscribe(nullptr, &RecordChange, 0), 1);
  Add(u"Mail", u"Inbox");
  Add(u"Mail", u"Outbox");
  ASSERT_EQ(api.DeleteMessage(T(u"Mail").c_str(), T(u"Inbox").c_str()), 1);
  Add(u"Mail", u"Inbox");
  ASSERT_EQ(api.DeleteMessageFromID(2), 1);
  Add(u"Mail", u"Inbox");
  // Removing the message with the highest ID gives no ID back either.
  ASSERT_EQ(api.DeleteMessageFromID(3), 1);
  Add(u"Mail", u"Other");

  const std::vector<Change> expected = {{0, ADDTYPE_NEW},    {1, ADDTYPE_NEW},    {0, ADDTYPE_DELETE},
                                        {2, ADDTYPE_NEW},    {2, ADDTYPE_DELETE}, {3, ADDTYPE_NEW},
                                        {3, ADDTYPE_DELETE}, {4, ADDTYPE_NEW}};
  EXPECT_EQ(Changes(), expected);
  EXPECT_FALSE(Exists(0));
  EXPECT_TRUE(Exists(1));
  EXPECT_FALSE(Exists(2));
  EXPECT_FALSE(Exists(3));
  EXPECT_TRUE(Exists(4));
}

TEST_F(AddMessageTest, NullTextsReadAsEmptyAndNullRecordsAreRefusedQuietly) {
  LoadLibrary();
  ASSERT_EQ(api.Subscribe(nullptr, nullptr, 0), 1);  // a null callback is kept, and never called
  ASSERT_EQ(api.Subscribe(nullptr, &RecordChange, 0), 1);

  _Message_AddInfo info = MakeAddInfo(u"", u"empty");
  ASSERT_EQ(api.AddMessage(nullptr, &info), 1);
  ASSERT_EQ(api.AddMessage(T(u"").c_str(), &info), 1);  // the same message: null and empty are one text
  ClearTrace();

  // A null record: nothing is added, nothing is traced, and no ID is used up.
  ASSERT_EQ(api.AddMessage(T(u"Mail").c_str(), nullptr), 1);
  ASSERT_EQ(api.AddMessage(nullptr, nullptr), 1);
  EXPECT_EQ(TraceBytes(), "");
  EXPECT_FALSE(Exists(1));
  Add(u"Mail", u"Inbox");

  // Null record pointers of the lookups: nothing is copied, and *pdwNewMsgID still says so.
  ClearTrace();
  EXPECT_EQ(api.GetMessage(1, nullptr), 0);
  int32_t dwNewMsgID = 12345;
  EXPECT_EQ(api.GetNextMessage(0, &dwNewMsgID, nullptr), 0);
  EXPECT_EQ(dwNewMsgID, -1);
  _Message_GetInfo untouched;
  std::memset(&untouched, 0x5A, sizeof untouched);
  _Message_GetInfo got = untouched;
  EXPECT_EQ(api.GetNextMessage(0, nullptr, &got), 0);
  EXPECT_EQ(std::memcmp(&got, &untouched, sizeof got), 0);
  EXPECT_EQ(api.GetNextMessage(0, nullptr, nullptr), 0);

  // Null span and name name the message with the empty span and name.
  EXPECT_EQ(api.DeleteMessage(nullptr, nullptr), 1);
  EXPECT_FALSE(Exists(0));
  EXPECT_TRUE(Exists(1));

  const std::vector<std::string> expected = {
      "Enter Fun GetMessage, dwMsgID is 1",
      "Exit  Fun GetMessage, bRet is 0",
      "Enter Fun GetNextMessage, dwMsgID is 0",
      "Exit  Fun GetNextMessage, bRet is 0, dwNewMsgID is -1",
      "Enter Fun GetNextMessage, dwMsgID is 0",
      "Exit  Fun GetNextMessage, bRet is 0, dwNewMsgID is -1",
      "Enter Fun GetNextMessage, dwMsgID is 0",
      "Exit  Fun GetNextMessage, bRet is 0, dwNewMsgID is -1",
      "Enter Fun DeleteMessage, lpMsgSpanName is , wszMsgName is ,",
      "Enter Fun PfnEventCallback, dwMsgID is 0, nAddType is 1",
      "--Begin  Call 1's pEventCallback",
      "--Finish Call 1's pEventCallback",
      "Exit Fun PfnEventCallback",
      "Exit  Fun DeleteMessage, MsgID is 0",
  };
  std::vector<std::string> texts = TraceTexts();
  texts.resize(std::min(texts.size(), expected.size()));  // the Exists() probes come after
  EXPECT_EQ(texts, expected);

  const std::vector<Change> changes = {
      {0, ADDTYPE_NEW}, {0, ADDTYPE_CHANGE}, {1, ADDTYPE_NEW}, {0, ADDTYPE_DELETE}};
  EXPECT_EQ(Changes(), changes);
}

TEST_F(AddMessageTest, FieldsWithoutTerminatorAreReadOnlyUpToTheirLastUnit) {
  LoadLibrary();
  // Nothing in the two fixed text fields is zero; the record is allocated exactly as large as declared.
  std::unique_ptr<_Message_AddInfo> pInfo(new _Message_AddInfo(MakeAddInfo(u"", u"", u"", 1, 2, 0)));
  for (TIDINGS_WCHAR& unit : pInfo->wszMsgName) unit = 'N';
  for (TIDINGS_WCHAR& unit : pInfo->strMsgSInfo) unit = 'I';
  ASSERT_EQ(api.AddMessage(T(u"S").c_str(), pInfo.get()), 1);

  const std::string name(255, 'N');
  const std::string full = "Enter Fun AddMessage, lpMsgSpanName is S, wszMsgName is " + name +
                           ",strMsgSInfo is " + std::string(1023, 'I') +
                           ", strMsgEchoPath is , ShowType is 1, bSaveAfterClose is 0,dwPopShowTimeout is 2";
  const std::vector<std::string> texts = TraceTexts();
  ASSERT_FALSE(texts.empty());
  EXPECT_EQ(texts[0], full.substr(0, 1023));

  // The information text comes back as the 1023 units it was read as.
  const _Message_GetInfo got = Get(0);
  EXPECT_EQ(InfoText(got), std::u16string(1023, u'I'));

  // The name was stored as exactly those 255 units: the same name, terminated, is the same message.
  Add(u"s", std::u16string(255, u'n'));
  EXPECT_EQ(AddExits(), (std::vector<std::string>{AddExit(0, 1), AddExit(0, 0)}));
}

TEST_F(AddMessageTest, ACutNeverSplitsASurrogatePair) {
  LoadLibrary();
  // Both fields full of pairs and without terminator: a cut at 255 and 1023 units would split the last.
  std::unique_ptr<_Message_AddInfo> pInfo(new _Message_AddInfo(MakeAddInfo(u"", u"", u"", 1, 2, 0)));
  for (size_t i = 0; i < 256; ++i) pInfo->wszMsgName[i] = i % 2 == 0 ? 0xD83D : 0xDE00;
  for (size_t i = 0; i < 1024; ++i) pInfo->strMsgSInfo[i] = i % 2 == 0 ? 0xD834 : 0xDD1E;
  ASSERT_EQ(api.AddMessage(T(u"S").c_str(), pInfo.get()), 1);
  std::u16string info;
  for (int i = 0; i < 511; ++i) info += u"\U0001D11E";
  EXPECT_EQ(InfoText(Get(0)), info);
  std::u16string name;
  for (int i = 0; i < 127; ++i) name += u"\U0001F600";
  Add(u"S", name);
  EXPECT_EQ(AddExits(), (std::vector<std::string>{AddExit(0, 1), AddExit(0, 0)}));
}

TEST_F(AddMessageTest, TheEchoPathIsReadToItsTerminatorPastTheDeclaredField) {
  LoadLibrary();
  // A client with a longer path allocates the record larger than declared.
  const size_t nPathUnits = 400;
  const size_t cbRecord =
      offsetof(_Message_AddInfo, strMsgEchoPath) + (nPathUnits + 1) * sizeof(TIDINGS_WCHAR);
  std::vector<unsigned char> storage(cbRecord + 64, 0xEE);
  _Message_AddInfo base = MakeAddInfo(u"Long", u"info");
  std::memcpy(storage.data(), &base, offsetof(_Message_AddInfo, strMsgEchoPath));
  TIDINGS_WCHAR* pPath =
      reinterpret_cast<TIDINGS_WCHAR*>(storage.data() + offsetof(_Message_AddInfo, strMsgEchoPath));
  for (size_t i = 0; i < nPathUnits; ++i) pPath[i] = static_cast<TIDINGS_WCHAR>('a' + i % 26);
  pPath[nPathUnits] = 0;
  ASSERT_EQ(api.AddMessage(T(u"Mail").c_str(), reinterpret_cast<const _Message_AddInfo*>(storage.data())), 1);

  std::string path;
  for (size_t i = 0; i < nPathUnits; ++i) path.push_back(static_cast<char>('a' + i % 26));
  const std::vector<std::string> texts = TraceTexts();
  ASSERT_FALSE(texts.empty());
  EXPECT_EQ(texts[0],
            "Enter Fun AddMessage, lpMsgSpanName is Mail, wszMsgName is Long,strMsgSInfo is info, "
            "strMsgEchoPath is " +
                path + ", ShowType is 1, bSaveAfterClose is 1,dwPopShowTimeout is 30");
}

TEST_F(AddMessageTest, ConcurrentAddsGetDistinctIdsAndLeaveWholeLines) {
  LoadLibrary();
  constexpr int kThreads = 4;
  constexpr int kPerThread = 1000;
  constexpr int kTotal = kThreads * kPerThread;
  std::vector<uint32_t> tids(kThreads, 0);
  std::atomic<int> nStarted(0);
  std::atomic<int> nFinished(0);
  std::atomic<int> nBadResults(0);
  std::vector<std::thread> threads;
  for (int k = 0; k < kThreads; ++k) {
    threads.emplace_back([&, k] {
      tids[static_cast<size_t>(k)] = platform::CurrentThreadId();
      ++nStarted;
      while (nStarted.load() < kThreads) std::this_thread::yield();
      for (int i = 0; i < kPerThread; ++i) {
        const std::u16string name = NameOf(k, i);
        _Message_AddInfo info = MakeAddInfo(name, name);
        if (api.AddMessage(T(u"Load").c_str(), &info) != 1) ++nBadResults;
      }
      // Every thread stays alive until all are done, so that no thread ID can be handed out twice.
      ++nFinished;
      while (nFinished.load() < kThreads) std::this_thread::yield();
    });
  }
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(nBadResults.load(), 0);
  ASSERT_EQ(std::set<uint32_t>(tids.begin(), tids.end()).size(), static_cast<size_t>(kThreads));

  // Each thread's lines, in the order the file holds them, are its adds one after the other, whole.
  const std::vector<TraceLine> lines = TraceLines();
  ASSERT_EQ(lines.size(), static_cast<size_t>(4 * kTotal));
  std::map<uint32_t, std::vector<const TraceLine*>> byThread;
  for (const TraceLine& line : lines) byThread[line.nThreadId].push_back(&line);
  ASSERT_EQ(byThread.size(), static_cast<size_t>(kThreads));
  std::map<int32_t, std::u16string> nameById;
  for (int k = 0; k < kThreads; ++k) {
    const std::vector<const TraceLine*>& own = byThread[tids[static_cast<size_t>(k)]];
    ASSERT_EQ(own.size(), static_cast<size_t>(4 * kPerThread)) << "thread " << k;
    int32_t dwLastId = -1;
    for (int i = 0; i < kPerThread; ++i) {
      const std::string name = Narrow(NameOf(k, i));
      const TraceLine* const* p = &own[static_cast<size_t>(4 * i)];
      ASSERT_EQ(p[0]->strText,
                "Enter Fun AddMessage, lpMsgSpanName is Load, wszMsgName is " + name + ",strMsgSInfo is " +
                    name +
                    ", strMsgEchoPath is , ShowType is 1, bSaveAfterClose is 1,dwPopShowTimeout is 30");
      int32_t dwMsgID = -1;
      ASSERT_EQ(std::sscanf(p[1]->strText.c_str(), "Enter Fun PfnEventCallback, dwMsgID is %d, nAddType is 0",
                            &dwMsgID),
                1)
          << p[1]->strText;
      ASSERT_EQ(p[1]->strText,
                "Enter Fun PfnEventCallback, dwMsgID is " + std::to_string(dwMsgID) + ", nAddType is 0");
      ASSERT_EQ(p[2]->strText, "Exit Fun PfnEventCallback");
      ASSERT_EQ(p[3]->strText, AddExit(dwMsgID, 1));
      ASSERT_GT(dwMsgID, dwLastId) << "one thread's messages get increasing IDs";
      dwLastId = dwMsgID;
      ASSERT_TRUE(nameById.emplace(dwMsgID, NameOf(k, i)).second) << "ID " << dwMsgID << " given out twice";
    }
  }

  // The IDs are 0 to N-1, and each holds the message the trace says it was given to.
  ASSERT_EQ(nameById.size(), static_cast<size_t>(kTotal));
  EXPECT_EQ(nameById.begin()->first, 0);
  EXPECT_EQ(nameById.rbegin()->first, kTotal - 1);
  for (const auto& entry : nameById) {
    _Message_GetInfo got = Get(entry.first);
    ASSERT_EQ(InfoText(got), entry.second) << "message " << entry.first;
  }
}

}  // namespace
}  // namespace test
}  // namespace tidings
