// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

// The subscriber registry: handles, removal, order of the registrations, and the announcement of the
// first existing message that a subscription can ask for.

#include <cinttypes>
#include <cstdio>
#include <string>
#include <vector>

#include "change_recorder.h"
#include "client_fixture.h"

namespace tidings {
namespace test {
namespace {

// The callback's address as the trace prints it: upper-case hexadecimal, all its digits, no zeros before.
std::string AddressText(MSGEVENTPROC pfn) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%llX", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(pfn)));
  return buf;
}

std::string Hex(uint32_t n) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%" PRIX32, n);
  return buf;
}

void Append(std::vector<std::string>* to, const std::vector<std::string>& lines) {
  to->insert(to->end(), lines.begin(), lines.end());
}

// The lines of one MSGGOV_Subscribe, with the lines of its notification, if any, in between.
std::vector<std::string> SubscribeLines(const std::string& span, MSGEVENTPROC pfn, int32_t bOld,
                                        uint32_t hHandle, const std::vector<std::string>& notification = {}) {
  std::vector<std::string> lines = {
      "Enter Fun Subscribe, bSubscribeOld is " + std::to_string(bOld),
      "Enter Fun AddSubscribeEvent, strMsgSpanName is " + span + ", pMsgTran is 0X" + AddressText(pfn),
      "Exit  Fun AddSubscribeEvent, Handle is 0X" + Hex(hHandle)};
  Append(&lines, notification);
  lines.push_back("Exit  Fun Subscribe, hHandle is 0X" + Hex(hHandle));
  return lines;
}

// The lines of one MSGGOV_UNSubscribe; nIndex -1 when no registration held the handle.
std::vector<std::string> UnsubscribeLines(uint32_t hHandle, int nIndex) {
  std::vector<std::string> lines = {"Enter Fun UNSubscribe, hHandle is 0X" + Hex(hHandle),
                                    "Enter Fun DelSubscribeEvent, hEvent is 0X" + Hex(hHandle)};
  if (nIndex >= 0) lines.push_back("--Item is Delete, Index is " + std::to_string(nIndex));
  const std::string bRet = nIndex >= 0 ? "1" : "0";
  lines.push_back("Exit  Fun DelSubscribeEvent, bRet is " + bRet);
  lines.push_back("Exit  Fun UNSubscribe, Ret is " + bRet);
  return lines;
}

// A notification's lines, with the Begin and Finish lines of the given subscriber indexes.
std::vector<std::string> NotifyLines(int32_t dwMsgID, int32_t nAddType, const std::vector<int>& indexes) {
  std::vector<std::string> lines = {"Enter Fun PfnEventCallback, dwMsgID is " + std::to_string(dwMsgID) +
                                    ", nAddType is " + std::to_string(nAddType)};
  for (int i : indexes) {
    lines.push_back("--Begin  Call " + std::to_string(i) + "'s pEventCallback");
    lines.push_back("--Finish Call " + std::to_string(i) + "'s pEventCallback");
  }
  lines.push_back("Exit Fun PfnEventCallback");
  return lines;
}

class SubscribeTest : public ClientTest {
 protected:
  int32_t Subscribe(const std::u16string& span, MSGEVENTPROC pfn, int32_t bOld = 0) {
    return api.Subscribe(T(span).c_str(), pfn, bOld);
  }
};

TEST_F(SubscribeTest, HandlesCountFromOneAndAreNeverGivenOutAgain) {
  LoadLibrary();
  EXPECT_EQ(Subscribe(u"Mail", &OnA), 1);
  EXPECT_EQ(TraceTexts(), SubscribeLines("Mail", &OnA, 0, 1));

  ClearTrace();
  EXPECT_EQ(api.UNSubscribe(1), 1);
  EXPECT_EQ(api.UNSubscribe(1), 1);
  std::vector<std::string> expected = UnsubscribeLines(1, 0);
  Append(&expected, UnsubscribeLines(1, -1));
  EXPECT_EQ(TraceTexts(), expected);

  // The second subscription gets 2 although 1 is free again; the tenth prints as 0XA.
  ClearTrace();
  EXPECT_EQ(Subscribe(u"Chat", &OnB), 1);
  EXPECT_EQ(TraceTexts(), SubscribeLines("Chat", &OnB, 0, 2));
  for (uint32_t h = 3; h <= 9; ++h) Subscribe(u"Chat", &OnB);
  ClearTrace();
  EXPECT_EQ(Subscribe(u"Chat", &OnB), 1);
  EXPECT_EQ(TraceTexts(), SubscribeLines("Chat", &OnB, 0, 10));

  // Handles never issued; then handle 10, which stands at index 8 behind 2..9.
  ClearTrace();
  EXPECT_EQ(api.UNSubscribe(0), 1);
  EXPECT_EQ(api.UNSubscribe(0xAB), 1);
  EXPECT_EQ(api.UNSubscribe(10), 1);
  expected = UnsubscribeLines(0, -1);
  Append(&expected, UnsubscribeLines(0xAB, -1));
  Append(&expected, UnsubscribeLines(10, 8));
  EXPECT_EQ(TraceTexts(), expected);

  // Eight registrations of OnB are left (2..9): each is called once.
  Add(u"Mail", u"Inbox");
  EXPECT_EQ(Changes(), std::vector<Change>(8, Change{'B', 0, ADDTYPE_NEW}));
}

TEST_F(SubscribeTest, RemovingTheMiddleOfThreeKeepsTheOthersInTheirOrder) {
  LoadLibrary();
  Subscribe(u"a", &OnA);
  Subscribe(u"b", &OnB);
  Subscribe(u"c", &OnC);
  ClearTrace();
  api.UNSubscribe(2);
  EXPECT_EQ(TraceTexts(), UnsubscribeLines(2, 1));

  ClearTrace();
  Add(u"Mail", u"Inbox");
  EXPECT_EQ(Changes(), (std::vector<Change>{{'A', 0, ADDTYPE_NEW}, {'C', 0, ADDTYPE_NEW}}));
  const std::vector<std::string> texts = TraceTexts();
  ASSERT_EQ(texts.size(), 8u);
  EXPECT_EQ(std::vector<std::string>(texts.begin() + 1, texts.end() - 1),
            NotifyLines(0, ADDTYPE_NEW, {0, 1}));

  ClearTrace();
  api.UNSubscribe(3);
  api.UNSubscribe(1);
  std::vector<std::string> expected = UnsubscribeLines(3, 1);
  Append(&expected, UnsubscribeLines(1, 0));
  EXPECT_EQ(TraceTexts(), expected);
}

TEST_F(SubscribeTest, EachRegistrationOfTheSameCallbackIsCalled) {
  LoadLibrary();
  Subscribe(u"a", &OnA);
  Subscribe(u"b", &OnB);
  Subscribe(u"a", &OnA);
  Add(u"Mail", u"Inbox");
  EXPECT_EQ(Changes(),
            (std::vector<Change>{{'A', 0, ADDTYPE_NEW}, {'B', 0, ADDTYPE_NEW}, {'A', 0, ADDTYPE_NEW}}));

  ClearChanges();
  api.UNSubscribe(1);
  Add(u"Mail", u"Inbox");
  EXPECT_EQ(Changes(), (std::vector<Change>{{'B', 0, ADDTYPE_CHANGE}, {'A', 0, ADDTYPE_CHANGE}}));
}

TEST_F(SubscribeTest, ANullCallbackIsStoredWithAHandleAndPassedOver) {
  LoadLibrary();
  EXPECT_EQ(api.Subscribe(nullptr, nullptr, 0), 1);
  EXPECT_EQ(TraceTexts(), SubscribeLines("", nullptr, 0, 1));
  Subscribe(u"a", &OnA);

  ClearTrace();
  Add(u"Mail", u"Inbox");
  EXPECT_EQ(Changes(), (std::vector<Change>{{'A', 0, ADDTYPE_NEW}}));
  std::vector<std::string> texts = TraceTexts();
  ASSERT_EQ(texts.size(), 6u);
  EXPECT_EQ(std::vector<std::string>(texts.begin() + 1, texts.end() - 1), NotifyLines(0, ADDTYPE_NEW, {1}));

  // It held index 0: removing it moves OnA down.
  ClearTrace();
  api.UNSubscribe(1);
  EXPECT_EQ(TraceTexts(), UnsubscribeLines(1, 0));
  ClearTrace();
  Add(u"Mail", u"Inbox");
  texts = TraceTexts();
  ASSERT_EQ(texts.size(), 6u);
  EXPECT_EQ(std::vector<std::string>(texts.begin() + 1, texts.end() - 1),
            NotifyLines(0, ADDTYPE_CHANGE, {0}));
}

TEST_F(SubscribeTest, SubscribeOldOverEmptyListsAnnouncesNothing) {
  LoadLibrary();
  EXPECT_EQ(Subscribe(u"Mail", &OnA, 1), 1);
  EXPECT_EQ(TraceTexts(), SubscribeLines("Mail", &OnA, 1, 1));

  // Emptied again after an add: still nothing to announce.
  Add(u"Mail", u"Inbox");
  api.DeleteMessageFromID(0);
  ClearChanges();
  ClearTrace();
  Subscribe(u"Mail", &OnB, 1);
  EXPECT_EQ(TraceTexts(), SubscribeLines("Mail", &OnB, 1, 2));
  EXPECT_TRUE(Changes().empty());
}

TEST_F(SubscribeTest, SubscribeOldAnnouncesTheFirstDynamicMessageToEverySubscriber) {
  LoadLibrary();
  Subscribe(u"a", &OnA);
  Subscribe(u"b", &OnB);
  Add(u"Mail", u"Inbox");
  Add(u"Mail", u"Outbox");
  Add(u"Mail", u"Drafts");
  api.DeleteMessageFromID(0);

  ClearChanges();
  ClearTrace();
  // Any non-zero value asks for it; only the first message is announced, once, the earlier ones first.
  EXPECT_EQ(Subscribe(u"c", &OnC, 7), 1);
  EXPECT_EQ(TraceTexts(), SubscribeLines("c", &OnC, 7, 3, NotifyLines(1, ADDTYPE_NEW, {0, 1, 2})));
  EXPECT_EQ(Changes(),
            (std::vector<Change>{{'A', 1, ADDTYPE_NEW}, {'B', 1, ADDTYPE_NEW}, {'C', 1, ADDTYPE_NEW}}));
}

// Needs the message file loaded by MsgGovInitial.
TEST_F(SubscribeTest, SubscribeOldOverADefaultOnlyStoreAnnouncesMinusTwo) {
  WriteMsgFile(
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Root><MsgList><DefaultMsg>"
      "<Message MsgSpan=\"Sys\" MsgName=\"a\" MsgSInfo=\"one\" MsgEchoPath=\"\" ShowType=\"0\" "
      "ShowTime=\"30\"/>"
      "<Message MsgSpan=\"Sys\" MsgName=\"b\" MsgSInfo=\"two\" MsgEchoPath=\"\" ShowType=\"0\" "
      "ShowTime=\"30\"/>"
      "</DefaultMsg><DynamicMsg></DynamicMsg></MsgList></Root>");
  ASSERT_EQ(Restart(), 1);

  ClearTrace();
  Subscribe(u"Mail", &OnA, 1);
  EXPECT_EQ(TraceTexts(), SubscribeLines("Mail", &OnA, 1, 1, NotifyLines(-2, ADDTYPE_NEW, {0})));
  EXPECT_EQ(Changes(), (std::vector<Change>{{'A', -2, ADDTYPE_NEW}}));

  // Once the dynamic list holds a message, that one is announced instead.
  Add(u"Mail", u"Inbox");
  ClearChanges();
  Subscribe(u"Mail", &OnB, 1);
  EXPECT_EQ(Changes(), (std::vector<Change>{{'A', 0, ADDTYPE_NEW}, {'B', 0, ADDTYPE_NEW}}));
}

}  // namespace
}  // namespace test
}  // namespace tidings
