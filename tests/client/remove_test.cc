// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

// Removing messages by span and name or by ID, and marking a message's popup as shown.

#include <cstring>
#include <string>
#include <vector>

#include "change_recorder.h"
#include "client_fixture.h"

namespace tidings {
namespace test {
namespace {

std::string MessageElement(const std::string& span, const std::string& name, const std::string& info) {
  return "<Message MsgSpan=\"" + span + "\" MsgName=\"" + name + "\" MsgSInfo=\"" + info +
         "\" MsgEchoPath=\"\" ShowType=\"0\" ShowTime=\"30\"/>";
}

std::string MsgFile(const std::string& defaults, const std::string& dynamics) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Root><MsgList><DefaultMsg>" + defaults +
         "</DefaultMsg><DynamicMsg>" + dynamics + "</DynamicMsg></MsgList></Root>";
}

class RemoveTest : public ClientTest {
 protected:
  void Delete(const std::u16string& span, const std::u16string& name) {
    EXPECT_EQ(api.DeleteMessage(T(span).c_str(), T(name).c_str()), 1);
  }
  // The IDs of the dynamic list in its order, walked from `dwFirst` until the walk comes back.
  std::vector<int32_t> Walk(int32_t dwFirst) {
    std::vector<int32_t> ids;
    _Message_GetInfo rec;
    if (api.GetMessage(dwFirst, &rec) == 0) return ids;
    int32_t dwId = dwFirst;
    do {
      ids.push_back(dwId);
      int32_t dwNext = -1;
      if (api.GetNextMessage(dwId, &dwNext, &rec) == 0 || ids.size() > 100) break;
      dwId = dwNext;
    } while (dwId != dwFirst);
    return ids;
  }
  std::u16string TextOf(int32_t dwMsgID) {
    _Message_GetInfo rec;
    std::memset(&rec, 0, sizeof rec);
    if (api.GetMessage(dwMsgID, &rec) == 0) return u"<none>";
    std::u16string text;
    for (size_t i = 0; i < 1024 && rec.strMsgSInfo[i] != 0; ++i)
      text.push_back(static_cast<char16_t>(rec.strMsgSInfo[i]));
    return text;
  }
};

TEST_F(RemoveTest, DeletingWhatMatchesNothingChangesNothing) {
  LoadLibrary();
  Add(u"Mail", u"Inbox", u"in");
  Add(u"Chat", u"Outbox", u"out");
  api.Subscribe(T(u"Mail").c_str(), &RecordChange, 0);
  ClearTrace();
  // Span and name must both match, each as a whole.
  Delete(u"Mail", u"Outbox");
  Delete(u"Chat", u"Inbox");
  Delete(u"Mail", u"Inbo");
  Delete(u"Mai", u"Inbox");
  Delete(u"Mail", u"Inbox ");
  const std::vector<std::string> texts = TraceTexts();
  ASSERT_EQ(texts.size(), 10u);
  EXPECT_EQ(texts[0], "Enter Fun DeleteMessage, lpMsgSpanName is Mail, wszMsgName is Outbox,");
  for (size_t k = 1; k < 10; k += 2) EXPECT_EQ(texts[k], "Exit  Fun DeleteMessage, MsgID is -1") << k;
  EXPECT_TRUE(Changes().empty());
  EXPECT_EQ(Walk(0), (std::vector<int32_t>{0, 1}));
  EXPECT_EQ(TextOf(0), u"in");
  EXPECT_EQ(TextOf(1), u"out");
}

TEST_F(RemoveTest, DeletingBySpanAndNameIgnoresCaseAndTheNameIsThenNew) {
  LoadLibrary();
  Add(u"Mail", u"Inbox", u"in");
  Add(u"Mail", u"Outbox", u"out");
  api.Subscribe(T(u"Mail").c_str(), &RecordChange, 0);
  ClearTrace();
  Delete(u"mAIL", u"INBOX");
  const std::vector<std::string> texts = TraceTexts();
  ASSERT_EQ(texts.size(), 6u);
  EXPECT_EQ(texts[0], "Enter Fun DeleteMessage, lpMsgSpanName is mAIL, wszMsgName is INBOX,");
  EXPECT_EQ(texts[1], "Enter Fun PfnEventCallback, dwMsgID is 0, nAddType is 1");
  EXPECT_EQ(texts[5], "Exit  Fun DeleteMessage, MsgID is 0");
  EXPECT_EQ(Changes(), (std::vector<Change>{{0, ADDTYPE_DELETE}}));
  EXPECT_EQ(TextOf(0), u"<none>");
  EXPECT_EQ(Walk(1), (std::vector<int32_t>{1}));

  // The same span and name again make a new message with a new ID.
  ClearChanges();
  Add(u"Mail", u"Inbox", u"again");
  EXPECT_EQ(Changes(), (std::vector<Change>{{2, ADDTYPE_NEW}}));
  EXPECT_EQ(TextOf(0), u"<none>");
  EXPECT_EQ(TextOf(2), u"again");
}

TEST_F(RemoveTest, UnknownNegativeOrDeletedIdsAreNeitherRemovedNorMarked) {
  LoadLibrary();
  Add(u"Mail", u"Inbox");
  Add(u"Mail", u"Outbox");
  api.DeleteMessageFromID(0);
  api.Subscribe(T(u"Mail").c_str(), &RecordChange, 0);
  ClearTrace();
  for (int32_t id : {0, -1, -2, 2}) {
    EXPECT_EQ(api.DeleteMessageFromID(id), 1);
    EXPECT_EQ(api.MessageHasPopup(id), 1);
  }
  std::vector<std::string> expected;
  for (int32_t id : {0, -1, -2, 2}) {
    expected.push_back("Enter Fun DeleteMessageFromID, dwMsgID is " + std::to_string(id) + ",");
    expected.push_back("Exit  Fun DeleteMessageFromID, bDel is 0");
    expected.push_back("Enter Fun MessageHasPopup, dwMsgID is " + std::to_string(id) + ",");
    expected.push_back("Exit  Fun MessageHasPopup, bDel is 0");
  }
  EXPECT_EQ(TraceTexts(), expected);
  EXPECT_TRUE(Changes().empty());
  _Message_GetInfo rec;
  ASSERT_EQ(api.GetMessage(1, &rec), 1);
  EXPECT_EQ(rec.bHasPopup, 0);
}

TEST_F(RemoveTest, MarkingAgainNotifiesAgainAndChangesNothingElse) {
  LoadLibrary();
  Add(u"Mail", u"Inbox", u"in", 4, 40);
  Add(u"Mail", u"Outbox", u"out", 5, 50);
  api.Subscribe(T(u"Mail").c_str(), &RecordChange, 0);
  ClearTrace();
  api.MessageHasPopup(1);
  api.MessageHasPopup(1);
  const std::vector<std::string> texts = TraceTexts();
  ASSERT_EQ(texts.size(), 12u);
  EXPECT_EQ(texts[0], "Enter Fun MessageHasPopup, dwMsgID is 1,");
  EXPECT_EQ(texts[1], "Enter Fun PfnEventCallback, dwMsgID is 1, nAddType is 2");
  EXPECT_EQ(texts[5], "Exit  Fun MessageHasPopup, bDel is 1");
  EXPECT_EQ(texts[11], "Exit  Fun MessageHasPopup, bDel is 1");
  EXPECT_EQ(Changes(), (std::vector<Change>{{1, ADDTYPE_CHANGE}, {1, ADDTYPE_CHANGE}}));

  _Message_GetInfo rec;
  std::memset(&rec, 0, sizeof rec);
  ASSERT_EQ(api.GetMessage(1, &rec), 1);
  EXPECT_EQ(rec.bHasPopup, 1);
  EXPECT_EQ(rec.ShowType, 5);
  EXPECT_EQ(rec.dwPopShowTimeout, 50);
  EXPECT_EQ(TextOf(1), u"out");
  ASSERT_EQ(api.GetMessage(0, &rec), 1);
  EXPECT_EQ(rec.bHasPopup, 0);
}

TEST_F(RemoveTest, AfterDeletingTheFirstOfThreeTheOthersKeepTheirIdsAndOrder) {
  LoadLibrary();
  Add(u"Mail", u"a", u"first");
  Add(u"Mail", u"b", u"second");
  Add(u"Mail", u"c", u"third");
  api.Subscribe(T(u"Mail").c_str(), &RecordChange, 0);
  ClearTrace();
  api.DeleteMessageFromID(0);
  const std::vector<std::string> texts = TraceTexts();
  ASSERT_EQ(texts.size(), 6u);
  EXPECT_EQ(texts[1], "Enter Fun PfnEventCallback, dwMsgID is 0, nAddType is 1");
  EXPECT_EQ(texts[5], "Exit  Fun DeleteMessageFromID, bDel is 1");
  EXPECT_EQ(Changes(), (std::vector<Change>{{0, ADDTYPE_DELETE}}));
  EXPECT_EQ(Walk(1), (std::vector<int32_t>{1, 2}));
  EXPECT_EQ(TextOf(1), u"second");
  EXPECT_EQ(TextOf(2), u"third");
  // IDs are not given out again.
  Add(u"Mail", u"d");
  EXPECT_EQ(Walk(1), (std::vector<int32_t>{1, 2, 3}));
}

// ---- With messages from the message file.

TEST_F(RemoveTest, DefaultMessagesAreNeitherRemovedNorMarked) {
  WriteMsgFile(MsgFile(MessageElement("Sys", "a", "first") + MessageElement("Sys", "b", "second"), ""));
  ASSERT_EQ(Restart(), 1);
  api.Subscribe(T(u"Mail").c_str(), &RecordChange, 0);
  ClearTrace();
  api.DeleteMessageFromID(-3);
  api.MessageHasPopup(-2);
  Delete(u"Sys", u"a");
  EXPECT_EQ(TraceTexts(),
            (std::vector<std::string>{
                "Enter Fun DeleteMessageFromID, dwMsgID is -3,", "Exit  Fun DeleteMessageFromID, bDel is 0",
                "Enter Fun MessageHasPopup, dwMsgID is -2,", "Exit  Fun MessageHasPopup, bDel is 0",
                "Enter Fun DeleteMessage, lpMsgSpanName is Sys, wszMsgName is a,",
                "Exit  Fun DeleteMessage, MsgID is -1"}));
  EXPECT_TRUE(Changes().empty());
  _Message_GetInfo rec;
  ASSERT_EQ(api.GetMessage(-2, &rec), 1);
  EXPECT_EQ(rec.bHasPopup, 0);
  EXPECT_EQ(TextOf(-3), u"second");
}

// Messages with the same span and name, which only the message file can bring in.

TEST_F(RemoveTest, OneDeleteRemovesEveryMessageWithTheSpanAndNameAndReportsTheLastOne) {
  // 0 and 1 stand next to each other, 3 further on; 2 and 4 differ in name.
  WriteMsgFile(MsgFile(MessageElement("Mail", "Inbox", "default"),
                       MessageElement("Mail", "Inbox", "d0") + MessageElement("mail", "INBOX", "d1") +
                           MessageElement("Mail", "Outbox", "d2") + MessageElement("MAIL", "inbox", "d3") +
                           MessageElement("Mail", "Inbox2", "d4")));
  ASSERT_EQ(Restart(), 1);
  api.Subscribe(T(u"Mail").c_str(), &RecordChange, 0);
  ClearTrace();
  Delete(u"Mail", u"Inbox");
  EXPECT_EQ(Changes(), (std::vector<Change>{{3, ADDTYPE_DELETE}}));
  const std::vector<std::string> texts = TraceTexts();
  ASSERT_FALSE(texts.empty());
  EXPECT_EQ(texts.back(), "Exit  Fun DeleteMessage, MsgID is 3");
  EXPECT_EQ(Walk(2), (std::vector<int32_t>{2, 4}));
  // The default message of that span and name stays.
  EXPECT_EQ(TextOf(-2), u"default");
}

TEST_F(RemoveTest, OneAddUpdatesEveryMessageWithTheSpanAndNameAndReportsTheLastOne) {
  WriteMsgFile(MsgFile("", MessageElement("Mail", "Inbox", "d0") + MessageElement("Mail", "Outbox", "d1") +
                               MessageElement("mail", "inbox", "d2")));
  ASSERT_EQ(Restart(), 1);
  api.MessageHasPopup(0);
  api.MessageHasPopup(2);
  api.Subscribe(T(u"Mail").c_str(), &RecordChange, 0);
  ClearTrace();
  Add(u"MAIL", u"INBOX", u"new", 9, 99);
  EXPECT_EQ(Changes(), (std::vector<Change>{{2, ADDTYPE_CHANGE}}));
  const std::vector<std::string> texts = TraceTexts();
  ASSERT_FALSE(texts.empty());
  EXPECT_EQ(texts.back(), "Exit  Fun AddMessage, ID is 2, Is New Msg?0");
  for (int32_t id : {0, 2}) {
    _Message_GetInfo rec;
    ASSERT_EQ(api.GetMessage(id, &rec), 1);
    EXPECT_EQ(TextOf(id), u"new") << id;
    EXPECT_EQ(rec.ShowType, 9) << id;
    EXPECT_EQ(rec.dwPopShowTimeout, 99) << id;
    EXPECT_EQ(rec.bHasPopup, 0) << id;
  }
  EXPECT_EQ(TextOf(1), u"d1");
  EXPECT_EQ(Walk(0), (std::vector<int32_t>{0, 1, 2}));
}

}  // namespace
}  // namespace test
}  // namespace tidings
