// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

// Change notification: who is called, in what order, with which trace lines, and what callbacks that
// call back into the library see and do to the pass under way.

#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <ostream>
#include <string>
#include <vector>

#include "change_recorder.h"
#include "client_fixture.h"

namespace tidings {
namespace test {
namespace {

// Every test runs in a process of its own: the callbacks reach the exports and note their calls through
// these.
TidingsApi g_api;
bool g_bArmed = false;  // the next re-entrant callback to run does its one action

bool TakeTurn() {
  const bool bArmed = g_bArmed;
  g_bArmed = false;
  return bArmed;
}

// Once armed, the first of these to run does one thing to the registry; the handle it names is the n-th
// subscription of the test.
void TIDINGS_CALLBACK DropsHandle2(int32_t dwMsgID, int32_t nAddType) {
  NoteChange('X', dwMsgID, nAddType);
  if (TakeTurn()) g_api.UNSubscribe(2);
}
void TIDINGS_CALLBACK DropsHandle1(int32_t dwMsgID, int32_t nAddType) {
  NoteChange('X', dwMsgID, nAddType);
  if (TakeTurn()) g_api.UNSubscribe(1);
}
void TIDINGS_CALLBACK DropsHandle3(int32_t dwMsgID, int32_t nAddType) {
  NoteChange('X', dwMsgID, nAddType);
  if (TakeTurn()) g_api.UNSubscribe(3);
}
void TIDINGS_CALLBACK SubscribesOnD(int32_t dwMsgID, int32_t nAddType) {
  NoteChange('X', dwMsgID, nAddType);
  if (TakeTurn()) g_api.Subscribe(T(u"late").c_str(), &OnD, 0);
}

// Reads the message it is told about.
struct Read {
  int32_t dwMsgID, nAddType, bFound;
  std::u16string text;
  int32_t bHasPopup;
};
std::vector<Read> g_reads;
void TIDINGS_CALLBACK ReadsTheMessage(int32_t dwMsgID, int32_t nAddType) {
  _Message_GetInfo rec;
  std::memset(&rec, 0, sizeof rec);
  Read r{dwMsgID, nAddType, g_api.GetMessage(dwMsgID, &rec), std::u16string(), 0};
  if (r.bFound) {
    for (size_t i = 0; i < 1024 && rec.strMsgSInfo[i] != 0; ++i)
      r.text.push_back(static_cast<char16_t>(rec.strMsgSInfo[i]));
    r.bHasPopup = rec.bHasPopup;
  }
  g_reads.push_back(r);
}

// Told that message 1 is new, deletes message 0.
void TIDINGS_CALLBACK DeletesMessage0(int32_t dwMsgID, int32_t nAddType) {
  NoteChange('X', dwMsgID, nAddType);
  if (dwMsgID == 1 && nAddType == ADDTYPE_NEW) g_api.DeleteMessageFromID(0);
}

std::vector<std::string> Begin(int i) { return {"--Begin  Call " + std::to_string(i) + "'s pEventCallback"}; }
std::vector<std::string> Finish(int i) {
  return {"--Finish Call " + std::to_string(i) + "'s pEventCallback"};
}
std::vector<std::string> Called(int i) { return {Begin(i)[0], Finish(i)[0]}; }
std::vector<std::string> Enter(int32_t dwMsgID, int32_t nAddType) {
  return {"Enter Fun PfnEventCallback, dwMsgID is " + std::to_string(dwMsgID) + ", nAddType is " +
          std::to_string(nAddType)};
}
const std::vector<std::string> kExit = {"Exit Fun PfnEventCallback"};

std::vector<std::string> Join(std::initializer_list<std::vector<std::string>> parts) {
  std::vector<std::string> all;
  for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

class NotifyTest : public ClientTest {
 protected:
  void SetUp() override {
    ClientTest::SetUp();
    g_reads.clear();
    g_bArmed = false;
  }
  void LoadAndShare() {
    LoadLibrary();
    g_api = api;
  }
  void Subscribe(MSGEVENTPROC pfn) { api.Subscribe(T(u"Mail").c_str(), pfn, 0); }
  // The lines between the first and the last line of the trace: the notification of one add.
  std::vector<std::string> InnerTrace() const {
    std::vector<std::string> texts = TraceTexts();
    if (texts.size() < 2) return {};
    return std::vector<std::string>(texts.begin() + 1, texts.end() - 1);
  }
};

TEST_F(NotifyTest, WithoutSubscribersEveryChangeWritesOnlyTheEnterAndExitLines) {
  LoadAndShare();
  Add(u"Mail", u"Inbox");
  Add(u"Mail", u"Inbox");
  api.MessageHasPopup(0);
  api.DeleteMessage(T(u"Mail").c_str(), T(u"Inbox").c_str());
  const std::vector<std::string> texts = TraceTexts();
  ASSERT_EQ(texts.size(), 16u);
  const int32_t nAddType[] = {ADDTYPE_NEW, ADDTYPE_CHANGE, ADDTYPE_CHANGE, ADDTYPE_DELETE};
  for (size_t k = 0; k < 4; ++k) {
    EXPECT_EQ(std::vector<std::string>(texts.begin() + static_cast<std::ptrdiff_t>(4 * k + 1),
                                       texts.begin() + static_cast<std::ptrdiff_t>(4 * k + 3)),
              Join({Enter(0, nAddType[k]), kExit}));
  }
}

TEST_F(NotifyTest, EveryCallbackIsCalledInOrderAndANullOneIsSkippedWithoutATraceLine) {
  LoadAndShare();
  Subscribe(&OnA);
  Subscribe(nullptr);
  Subscribe(&OnC);
  ClearTrace();
  Add(u"Mail", u"Inbox");
  EXPECT_EQ(InnerTrace(), Join({Enter(0, ADDTYPE_NEW), Called(0), Called(2), kExit}));

  Add(u"mail", u"INBOX");
  api.MessageHasPopup(0);
  api.DeleteMessageFromID(0);
  Add(u"Mail", u"Inbox");
  api.DeleteMessage(T(u"MAIL").c_str(), T(u"inbox").c_str());
  const std::vector<Change> expected = {
      {'A', 0, ADDTYPE_NEW},    {'C', 0, ADDTYPE_NEW},    {'A', 0, ADDTYPE_CHANGE}, {'C', 0, ADDTYPE_CHANGE},
      {'A', 0, ADDTYPE_CHANGE}, {'C', 0, ADDTYPE_CHANGE}, {'A', 0, ADDTYPE_DELETE}, {'C', 0, ADDTYPE_DELETE},
      {'A', 1, ADDTYPE_NEW},    {'C', 1, ADDTYPE_NEW},    {'A', 1, ADDTYPE_DELETE}, {'C', 1, ADDTYPE_DELETE}};
  EXPECT_EQ(Changes(), expected);
}

// A callback that changes the registry during a pass ('X', armed for its first call): the subscriptions in
// order, the trace lines of the first pass between its Enter and Exit lines, and who is called in that
// pass and in the next one.
struct ReentrantCase {
  const char* lpName;
  std::vector<MSGEVENTPROC> subscribers;
  std::vector<std::string> firstPassTrace;
  std::vector<Change> firstPass, nextPass;
};
void PrintTo(const ReentrantCase& c, std::ostream* os) { *os << c.lpName; }

std::vector<std::string> Unsubscribed(int nHandle, int nIndex) {
  const std::string h = std::to_string(nHandle);
  return {"Enter Fun UNSubscribe, hHandle is 0X" + h, "Enter Fun DelSubscribeEvent, hEvent is 0X" + h,
          "--Item is Delete, Index is " + std::to_string(nIndex), "Exit  Fun DelSubscribeEvent, bRet is 1",
          "Exit  Fun UNSubscribe, Ret is 1"};
}

std::vector<std::string> SubscribedLate() {
  char address[32];
  std::snprintf(address, sizeof address, "%llX",
                static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(&OnD)));
  return {"Enter Fun Subscribe, bSubscribeOld is 0",
          std::string("Enter Fun AddSubscribeEvent, strMsgSpanName is late, pMsgTran is 0X") + address,
          "Exit  Fun AddSubscribeEvent, Handle is 0X3", "Exit  Fun Subscribe, hHandle is 0X3"};
}

std::vector<ReentrantCase> ReentrantCases() {
  return {
      // The one after it slides past, in this pass only.
      {"UnsubscribingItself",
       {&OnA, &DropsHandle2, &OnB, &OnC},
       Join({Called(0), Begin(1), Unsubscribed(2, 1), Finish(1), Called(2)}),
       {{'A', 0, 0}, {'X', 0, 0}, {'C', 0, 0}},
       {{'A', 1, 0}, {'B', 1, 0}, {'C', 1, 0}}},
      // The next one slides past too.
      {"UnsubscribingAnEarlierOne",
       {&OnA, &DropsHandle1, &OnB, &OnC},
       Join({Called(0), Begin(1), Unsubscribed(1, 0), Finish(1), Called(2)}),
       {{'A', 0, 0}, {'X', 0, 0}, {'C', 0, 0}},
       {{'X', 1, 0}, {'B', 1, 0}, {'C', 1, 0}}},
      // The one dropped (OnC, handle 3) is not called.
      {"UnsubscribingALaterOne",
       {&DropsHandle3, &OnB, &OnC, &OnD},
       Join({Begin(0), Unsubscribed(3, 2), Finish(0), Called(1), Called(2)}),
       {{'X', 0, 0}, {'B', 0, 0}, {'D', 0, 0}},
       {{'X', 1, 0}, {'B', 1, 0}, {'D', 1, 0}}},
      // The new subscription is called later in the same pass.
      {"Subscribing",
       {&SubscribesOnD, &OnB},
       Join({Begin(0), SubscribedLate(), Finish(0), Called(1), Called(2)}),
       {{'X', 0, 0}, {'B', 0, 0}, {'D', 0, 0}},
       {{'X', 1, 0}, {'B', 1, 0}, {'D', 1, 0}}},
  };
}

class NotifyReentrantTest : public NotifyTest, public ::testing::WithParamInterface<ReentrantCase> {};

TEST_P(NotifyReentrantTest, ACallbackChangingTheSubscriptionsActsOnThePassUnderWay) {
  const ReentrantCase& c = GetParam();
  LoadAndShare();
  for (MSGEVENTPROC pfn : c.subscribers) Subscribe(pfn);
  g_bArmed = true;
  ClearTrace();
  Add(u"Mail", u"Inbox");
  EXPECT_EQ(InnerTrace(), Join({Enter(0, ADDTYPE_NEW), c.firstPassTrace, kExit}));
  EXPECT_EQ(Changes(), c.firstPass);

  ClearChanges();
  Add(u"Mail", u"Outbox");
  EXPECT_EQ(Changes(), c.nextPass);
}

INSTANTIATE_TEST_SUITE_P(Callbacks, NotifyReentrantTest, ::testing::ValuesIn(ReentrantCases()),
                         [](const ::testing::TestParamInfo<ReentrantCase>& param) {
                           return std::string(param.param.lpName);
                         });

TEST_F(NotifyTest, ACallbackSeesTheChangeAlreadyMade) {
  LoadAndShare();
  Subscribe(&ReadsTheMessage);
  Add(u"Mail", u"Inbox", u"v1");
  Add(u"MAIL", u"Inbox", u"v2");
  api.MessageHasPopup(0);
  Add(u"Mail", u"Outbox", u"other");
  api.DeleteMessage(T(u"mail").c_str(), T(u"inbox").c_str());
  api.DeleteMessageFromID(1);

  ASSERT_EQ(g_reads.size(), 6u);
  const struct {
    int32_t dwMsgID, nAddType, bFound;
    std::u16string text;
    int32_t bHasPopup;
  } expected[] = {{0, ADDTYPE_NEW, 1, u"v1", 0},    {0, ADDTYPE_CHANGE, 1, u"v2", 0},
                  {0, ADDTYPE_CHANGE, 1, u"v2", 1}, {1, ADDTYPE_NEW, 1, u"other", 0},
                  {0, ADDTYPE_DELETE, 0, u"", 0},   {1, ADDTYPE_DELETE, 0, u"", 0}};
  for (size_t k = 0; k < 6; ++k) {
    EXPECT_EQ(g_reads[k].dwMsgID, expected[k].dwMsgID) << k;
    EXPECT_EQ(g_reads[k].nAddType, expected[k].nAddType) << k;
    EXPECT_EQ(g_reads[k].bFound, expected[k].bFound) << k;
    EXPECT_EQ(g_reads[k].text, expected[k].text) << k;
    EXPECT_EQ(g_reads[k].bHasPopup, expected[k].bHasPopup) << k;
  }
}

TEST_F(NotifyTest, ANestedNotificationRunsToItsEndBeforeTheOuterPassGoesOn) {
  LoadAndShare();
  Add(u"Mail", u"Inbox");
  Subscribe(&DeletesMessage0);
  Subscribe(&OnB);
  ClearTrace();
  Add(u"Mail", u"Outbox");

  const std::vector<std::string> expected = Join({
      {"Enter Fun AddMessage, lpMsgSpanName is Mail, wszMsgName is Outbox,strMsgSInfo is info, "
       "strMsgEchoPath is , ShowType is 1, bSaveAfterClose is 1,dwPopShowTimeout is 30"},
      Enter(1, ADDTYPE_NEW),
      Begin(0),
      {"Enter Fun DeleteMessageFromID, dwMsgID is 0,"},
      Enter(0, ADDTYPE_DELETE),
      Called(0),
      Called(1),
      kExit,
      {"Exit  Fun DeleteMessageFromID, bDel is 1"},
      Finish(0),
      Called(1),
      kExit,
      {"Exit  Fun AddMessage, ID is 1, Is New Msg?1"},
  });
  EXPECT_EQ(TraceTexts(), expected);
  EXPECT_EQ(
      Changes(),
      (std::vector<Change>{
          {'X', 1, ADDTYPE_NEW}, {'X', 0, ADDTYPE_DELETE}, {'B', 0, ADDTYPE_DELETE}, {'B', 1, ADDTYPE_NEW}}));
}

}  // namespace
}  // namespace test
}  // namespace tidings
