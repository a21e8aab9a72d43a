// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

// Reading messages by ID and stepping from one message to the next, seen through the exports, the
// caller's record and the trace log.

#include <cstring>
#include <string>
#include <vector>

#include "client_fixture.h"

namespace tidings {
namespace test {
namespace {

constexpr size_t kRecordUnits = 1024;

_Message_GetInfo Patterned(unsigned char byte) {
  _Message_GetInfo rec;
  std::memset(&rec, byte, sizeof rec);
  return rec;
}

// What a lookup of this message must leave in `before`: the four numbers, the text with its terminator,
// and every other unit of the text field as it was.
_Message_GetInfo Expected(const _Message_GetInfo& before, int32_t dwMsgID, const std::u16string& text,
                          int32_t nShowType, int32_t nTimeout, int32_t bHasPopup) {
  _Message_GetInfo rec = before;
  rec.dwMsgID = dwMsgID;
  const size_t n = text.size() < kRecordUnits - 1 ? text.size() : kRecordUnits - 1;
  for (size_t i = 0; i < n; ++i) rec.strMsgSInfo[i] = static_cast<TIDINGS_WCHAR>(text[i]);
  rec.strMsgSInfo[n] = 0;
  rec.ShowType = nShowType;
  rec.dwPopShowTimeout = nTimeout;
  rec.bHasPopup = bHasPopup;
  return rec;
}

bool SameBytes(const _Message_GetInfo& a, const _Message_GetInfo& b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

std::u16string RecordText(const _Message_GetInfo& rec) {
  std::u16string text;
  for (size_t i = 0; i < kRecordUnits && rec.strMsgSInfo[i] != 0; ++i) {
    text.push_back(static_cast<char16_t>(rec.strMsgSInfo[i]));
  }
  return text;
}

std::string MessageElement(const std::string& span, const std::string& name, const std::string& info,
                           int nShowType, int nShowTime) {
  return "<Message MsgSpan=\"" + span + "\" MsgName=\"" + name + "\" MsgSInfo=\"" + info +
         "\" MsgEchoPath=\"\" ShowType=\"" + std::to_string(nShowType) + "\" ShowTime=\"" +
         std::to_string(nShowTime) + "\"/>";
}

std::string MsgFile(const std::string& defaults, const std::string& dynamics) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Root><MsgList><DefaultMsg>" + defaults +
         "</DefaultMsg><DynamicMsg>" + dynamics + "</DynamicMsg></MsgList></Root>";
}

std::vector<std::string> NextLines(int32_t dwFrom, int32_t bRet, int32_t dwNew) {
  return {"Enter Fun GetNextMessage, dwMsgID is " + std::to_string(dwFrom),
          "Exit  Fun GetNextMessage, bRet is " + std::to_string(bRet) + ", dwNewMsgID is " +
              std::to_string(dwNew)};
}

class LookupTest : public ClientTest {
 protected:
  // Steps once from `dwFrom` and expects `dwWanted`, with the record holding that message's ID.
  void ExpectNext(int32_t dwFrom, int32_t dwWanted) {
    _Message_GetInfo rec = Patterned(0xEE);
    int32_t dwNew = 12345;
    EXPECT_EQ(api.GetNextMessage(dwFrom, &dwNew, &rec), 1) << "from " << dwFrom;
    EXPECT_EQ(dwNew, dwWanted) << "from " << dwFrom;
    EXPECT_EQ(rec.dwMsgID, dwWanted) << "from " << dwFrom;
  }
  // Steps once from `dwFrom` and expects nothing: result 0, -1, and the record untouched.
  void ExpectNoNext(int32_t dwFrom, const _Message_GetInfo& filled) {
    _Message_GetInfo rec = filled;
    int32_t dwNew = 12345;
    EXPECT_EQ(api.GetNextMessage(dwFrom, &dwNew, &rec), 0) << "from " << dwFrom;
    EXPECT_EQ(dwNew, -1) << "from " << dwFrom;
    EXPECT_TRUE(SameBytes(rec, filled)) << "from " << dwFrom;
  }
};

TEST_F(LookupTest, GetMessageCopiesTheFiveFieldsAndLeavesTheRestOfTheTextField) {
  LoadLibrary();
  Add(u"Mail", u"Inbox", u"3 new mails", 7, 45);
  Add(u"Chat", u"Inbox", u"hello", 2, 10);

  // A longer text first, then a shorter one into the same record: the units after the shorter text's
  // terminator still hold the tail of the longer one, and the units after that the caller's pattern.
  _Message_GetInfo rec = Patterned(0xA5);
  ASSERT_EQ(api.GetMessage(0, &rec), 1);
  _Message_GetInfo expected = Expected(Patterned(0xA5), 0, u"3 new mails", 7, 45, 0);
  EXPECT_TRUE(SameBytes(rec, expected));
  ClearTrace();
  ASSERT_EQ(api.GetMessage(1, &rec), 1);
  expected = Expected(expected, 1, u"hello", 2, 10, 0);
  EXPECT_TRUE(SameBytes(rec, expected));
  EXPECT_EQ(TraceTexts(), (std::vector<std::string>{"Enter Fun GetMessage, dwMsgID is 1",
                                                    "Exit  Fun GetMessage, bRet is 1"}));

  // The popup flag: set by the marking, on that message alone; cleared by the next update.
  api.MessageHasPopup(1);
  ASSERT_EQ(api.GetMessage(1, &rec), 1);
  EXPECT_EQ(rec.bHasPopup, 1);
  ASSERT_EQ(api.GetMessage(0, &rec), 1);
  EXPECT_EQ(rec.bHasPopup, 0);
  Add(u"CHAT", u"inbox", u"bye", 3, 11);
  ASSERT_EQ(api.GetMessage(1, &rec), 1);
  EXPECT_EQ(rec.dwMsgID, 1);
  EXPECT_EQ(RecordText(rec), u"bye");
  EXPECT_EQ(rec.ShowType, 3);
  EXPECT_EQ(rec.dwPopShowTimeout, 11);
  EXPECT_EQ(rec.bHasPopup, 0);

  ClearTrace();
  EXPECT_EQ(api.GetMessage(-1, &rec), 0);
  EXPECT_EQ(api.GetMessage(2, &rec), 0);
  EXPECT_EQ(TraceTexts(), (std::vector<std::string>{
                              "Enter Fun GetMessage, dwMsgID is -1", "Exit  Fun GetMessage, bRet is 0",
                              "Enter Fun GetMessage, dwMsgID is 2", "Exit  Fun GetMessage, bRet is 0"}));
}

TEST_F(LookupTest, StepsThroughTheDynamicListInItsOrderAndWrapsAround) {
  LoadLibrary();
  for (int i = 0; i < 10; ++i) {
    const std::u16string digit(1, static_cast<char16_t>(u'0' + i));
    Add(u"Span", u"m" + digit, u"info " + digit, i, 100 + i);
  }
  for (int32_t id : {0, 1, 2, 3, 4, 6, 8}) api.DeleteMessageFromID(id);
  // An update keeps the message's place.
  Add(u"Span", u"m7", u"seven", 70, 700);

  ClearTrace();
  const struct {
    int32_t dwFrom, dwNext;
    std::u16string text;
    int32_t nShowType, nTimeout;
  } steps[] = {{5, 7, u"seven", 70, 700}, {7, 9, u"info 9", 9, 109}, {9, 5, u"info 5", 5, 105}};
  std::vector<std::string> expectedTrace;
  for (const auto& step : steps) {
    _Message_GetInfo rec = Patterned(0x11);
    int32_t dwNew = 12345;
    EXPECT_EQ(api.GetNextMessage(step.dwFrom, &dwNew, &rec), 1);
    EXPECT_EQ(dwNew, step.dwNext);
    EXPECT_TRUE(
        SameBytes(rec, Expected(Patterned(0x11), step.dwNext, step.text, step.nShowType, step.nTimeout, 0)))
        << "from " << step.dwFrom;
    for (const std::string& line : NextLines(step.dwFrom, 1, step.dwNext)) expectedTrace.push_back(line);
  }
  EXPECT_EQ(TraceTexts(), expectedTrace);

  // A list of one is its own successor.
  api.DeleteMessageFromID(7);
  api.DeleteMessageFromID(9);
  ExpectNext(5, 5);
}

TEST_F(LookupTest, FailedLookupsLeaveTheWholeRecordAsItWas) {
  LoadLibrary();
  // Both lists empty.
  const _Message_GetInfo pattern = Patterned(0x3C);
  ClearTrace();
  ExpectNoNext(0, pattern);
  EXPECT_EQ(TraceTexts(), NextLines(0, 0, -1));
  ExpectNoNext(-1, pattern);
  ExpectNoNext(-2, pattern);
  for (int32_t id : {0, -1, -2}) {
    _Message_GetInfo rec = pattern;
    EXPECT_EQ(api.GetMessage(id, &rec), 0);
    EXPECT_TRUE(SameBytes(rec, pattern)) << id;
  }

  // A record that an earlier call filled.
  Add(u"Mail", u"Inbox", u"a text of some length");
  Add(u"Mail", u"Outbox", u"short");
  api.DeleteMessageFromID(0);
  _Message_GetInfo filled = Patterned(0x00);
  ASSERT_EQ(api.GetMessage(1, &filled), 1);
  for (int32_t id : {0, -1, -2, 2}) {
    _Message_GetInfo rec = filled;
    EXPECT_EQ(api.GetMessage(id, &rec), 0);
    EXPECT_TRUE(SameBytes(rec, filled)) << id;
  }
  // 0 is no longer in the dynamic list and the default list is empty, so there is no crossing either.
  ExpectNoNext(0, filled);
  ExpectNoNext(-1, filled);
  ExpectNoNext(100, filled);
}

// ---- Lists filled from the message file at start-up.

TEST_F(LookupTest, DefaultListStepsInFileOrderAndIsEnteredAfterMinusTwo) {
  WriteMsgFile(MsgFile(MessageElement("Sys", "a", "first", 0, 30) +
                           MessageElement("Sys", "b", "second", 1, 31) +
                           MessageElement("Sys", "c", "third", 2, 32),
                       ""));
  ASSERT_EQ(Restart(), 1);

  _Message_GetInfo rec = Patterned(0x5A);
  ASSERT_EQ(api.GetMessage(-2, &rec), 1);
  EXPECT_TRUE(SameBytes(rec, Expected(Patterned(0x5A), -2, u"first", 0, 30, 0)));
  ASSERT_EQ(api.GetMessage(-4, &rec), 1);
  EXPECT_TRUE(SameBytes(rec, Expected(Patterned(0x5A), -4, u"third", 2, 32, 0)));
  EXPECT_EQ(api.GetMessage(-1, &rec), 0);
  EXPECT_EQ(api.GetMessage(-5, &rec), 0);
  EXPECT_EQ(api.GetMessage(0, &rec), 0);

  ExpectNext(-2, -3);
  ExpectNext(-3, -4);
  ExpectNext(-4, -2);
  // An ID of 0 or more that is not in the (empty) dynamic list goes on at the successor of -2.
  ClearTrace();
  ExpectNext(100, -3);
  EXPECT_EQ(TraceTexts(), NextLines(100, 1, -3));
  ExpectNext(0, -3);
  ExpectNoNext(-1, Patterned(0x5A));

  Add(u"Mail", u"Inbox", u"dynamic");
  ASSERT_EQ(api.GetMessage(0, &rec), 1);
  EXPECT_EQ(RecordText(rec), u"dynamic");
  // A known dynamic ID stays in its list; nothing leads from the default list into the dynamic one.
  ExpectNext(0, 0);
  ExpectNext(-4, -2);
  ExpectNext(1, -3);
}

TEST_F(LookupTest, ASingleDefaultMessageFollowsEveryUnknownDynamicId) {
  WriteMsgFile(MsgFile(MessageElement("Sys", "only", "the default", 4, 5),
                       MessageElement("Mail", "Inbox", "loaded", 1, 2)));
  ASSERT_EQ(Restart(), 1);

  ExpectNext(0, 0);
  for (int32_t id : {1, 7, 100, INT32_MAX}) ExpectNext(id, -2);
  ExpectNext(-2, -2);
  ExpectNoNext(-3, Patterned(0x42));
  ExpectNoNext(-1, Patterned(0x42));
}

TEST_F(LookupTest, AnOverlongTextFromTheFileIsCutTo1023Units) {
  // 1500 units each; the dynamic one holds a character outside ASCII every 100 units, three bytes in the
  // file and one unit in the record.
  std::string defaultText, dynamicText;
  std::u16string defaultUnits, dynamicUnits;
  for (int i = 0; i < 1500; ++i) {
    const char c = static_cast<char>('A' + i % 26);
    defaultText.push_back(c);
    defaultUnits.push_back(static_cast<char16_t>(c));
    if (i % 100 == 99) {
      dynamicText += "\xE4\xB8\xAD";
      dynamicUnits.push_back(u'\u4E2D');
    } else {
      dynamicText.push_back(static_cast<char>('a' + i % 26));
      dynamicUnits.push_back(static_cast<char16_t>('a' + i % 26));
    }
  }
  WriteMsgFile(MsgFile(MessageElement("Sys", "long", defaultText, 3, 33),
                       MessageElement("Mail", "long", dynamicText, 6, 66)));
  ASSERT_EQ(Restart(), 1);

  // The numbers behind the text field are written too: a text running past its field would show there.
  _Message_GetInfo rec = Patterned(0x99);
  ASSERT_EQ(api.GetMessage(-2, &rec), 1);
  EXPECT_TRUE(SameBytes(rec, Expected(Patterned(0x99), -2, defaultUnits.substr(0, 1023), 3, 33, 0)));
  EXPECT_EQ(rec.strMsgSInfo[1023], 0);

  rec = Patterned(0x99);
  int32_t dwNew = 0;
  ASSERT_EQ(api.GetNextMessage(0, &dwNew, &rec), 1);
  EXPECT_EQ(dwNew, 0);
  EXPECT_TRUE(SameBytes(rec, Expected(Patterned(0x99), 0, dynamicUnits.substr(0, 1023), 6, 66, 0)));
  EXPECT_EQ(RecordText(rec).size(), 1023u);
}

}  // namespace
}  // namespace test
}  // namespace tidings
