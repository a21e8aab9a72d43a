// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

// The trace log: its texts, its line format, its size limit and its silence on failure.

#include <cstdint>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#if !defined(_WIN32)
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "client_fixture.h"
#include "narrow_text.h"
#include "platform/platform.h"

namespace tidings {
namespace test {
namespace {

constexpr uint64_t kMaxFileSize = 10485760;

int g_nCallbacks = 0;

void TIDINGS_CALLBACK CountChange(int32_t /*dwMsgID*/, int32_t /*nAddType*/) { ++g_nCallbacks; }

std::string Hex(uint64_t n) {
  std::string digits;
  do {
    digits.insert(digits.begin(), "0123456789ABCDEF"[n % 16]);
    n /= 16;
  } while (n != 0);
  return digits;
}

// A thread ID as the log writes it: decimal, at least six digits.
std::string TidText(uint32_t nThreadId) {
  std::string digits = std::to_string(nThreadId);
  if (digits.size() < 6) digits.insert(0, 6 - digits.size(), '0');
  return digits;
}

std::string Digits3(int n) {
  std::string digits = std::to_string(n);
  return std::string(3 - digits.size(), '0') + digits;
}

// The size of a line with this text, written by the calling thread.
uint64_t LineSize(const std::string& text) {
  return 4 + TidText(platform::CurrentThreadId()).size() + 2 + 19 + 1 + 3 + 6 + text.size() + 2;
}

struct ExpectedLine {
  uint32_t nThreadId;
  std::string strText;
};

// Compares the whole file with these lines, byte for byte. The time of each line is taken from the file,
// once it has been checked to be a reading between `before` and `after`.
void ExpectTraceIs(const std::string& bytes, const std::vector<ExpectedLine>& expected, int64_t before,
                   int64_t after) {
  const std::vector<TraceLine> lines = ParseTrace(bytes);
  std::vector<std::string> texts;
  std::vector<std::string> expectedTexts;
  for (const TraceLine& line : lines) texts.push_back(line.strText);
  for (const ExpectedLine& line : expected) expectedTexts.push_back(line.strText);
  ASSERT_EQ(texts, expectedTexts);

  std::string expectedBytes;
  for (size_t i = 0; i < lines.size(); ++i) {
    bool bTimeMatches = false;
    for (int64_t t = before; t <= after; ++t) {
      std::u16string timeText;
      ASSERT_TRUE(platform::FormatLocalTime(t, &timeText));
      if (lines[i].strTime == Narrow(timeText) && lines[i].nSecondsMod == static_cast<int>(t % 1000)) {
        bTimeMatches = true;
      }
    }
    EXPECT_TRUE(bTimeMatches) << "line " << i << ": " << lines[i].strTime << "." << lines[i].nSecondsMod;
    expectedBytes += "TID:" + TidText(expected[i].nThreadId) + " [" + lines[i].strTime + "." +
                     Digits3(lines[i].nSecondsMod) + "]     " + expected[i].strText + "\r\n";
  }
  EXPECT_EQ(bytes, expectedBytes);
}

class TraceLogTest : public ClientTest {
 protected:
  void SetUp() override {
    ClientTest::SetUp();
    g_nCallbacks = 0;
  }
};

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

TEST_F(TraceLogTest, EveryExportLeavesItsExactLinesAndNothingElse) {
  LoadLibrary();
  const uint32_t tid = platform::CurrentThreadId();
  const std::string callback = "0X" + Hex(reinterpret_cast<uintptr_t>(&CountChange));
  _Message_GetInfo info;
  int32_t dwNewMsgID = 0;
  const int64_t before = platform::CurrentTimeSeconds();

  ASSERT_EQ(api.Subscribe(T(u"Mail").c_str(), &CountChange, 0), 1);
  Add(u"Mail", u"Inbox", u"3 new");
  ASSERT_EQ(api.Subscribe(nullptr, nullptr, 1), 1);  // announces message 0; the null callback is passed over
  ASSERT_EQ(api.GetMessage(0, &info), 1);
  ASSERT_EQ(api.GetMessage(-1, &info), 0);
  ASSERT_EQ(api.GetNextMessage(0, &dwNewMsgID, &info), 1);
  ASSERT_EQ(api.GetNextMessage(5, &dwNewMsgID, &info), 0);
  ASSERT_EQ(api.MessageHasPopup(0), 1);
  ASSERT_EQ(api.MessageHasPopup(9), 1);
  ASSERT_EQ(api.EchoMsg(0xABCDu, 9, 7), 1);
  ASSERT_EQ(api.EchoMsg(0xFFFFFFFFu, -7, 0), 1);
  ASSERT_EQ(api.DeleteMessage(T(u"mail").c_str(), T(u"inbox").c_str()), 1);
  ASSERT_EQ(api.DeleteMessage(T(u"mail").c_str(), T(u"inbox").c_str()), 1);
  Add(u"Chat", u"Hi", u"x", -2, 5, 0);
  ASSERT_EQ(api.DeleteMessageFromID(1), 1);
  ASSERT_EQ(api.DeleteMessageFromID(1), 1);
  ASSERT_EQ(api.UNSubscribe(2), 1);
  ASSERT_EQ(api.UNSubscribe(0xFFu), 1);
  ASSERT_EQ(api.UNSubscribe(1), 1);
  // Neither of these writes a line.
  ASSERT_EQ(api.Initial(), 1);
  ASSERT_EQ(api.Finish(), 1);
  const int64_t after = platform::CurrentTimeSeconds();

  auto notify = [](int id, int type) {
    return std::vector<std::string>{"Enter Fun PfnEventCallback, dwMsgID is " + std::to_string(id) +
                                        ", nAddType is " + std::to_string(type),
                                    "--Begin  Call 0's pEventCallback", "--Finish Call 0's pEventCallback",
                                    "Exit Fun PfnEventCallback"};
  };
  std::vector<std::string> texts = {
      "Enter Fun Subscribe, bSubscribeOld is 0",
      "Enter Fun AddSubscribeEvent, strMsgSpanName is Mail, pMsgTran is " + callback,
      "Exit  Fun AddSubscribeEvent, Handle is 0X1", "Exit  Fun Subscribe, hHandle is 0X1",
      "Enter Fun AddMessage, lpMsgSpanName is Mail, wszMsgName is Inbox,strMsgSInfo is 3 new, "
      "strMsgEchoPath is , ShowType is 1, bSaveAfterClose is 1,dwPopShowTimeout is 30"};
  auto append = [&texts](const std::vector<std::string>& more) {
    texts.insert(texts.end(), more.begin(), more.end());
  };
  append(notify(0, ADDTYPE_NEW));
  append({"Exit  Fun AddMessage, ID is 0, Is New Msg?1", "Enter Fun Subscribe, bSubscribeOld is 1",
          "Enter Fun AddSubscribeEvent, strMsgSpanName is , pMsgTran is 0X0",
          "Exit  Fun AddSubscribeEvent, Handle is 0X2"});
  append(notify(0, ADDTYPE_NEW));
  append({"Exit  Fun Subscribe, hHandle is 0X2", "Enter Fun GetMessage, dwMsgID is 0",
          "Exit  Fun GetMessage, bRet is 1", "Enter Fun GetMessage, dwMsgID is -1",
          "Exit  Fun GetMessage, bRet is 0", "Enter Fun GetNextMessage, dwMsgID is 0",
          "Exit  Fun GetNextMessage, bRet is 1, dwNewMsgID is 0", "Enter Fun GetNextMessage, dwMsgID is 5",
          "Exit  Fun GetNextMessage, bRet is 0, dwNewMsgID is -1",
          "Enter Fun MessageHasPopup, dwMsgID is 0,"});
  append(notify(0, ADDTYPE_CHANGE));
  append({"Exit  Fun MessageHasPopup, bDel is 1", "Enter Fun MessageHasPopup, dwMsgID is 9,",
          "Exit  Fun MessageHasPopup, bDel is 0", "Enter Fun EchoMsg, h is 0XABCD, MsgID is 9",
          "Exit Fun EchoMsg", "Enter Fun EchoMsg, h is 0XFFFFFFFF, MsgID is -7", "Exit Fun EchoMsg",
          "Enter Fun DeleteMessage, lpMsgSpanName is mail, wszMsgName is inbox,"});
  append(notify(0, ADDTYPE_DELETE));
  append({"Exit  Fun DeleteMessage, MsgID is 0",
          "Enter Fun DeleteMessage, lpMsgSpanName is mail, wszMsgName is inbox,",
          "Exit  Fun DeleteMessage, MsgID is -1",
          "Enter Fun AddMessage, lpMsgSpanName is Chat, wszMsgName is Hi,strMsgSInfo is x, "
          "strMsgEchoPath is , ShowType is -2, bSaveAfterClose is 0,dwPopShowTimeout is 5"});
  append(notify(1, ADDTYPE_NEW));
  append({"Exit  Fun AddMessage, ID is 1, Is New Msg?1", "Enter Fun DeleteMessageFromID, dwMsgID is 1,"});
  append(notify(1, ADDTYPE_DELETE));
  append({"Exit  Fun DeleteMessageFromID, bDel is 1", "Enter Fun DeleteMessageFromID, dwMsgID is 1,",
          "Exit  Fun DeleteMessageFromID, bDel is 0", "Enter Fun UNSubscribe, hHandle is 0X2",
          "Enter Fun DelSubscribeEvent, hEvent is 0X2", "--Item is Delete, Index is 1",
          "Exit  Fun DelSubscribeEvent, bRet is 1", "Exit  Fun UNSubscribe, Ret is 1",
          "Enter Fun UNSubscribe, hHandle is 0XFF", "Enter Fun DelSubscribeEvent, hEvent is 0XFF",
          "Exit  Fun DelSubscribeEvent, bRet is 0", "Exit  Fun UNSubscribe, Ret is 0",
          "Enter Fun UNSubscribe, hHandle is 0X1", "Enter Fun DelSubscribeEvent, hEvent is 0X1",
          "--Item is Delete, Index is 0", "Exit  Fun DelSubscribeEvent, bRet is 1",
          "Exit  Fun UNSubscribe, Ret is 1"});

  std::vector<ExpectedLine> expected;
  for (const std::string& text : texts) expected.push_back({tid, text});
  ExpectTraceIs(TraceBytes(), expected, before, after);
  EXPECT_EQ(g_nCallbacks, 6);
}

TEST_F(TraceLogTest, ALineCarriesTheIdOfTheThreadThatWroteIt) {
  LoadLibrary();
  const uint32_t tidMain = platform::CurrentThreadId();
  uint32_t tidOther = tidMain;
  _Message_GetInfo info;
  const int64_t before = platform::CurrentTimeSeconds();
  api.GetMessage(1, &info);
  std::thread other([&] {
    tidOther = platform::CurrentThreadId();
    api.GetMessage(2, &info);
  });
  other.join();
  api.GetMessage(3, &info);
  const int64_t after = platform::CurrentTimeSeconds();

  ASSERT_NE(tidOther, tidMain);
  ExpectTraceIs(TraceBytes(),
                {{tidMain, "Enter Fun GetMessage, dwMsgID is 1"},
                 {tidMain, "Exit  Fun GetMessage, bRet is 0"},
                 {tidOther, "Enter Fun GetMessage, dwMsgID is 2"},
                 {tidOther, "Exit  Fun GetMessage, bRet is 0"},
                 {tidMain, "Enter Fun GetMessage, dwMsgID is 3"},
                 {tidMain, "Exit  Fun GetMessage, bRet is 0"}},
                before, after);
}

#if !defined(_WIN32)
// The library keeps each thread's ID once asked; a forked child's thread must not write its parent's.
TEST_F(TraceLogTest, AForkedChildWritesItsOwnThreadId) {
  LoadLibrary();
  const uint32_t tidParent = static_cast<uint32_t>(::getpid());  // the main thread's ID
  _Message_GetInfo info;
  const int64_t before = platform::CurrentTimeSeconds();
  api.GetMessage(1, &info);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    api.GetMessage(2, &info);
    ::_exit(0);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  api.GetMessage(3, &info);
  const int64_t after = platform::CurrentTimeSeconds();

  const uint32_t tidChild = static_cast<uint32_t>(child);
  ExpectTraceIs(TraceBytes(),
                {{tidParent, "Enter Fun GetMessage, dwMsgID is 1"},
                 {tidParent, "Exit  Fun GetMessage, bRet is 0"},
                 {tidChild, "Enter Fun GetMessage, dwMsgID is 2"},
                 {tidChild, "Exit  Fun GetMessage, bRet is 0"},
                 {tidParent, "Enter Fun GetMessage, dwMsgID is 3"},
                 {tidParent, "Exit  Fun GetMessage, bRet is 0"}},
                before, after);
}
#endif

TEST_F(TraceLogTest, WithoutAConfigFolderCallsWorkAndNothingIsCreated) {
  LoadLibrary(true, false);
  ASSERT_EQ(api.Subscribe(T(u"Mail").c_str(), &CountChange, 1), 1);
  Add(u"Mail", u"Inbox", u"3 new");
  _Message_GetInfo info;
  std::memset(&info, 0, sizeof info);
  EXPECT_EQ(api.GetMessage(0, &info), 1);
  EXPECT_EQ(info.ShowType, 1);
  int32_t dwNewMsgID = -5;
  EXPECT_EQ(api.GetNextMessage(0, &dwNewMsgID, &info), 1);
  EXPECT_EQ(dwNewMsgID, 0);
  EXPECT_EQ(api.MessageHasPopup(0), 1);
  EXPECT_EQ(api.EchoMsg(1, 0, 0), 1);
  EXPECT_EQ(api.DeleteMessageFromID(0), 1);
  EXPECT_EQ(api.GetMessage(0, &info), 0);
  EXPECT_EQ(api.UNSubscribe(1), 1);
  EXPECT_EQ(g_nCallbacks, 3);  // new, popup, delete

  EXPECT_FALSE(fs::exists(ConfigDir()));
  // The test's directory holds the copy of the library and nothing else.
  std::vector<fs::path> entries;
  for (const fs::directory_entry& entry : fs::directory_iterator(Dir())) entries.push_back(entry.path());
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_TRUE(fs::is_regular_file(entries[0])) << entries[0];
}

TEST_F(TraceLogTest, AFileLargerThanTheLimitIsEmptiedBeforeTheNextLine) {
  LoadLibrary();
  const std::string enter = "Enter Fun DeleteMessageFromID, dwMsgID is 5,";
  const std::string exit = "Exit  Fun DeleteMessageFromID, bDel is 0";
  auto textsOf = [](const std::string& bytes) {
    std::vector<std::string> texts;
    for (const TraceLine& line : ParseTrace(bytes)) texts.push_back(line.strText);
    return texts;
  };

  // The Enter line brings the file to exactly the limit, so the Exit line is appended to it.
  const std::string filler(static_cast<size_t>(kMaxFileSize - LineSize(enter)), 'x');
  WriteFileBytes(TracePath(), filler);
  api.DeleteMessageFromID(5);
  std::string bytes = TraceBytes();
  ASSERT_EQ(bytes.size(), kMaxFileSize + LineSize(exit));
  EXPECT_TRUE(bytes.compare(0, filler.size(), filler) == 0) << "the old content was changed";
  EXPECT_EQ(textsOf(bytes.substr(filler.size())), (std::vector<std::string>{enter, exit}));

  // A file of exactly the limit takes the Enter line, which puts it over: the Exit line empties it.
  WriteFileBytes(TracePath(), std::string(static_cast<size_t>(kMaxFileSize), 'x'));
  api.DeleteMessageFromID(5);
  bytes = TraceBytes();
  ASSERT_EQ(bytes.size(), LineSize(exit));
  EXPECT_EQ(textsOf(bytes), std::vector<std::string>{exit});

  // One byte more, and the Enter line already starts a new file.
  WriteFileBytes(TracePath(), std::string(static_cast<size_t>(kMaxFileSize + 1), 'x'));
  api.DeleteMessageFromID(5);
  bytes = TraceBytes();
  ASSERT_EQ(bytes.size(), LineSize(enter) + LineSize(exit));
  EXPECT_EQ(textsOf(bytes), (std::vector<std::string>{enter, exit}));
}

TEST_F(TraceLogTest, ALongTextIsCutTo1023UnitsBeforeItIsNarrowed) {
  LoadLibrary();
  Add(std::u16string(1500, u'S'), u"Inbox");
  const std::string full = "Enter Fun AddMessage, lpMsgSpanName is " + std::string(1500, 'S') +
                           ", wszMsgName is Inbox,strMsgSInfo is info, strMsgEchoPath is , ShowType is 1, "
                           "bSaveAfterClose is 1,dwPopShowTimeout is 30";
  std::vector<std::string> texts = TraceTexts();
  ASSERT_EQ(texts.size(), 4u);
  EXPECT_EQ(texts[0], full.substr(0, 1023));
  EXPECT_EQ(texts[3], "Exit  Fun AddMessage, ID is 0, Is New Msg?1");

  // The limit counts UTF-16 units, not the bytes they become.
  const std::vector<NarrowSample> samples = NarrowSamples();
  if (samples.empty()) return;
  const NarrowSample& sample = samples[0];
  ASSERT_EQ(sample.text.size(), 1u);
  ClearTrace();
  api.DeleteMessage(T(std::u16string(1500, sample.text[0])).c_str(), T(u"Inbox").c_str());
  texts = TraceTexts();
  ASSERT_EQ(texts.size(), 2u);
  const std::string prefix = "Enter Fun DeleteMessage, lpMsgSpanName is ";
  std::string expected = prefix;
  for (size_t i = prefix.size(); i < 1023; ++i) expected += sample.bytes;
  EXPECT_EQ(texts[0], expected);
}

// A caller's CR LF cannot append a line of its own: each call leaves its own lines only, with the
// control characters written as escapes, and the messages keep their texts as they were given.
TEST_F(TraceLogTest, ACallersLineBreaksCannotForgeALine) {
  LoadLibrary();
  const std::u16string forged = u"\r\nTID:000001 [2026-01-01 00:00:00.000]     Exit Fun EchoMsg\r\n";
  Add(u"Mail" + forged, u"Inbox\n", u"a\x1B[2Jb");
  api.DeleteMessage(T(u"x\r").c_str(), T(u"\u2028").c_str());
  const std::string escaped = "\\x0D\\x0ATID:000001 [2026-01-01 00:00:00.000]     Exit Fun EchoMsg\\x0D\\x0A";
  EXPECT_EQ(
      TraceTexts(),
      (std::vector<std::string>{
          "Enter Fun AddMessage, lpMsgSpanName is Mail" + escaped +
              ", wszMsgName is Inbox\\x0A,strMsgSInfo is a\\x1B[2Jb, strMsgEchoPath is , ShowType is 1, "
              "bSaveAfterClose is 1,dwPopShowTimeout is 30",
          "Enter Fun PfnEventCallback, dwMsgID is 0, nAddType is 0", "Exit Fun PfnEventCallback",
          "Exit  Fun AddMessage, ID is 0, Is New Msg?1",
          "Enter Fun DeleteMessage, lpMsgSpanName is x\\x0D, wszMsgName is \\u2028,",
          "Exit  Fun DeleteMessage, MsgID is -1"}));
  _Message_GetInfo info;
  EXPECT_TRUE(api.GetMessage(0, &info) &&
              std::u16string(info.strMsgSInfo, info.strMsgSInfo + 6) == u"a\x1B[2Jb");
}

TEST_F(TraceLogTest, TextsOutsideAsciiAreWrittenInTheNarrowEncoding) {
  const std::vector<NarrowSample> samples = NarrowSamples();
  if (samples.empty()) GTEST_SKIP() << "the samples are written for ANSI code page 1252";
  LoadLibrary();
  for (const NarrowSample& sample : samples) Add(u"Span", u"A" + sample.text + u"B", u"i");

  std::vector<std::string> enterLines;
  for (const std::string& text : TraceTexts()) {
    if (text.compare(0, 20, "Enter Fun AddMessage") == 0) enterLines.push_back(text);
  }
  ASSERT_EQ(enterLines.size(), samples.size());
  for (size_t i = 0; i < samples.size(); ++i) {
    EXPECT_EQ(enterLines[i], "Enter Fun AddMessage, lpMsgSpanName is Span, wszMsgName is A" +
                                 samples[i].bytes +
                                 "B,strMsgSInfo is i, strMsgEchoPath is , ShowType is 1, bSaveAfterClose is "
                                 "1,dwPopShowTimeout is 30")
        << "sample " << i;
  }
}

}  // namespace
}  // namespace test
}  // namespace tidings
