// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

// The message file as a client sees it: laid beside the library before MsgGovInitial, the lists read
// through the exports, the file read back after MsgGovFinish.

#include <algorithm>
#include <clocale>
#include <cstring>
#include <iterator>
#include <thread>
#include <tuple>

#include <xercesc/dom/DOM.hpp>
#include <xercesc/framework/MemBufInputSource.hpp>
#include <xercesc/parsers/XercesDOMParser.hpp>
#include <xercesc/util/PlatformUtils.hpp>

#include "file_fault.h"
#include "limit_files.h"
#include "msg_file_support.h"
#include "platform/utf.h"

#if !defined(_WIN32)
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace tidings {
namespace test {
namespace {

using Ids = std::vector<int32_t>;

const char kSkeleton[] = "<Root><MsgList><DynamicMsg/></MsgList></Root>";

// The names of the files in a directory.
std::vector<std::string> FileNames(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// ---- The format, read and written.

TEST_F(MsgFileTest, TheExampleLoadsAndOnlyTheChildrenOfDynamicMsgAreRewritten) {
  const std::string original = FixtureBytes("msg_example.xml");
  ASSERT_EQ(Restart(original), 1);

  _Message_GetInfo info;
  ASSERT_TRUE(Get(-2, &info));
  EXPECT_EQ(info.ShowType, 0);
  EXPECT_EQ(info.dwPopShowTimeout, 30);
  EXPECT_EQ(info.bHasPopup, 0);
  EXPECT_EQ(Info(-2), u"Welcome & <hello>");
  ASSERT_TRUE(Get(0, &info));
  EXPECT_EQ(info.ShowType, 1);
  EXPECT_EQ(info.dwPopShowTimeout, -1);
  EXPECT_EQ(Info(0), u"3 new");
  EXPECT_EQ(IdsInMemory(), (Ids{-2, 0}));

  ASSERT_EQ(api.Finish(), 1);
  EXPECT_EQ(IdsInMemory(), (Ids{-2})) << "the default list is never emptied, the dynamic one always";
  const std::string saved = ReadFileBytes(MsgFilePath());
  const std::vector<SavedElement> messages = SectionElements(saved, "DynamicMsg");
  ASSERT_EQ(messages.size(), 1u) << saved;
  EXPECT_EQ(messages[0].strName, "Message");
  EXPECT_EQ(messages[0].attributes, MessageAttributes("Mail", "Inbox", "3 new", "handlers/mail.dll", 1, -1));
  EXPECT_EQ(AroundSection(saved, "DynamicMsg"), AroundSection(original, "DynamicMsg"));
  EXPECT_FALSE(TraceHasSaveFailure());

  // What the serializer wrote reads back.
  ASSERT_EQ(Restart(), 1);
  EXPECT_EQ(IdsInMemory(), (Ids{-2, 0}));
  ASSERT_TRUE(Get(0, &info));
  EXPECT_EQ(info.dwPopShowTimeout, -1);
  EXPECT_EQ(Info(0), u"3 new");
}

TEST_F(MsgFileTest, SectionNamesMatchInAnyCaseAttributeNamesOnlyExactly) {
  // Also for ASCII letters in a Turkish locale, where towlower takes 'I' to the dotless i.
  if (std::setlocale(LC_ALL, "tr_TR.UTF-8") == nullptr) std::setlocale(LC_ALL, "Turkish");
  WriteMsgFile(
      "<root><msglist><defaultmsg><Message MsgSInfo=\"default\" ShowType=\"4\"/></defaultmsg>"
      "<DYNAMICMSG><Message msgspan=\"Mail\" MsgName=\"Inbox\" msgsinfo=\"lower\" MsgSInfo=\"exact\" "
      "SHOWTIME=\"9\" MsgEchoPath=\"e.dll\"/></DYNAMICMSG></msglist></root>");
  ASSERT_EQ(Restart(), 1);
  EXPECT_EQ(IdsInMemory(), (Ids{-2, 0}));
  EXPECT_EQ(Info(-2), u"default");
  EXPECT_EQ(Info(0), u"exact");
  _Message_GetInfo info;
  ASSERT_TRUE(Get(0, &info));
  EXPECT_EQ(info.dwPopShowTimeout, -1);
  Add(u"", u"INBOX", u"updated");
  EXPECT_EQ(IdsInMemory(), (Ids{-2, 0}));

  ASSERT_EQ(api.Finish(), 1);
  const std::vector<SavedElement> messages = SectionElements(ReadFileBytes(MsgFilePath()), "DYNAMICMSG");
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].attributes, MessageAttributes("", "Inbox", "updated", "", 1, 30));
}

TEST_F(MsgFileTest, ADocumentElementNamedMsgListIsNoSkeleton) {
  const std::string original =
      "<MsgList><DefaultMsg><Message MsgSInfo=\"d\"/></DefaultMsg>"
      "<DynamicMsg><Message MsgSInfo=\"x\"/></DynamicMsg></MsgList>";
  ASSERT_EQ(Restart(original), 1);
  EXPECT_EQ(IdsInMemory(), Ids{});
  Add(u"Mail", u"Inbox");
  ASSERT_EQ(api.Finish(), 1);
  EXPECT_EQ(ReadFileBytes(MsgFilePath()), original);
  EXPECT_EQ(IdsInMemory(), (Ids{0}));
}

TEST_F(MsgFileTest, EveryElementOfTheFirstDynamicMsgIsAMessageAndOnlyElementsTakeIds) {
  const std::string original =
      "<Root>\n  <MsgList>\n    <DynamicMsg>\n      text <!-- a comment --><Message MsgSInfo=\"first\"/>\n"
      "      <?pi data?><![CDATA[ <Message MsgSInfo=\"not one\"/> ]]>\n"
      "      <Note MsgSInfo=\"second\" ShowType=\"2\" Extra=\"dropped\"/>\n"
      "      <Message MsgSInfo=\"third\"><Child/></Message>\n    </DynamicMsg>\n"
      "    <DynamicMsg><Message MsgSInfo=\"in the second section\"/></DynamicMsg>\n  </MsgList>\n</Root>";
  ASSERT_EQ(Restart(original), 1);
  EXPECT_EQ(IdsInMemory(), (Ids{0, 1, 2}));
  EXPECT_EQ(Info(0), u"first");
  EXPECT_EQ(Info(1), u"second");
  EXPECT_EQ(Info(2), u"third");

  ASSERT_EQ(api.Finish(), 1);
  const std::string saved = ReadFileBytes(MsgFilePath());
  const std::vector<SavedElement> messages = SectionElements(saved, "DynamicMsg");
  ASSERT_EQ(messages.size(), 3u) << saved;
  EXPECT_EQ(messages[0].attributes, MessageAttributes("", "", "first", "", 0, -1));
  EXPECT_EQ(messages[1].strName, "Message");
  EXPECT_EQ(messages[1].attributes, MessageAttributes("", "", "second", "", 2, -1));
  EXPECT_EQ(messages[2].attributes, MessageAttributes("", "", "third", "", 2, -1));
  // The second DynamicMsg stands after the first one's end, unchanged.
  EXPECT_EQ(AroundSection(saved, "DynamicMsg"), AroundSection(original, "DynamicMsg"));
}

TEST_F(MsgFileTest, NumberTextsReadAsTheyAlwaysHaveAndAreWrittenInDecimal) {
  ASSERT_EQ(Restart(FixtureBytes("msg_numbers.xml")), 1);
  struct Expected {
    int32_t dwMsgID;
    const char16_t* lpInfo;
    int32_t ShowType;
    int32_t dwPopShowTimeout;
  };
  // A ShowType without a number keeps the one before it in its section; a section's first gets 0.
  const Expected expected[] = {
      {-2, u"d0", 0, 0},  {-3, u"d1", 9, 12}, {0, u"n0", 0, 30},  {1, u"n1", 7, 1000},
      {2, u"n2", 7, -5},  {3, u"n3", 7, -1},  {4, u"n4", 7, -1},  {5, u"n5", 16, -1},
      {6, u"n6", -3, -1}, {7, u"n7", 31, 42}, {8, u"n8", 31, -1},
  };
  EXPECT_EQ(IdsInMemory(), (Ids{-3, -2, 0, 1, 2, 3, 4, 5, 6, 7, 8}));
  for (const Expected& e : expected) {
    SCOPED_TRACE(platform::Utf16ToUtf8Text(e.lpInfo));
    _Message_GetInfo info;
    ASSERT_TRUE(Get(e.dwMsgID, &info));
    EXPECT_EQ(Info(e.dwMsgID), e.lpInfo);
    EXPECT_EQ(info.ShowType, e.ShowType);
    EXPECT_EQ(info.dwPopShowTimeout, e.dwPopShowTimeout);
  }

  ASSERT_EQ(api.Finish(), 1);
  const std::vector<SavedElement> messages = SectionElements(ReadFileBytes(MsgFilePath()), "DynamicMsg");
  ASSERT_EQ(messages.size(), 9u);
  for (size_t i = 0; i < messages.size(); ++i) {
    const Expected& e = expected[i + 2];
    EXPECT_EQ(messages[i].attributes, MessageAttributes("", "", platform::Utf16ToUtf8Text(e.lpInfo), "",
                                                        e.ShowType, e.dwPopShowTimeout));
  }
}

TEST_F(MsgFileTest, EveryLoadAppendsAndAddedMessagesTakeTheNextId) {
  const std::string twins =
      "<DynamicMsg><Message MsgSpan=\"Mail\" MsgName=\"Inbox\" MsgSInfo=\"twin 1\"/>"
      "<Message MsgSpan=\"Mail\" MsgName=\"Inbox\" MsgSInfo=\"twin 2\"/></DynamicMsg>";
  WriteMsgFile(
      "<Root><MsgList><DefaultMsg><Message MsgSInfo=\"a-2\"/><Message MsgSInfo=\"a-3\"/></DefaultMsg>" +
      twins + "</MsgList></Root>");
  ASSERT_EQ(Restart(), 1);
  // The same span and name twice: two messages.
  EXPECT_EQ(IdsInMemory(), (Ids{-3, -2, 0, 1}));
  EXPECT_EQ(Info(0), u"twin 1");
  EXPECT_EQ(Info(1), u"twin 2");

  // Other default texts this time, so the copies can be told apart.
  WriteMsgFile(
      "<Root><MsgList><DefaultMsg><Message MsgSInfo=\"b-2\"/><Message MsgSInfo=\"b-3\"/></DefaultMsg>" +
      twins + "</MsgList></Root>");
  ASSERT_EQ(api.Initial(), 1);
  EXPECT_EQ(IdsInMemory(), (Ids{-3, -2, 0, 1, 2, 3}));
  EXPECT_EQ(Info(2), u"twin 1");
  EXPECT_EQ(Info(3), u"twin 2");
  // The second copy of the defaults follows the first, numbered -2, -3 again.
  EXPECT_EQ(Info(-2), u"a-2");
  int32_t dwNext = 0;
  _Message_GetInfo info;
  ASSERT_EQ(api.GetNextMessage(-3, &dwNext, &info), 1);
  EXPECT_EQ(dwNext, -2);
  EXPECT_EQ(std::u16string(info.strMsgSInfo, info.strMsgSInfo + 3), u"b-2");

  Add(u"Chat", u"Hello", u"added");
  EXPECT_EQ(Info(4), u"added");
  EXPECT_FALSE(Get(5, &info));
}

TEST_F(MsgFileTest, SaveWritesTheFlaggedMessagesInOrderAndEmptiesTheList) {
  const std::string original =
      "<Root><MsgList>\n<DefaultMsg><Message MsgName=\"D\" MsgSInfo=\"default\" MsgSpan=\"S\" "
      "Vendor=\"kept\"/>"
      "</DefaultMsg>\n<DynamicMsg>\n  <!-- nothing yet -->\n</DynamicMsg>\n</MsgList></Root>";
  ASSERT_EQ(Restart(original), 1);
  EXPECT_EQ(IdsInMemory(), (Ids{-2}));
  Add(u"Mail", u"A", u"a & <b>", 3, 15, 1);
  Add(u"Mail", u"B", u"b", 1, 30, 0);
  Add(u"Chat", u"C", u"\"c\"", -4, -1, 1);

  ASSERT_EQ(api.Finish(), 1);
  EXPECT_EQ(IdsInMemory(), (Ids{-2}));
  std::string saved = ReadFileBytes(MsgFilePath());
  const std::vector<SavedElement> messages = SectionElements(saved, "DynamicMsg");
  ASSERT_EQ(messages.size(), 2u) << saved;
  EXPECT_EQ(messages[0].attributes, MessageAttributes("Mail", "A", "a & <b>", "", 3, 15));
  EXPECT_EQ(messages[1].attributes, MessageAttributes("Chat", "C", "\"c\"", "", -4, -1));
  // Default messages are never written into DynamicMsg, and DefaultMsg keeps what the library ignores
  // (its attributes in the serializer's order, so that the text compares).
  EXPECT_EQ(AroundSection(saved, "DynamicMsg"), AroundSection(original, "DynamicMsg"));

  // Nothing left in memory: the second save empties the section.
  ASSERT_EQ(api.Finish(), 1);
  saved = ReadFileBytes(MsgFilePath());
  std::string content = "unread";
  EXPECT_TRUE(SectionContent(saved, "DynamicMsg", &content));
  EXPECT_EQ(content, "");
  EXPECT_EQ(AroundSection(saved, "DynamicMsg"), AroundSection(original, "DynamicMsg"));
}

// An entity reference's content is no child of the element around it: a DynamicMsg or DefaultMsg that an
// entity brings in is not the section, and a save leaves it as it was, reference and all. Only the first
// DefaultMsg counts.
TEST_F(MsgFileTest, ADynamicMsgInsideAnEntityReferenceIsNotTheSection) {
  WriteMsgFile(
      "<!DOCTYPE Root [<!ENTITY inner \"<DynamicMsg><Message MsgSInfo='from the entity'/></DynamicMsg>"
      "<DefaultMsg><Message MsgSInfo='default from the entity'/></DefaultMsg>\">\n"
      "<!ENTITY list \"<MsgList><DynamicMsg><Message MsgSInfo='from the other entity'/></DynamicMsg>"
      "</MsgList>\">]>\n"
      "<Root>&list;<MsgList>&inner;<DynamicMsg><Message MsgSInfo=\"real\"/></DynamicMsg><DefaultMsg>"
      "<Message MsgSInfo=\"real default\"/></DefaultMsg><DefaultMsg><Message/></DefaultMsg></MsgList></Root>");
  ASSERT_EQ(Restart(), 1);
  EXPECT_EQ(IdsInMemory(), (Ids{-2, 0}));
  EXPECT_EQ(Info(0), u"real");
  EXPECT_EQ(Info(-2), u"real default");
  _Message_GetInfo info;
  EXPECT_FALSE(Get(-3, &info));
  Add(u"Mail", u"Inbox", u"added");
  ASSERT_EQ(api.Finish(), 1);
  const std::string saved = ReadFileBytes(MsgFilePath());
  EXPECT_NE(saved.find("<Root>&list;<MsgList>&inner;<DynamicMsg><Message MsgSpan=\"\" MsgName=\"\" "
                       "MsgSInfo=\"real\" MsgEchoPath=\"\" ShowType=\"0\" ShowTime=\"-1\"/><Message "
                       "MsgSpan=\"Mail\" MsgName=\"Inbox\" MsgSInfo=\"added\" MsgEchoPath=\"\""),
            std::string::npos)
      << saved;
}

TEST_F(MsgFileTest, AnEmptyListEmptiesDynamicMsgCommentsIncluded) {
  WriteMsgFile(
      "<Root><MsgList><DynamicMsg><!-- one --><Message MsgSInfo=\"m\"/>\n<?pi?><!-- two --></DynamicMsg>"
      "</MsgList></Root>");
  ASSERT_EQ(Restart(), 1);
  ASSERT_EQ(api.DeleteMessageFromID(0), 1);
  ASSERT_EQ(IdsInMemory(), Ids{});
  ASSERT_EQ(api.Finish(), 1);
  std::string content = "unread";
  EXPECT_TRUE(SectionContent(ReadFileBytes(MsgFilePath()), "DynamicMsg", &content));
  EXPECT_EQ(content, "");
}

TEST_F(MsgFileTest, AfterARestartSavedMessagesComeBackNumberedAfresh) {
  ASSERT_EQ(Restart(kSkeleton), 1);
  Add(u"S", u"a", u"a");
  Add(u"S", u"b", u"b");
  Add(u"S", u"c", u"c");
  Add(u"S", u"d", u"d");
  ASSERT_EQ(api.DeleteMessageFromID(0), 1);
  Add(u"S", u"e", u"e");
  ASSERT_EQ(IdsInMemory(), (Ids{1, 2, 3, 4}));
  ASSERT_EQ(api.Finish(), 1);

  ASSERT_EQ(Restart(), 1);
  EXPECT_EQ(IdsInMemory(), (Ids{0, 1, 2, 3}));
  EXPECT_EQ(Info(0), u"b");
  EXPECT_EQ(Info(1), u"c");
  EXPECT_EQ(Info(2), u"d");
  EXPECT_EQ(Info(3), u"e");
}

// ---- When there is nothing to save into.

struct NoSkeletonCase {
  const char* lpName;
  const char* lpXml;                                // null: no file at all
  enum { kKeep, kDeleteFile, kRemoveConfig } step;  // done between MsgGovInitial and MsgGovFinish
};

void PrintTo(const NoSkeletonCase& c, std::ostream* os) { *os << c.lpName; }

class MsgFileNoSkeletonTest : public MsgFileTest, public ::testing::WithParamInterface<NoSkeletonCase> {};

TEST_P(MsgFileNoSkeletonTest, NothingIsWrittenAndNothingIsLost) {
  const NoSkeletonCase& c = GetParam();
  if (c.lpXml != nullptr) WriteMsgFile(c.lpXml);
  ASSERT_EQ(Restart(), 1);
  if (c.step == NoSkeletonCase::kDeleteFile) fs::remove(MsgFilePath());
  if (c.step == NoSkeletonCase::kRemoveConfig) fs::remove_all(ConfigDir());
  const Ids before = IdsInMemory();
  Add(u"Mail", u"Inbox", u"one");
  Add(u"Mail", u"Outbox", u"two");
  ASSERT_EQ(api.Finish(), 1);

  if (c.step == NoSkeletonCase::kRemoveConfig) {
    EXPECT_FALSE(fs::exists(ConfigDir())) << "the library made a Config directory";
  } else if (c.lpXml == nullptr || c.step == NoSkeletonCase::kDeleteFile) {
    EXPECT_FALSE(fs::exists(MsgFilePath())) << "the library made a message file";
  } else {
    EXPECT_EQ(ReadFileBytes(MsgFilePath()), c.lpXml);
  }
  Ids expected = before;
  const int32_t first = before.empty() || before.back() < 0 ? 0 : before.back() + 1;
  expected.push_back(first);
  expected.push_back(first + 1);
  EXPECT_EQ(IdsInMemory(), expected);
  EXPECT_EQ(Info(first), u"one");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MsgFileNoSkeletonTest,
    ::testing::Values(
        NoSkeletonCase{"NoFile", nullptr, NoSkeletonCase::kKeep},
        NoSkeletonCase{"NoMsgList", "<Root><DynamicMsg/><Other/></Root>", NoSkeletonCase::kKeep},
        NoSkeletonCase{"NoDynamicMsg",
                       "<Root><MsgList><DefaultMsg><Message MsgSInfo=\"d\"/></DefaultMsg></MsgList></Root>",
                       NoSkeletonCase::kKeep},
        NoSkeletonCase{"FileDeletedWhileRunning",
                       "<Root><MsgList><DynamicMsg><Message MsgSInfo=\"m\"/></DynamicMsg></MsgList></Root>",
                       NoSkeletonCase::kDeleteFile},
        NoSkeletonCase{"ConfigDirectoryGoneWhileRunning",
                       "<Root><MsgList><DynamicMsg><Message MsgSInfo=\"m\"/></DynamicMsg></MsgList></Root>",
                       NoSkeletonCase::kRemoveConfig}),
    [](const ::testing::TestParamInfo<NoSkeletonCase>& param) { return std::string(param.param.lpName); });

// ---- Encodings and paths.

class MsgFileUtf16Test : public MsgFileTest, public ::testing::WithParamInterface<bool> {};

TEST_P(MsgFileUtf16Test, IsWrittenBackAsUtf16WithAByteOrderMark) {
  std::string text = FromUtf16LeBytes(FixtureBytes("msg_utf16le.xml").substr(2));
  if (!GetParam()) text = text.substr(text.find("?>") + 2);  // no XML declaration: the BOM alone tells
  WriteMsgFile("\xFF\xFE" + ToUtf16LeBytes(text));
  ASSERT_EQ(Restart(), 1);
  EXPECT_EQ(IdsInMemory(), (Ids{-2, 0}));
  EXPECT_EQ(Info(-2), u"Willkommen, 欢迎");
  EXPECT_EQ(Info(0), u"Größe 3 — 新消息");
  Add(u"Post", u"Neu", u"Ünï 中文 \U0001D11E");

  ASSERT_EQ(api.Finish(), 1);
  const std::string bytes = ReadFileBytes(MsgFilePath());
  ASSERT_GE(bytes.size(), 2u);
  EXPECT_EQ(bytes.substr(0, 2), "\xFF\xFE");
  // Everything but the messages as the file had it, the declaration or its absence included.
  const std::string saved = FromUtf16LeBytes(bytes.substr(2));
  const std::vector<SavedElement> messages = SectionElements(saved, "DynamicMsg");
  ASSERT_EQ(messages.size(), 2u) << saved;
  EXPECT_EQ(messages[0].attributes, MessageAttributes("Post", "Eingang", "Größe 3 — 新消息", "", 1, 10));
  EXPECT_EQ(messages[1].attributes, MessageAttributes("Post", "Neu", "Ünï 中文 \U0001D11E", "", 1, 30));
  EXPECT_EQ(AroundSection(saved, "DynamicMsg"), AroundSection(text, "DynamicMsg"));

  ASSERT_EQ(Restart(), 1);
  EXPECT_EQ(IdsInMemory(), (Ids{-2, 0, 1}));
  EXPECT_EQ(Info(-2), u"Willkommen, 欢迎");
  EXPECT_EQ(Info(1), u"Ünï 中文 \U0001D11E");
}

INSTANTIATE_TEST_SUITE_P(Declaration, MsgFileUtf16Test, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& param) {
                           return std::string(param.param ? "WithDeclaration" : "WithoutDeclaration");
                         });

TEST_F(MsgFileTest, AUtf8FileStaysUtf8) {
  WriteMsgFile(
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Root><MsgList><DynamicMsg>"
      "<Message MsgSInfo=\"Grüße 中文\"/></DynamicMsg></MsgList></Root>\n");
  ASSERT_EQ(Restart(), 1);
  EXPECT_EQ(Info(0), u"Grüße 中文");
  Add(u"Post", u"Neu", u"新 \U0001D11E");
  ASSERT_EQ(api.Finish(), 1);

  const std::string saved = ReadFileBytes(MsgFilePath());
  EXPECT_EQ(saved.rfind("<?xml", 0), 0u) << "neither a byte-order mark nor UTF-16: " << saved;
  EXPECT_NE(saved.substr(0, saved.find("?>")).find("encoding=\"UTF-8\""), std::string::npos) << saved;
  const std::vector<SavedElement> messages = SectionElements(saved, "DynamicMsg");
  ASSERT_EQ(messages.size(), 2u) << saved;
  EXPECT_EQ(messages[0].attributes.at("MsgSInfo"), "Grüße 中文");
  EXPECT_EQ(messages[1].attributes.at("MsgSInfo"), "新 \U0001D11E");
}

TEST_F(MsgFileTest, ALibraryDirectoryNamedOutsideAsciiLoadsAndSaves) {
  UseLibrarySubdirectory(fs::path(u"Nachrichten-Ü-中"));
  ASSERT_EQ(Restart(FixtureBytes("msg_example.xml")), 1);
  EXPECT_EQ(IdsInMemory(), (Ids{-2, 0}));
  Add(u"Chat", u"Hello", u"hi");
  ASSERT_EQ(api.Finish(), 1);
  const std::vector<SavedElement> messages = SectionElements(ReadFileBytes(MsgFilePath()), "DynamicMsg");
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[1].attributes, MessageAttributes("Chat", "Hello", "hi", "", 1, 30));
  EXPECT_TRUE(TraceExists());
}

// ---- A file that loads also saves: the messages read back as saved, the rest of the file as it was.

struct RoundTripCase {
  const char* lpName;
  std::string xml;                      // the file, with a DynamicMsg
  std::vector<std::string> saveTraces;  // the --SaveMsgFile lines the save writes
  // The texts of the messages added, as they read back (as added when empty).
  std::vector<std::u16string> readBack;
  bool bUtf16 = false;  // the file is written as UTF-16LE with a byte-order mark
};

void PrintTo(const RoundTripCase& c, std::ostream* os) { *os << c.lpName; }

RoundTripCase Row(const char* lpName, std::string xml, std::vector<std::string> saveTraces = {},
                  std::vector<std::u16string> readBack = {}, bool bUtf16 = false) {
  return {lpName, std::move(xml), std::move(saveTraces), std::move(readBack), bUtf16};
}

class MsgFileRoundTripTest : public MsgFileTest, public ::testing::WithParamInterface<RoundTripCase> {};

// Texts a file would not choose: markup, references, white space the parser folds, pairs.
const std::u16string kAddedTexts[] = {
    u"a & b < c > \"d\" 'e' ]]> &amp; %pe; <!-- x -->",
    u"  tab\tline\ncrlf\r\n  two  spaces \u0085\u2028 \U0001D11E 中文  ",
};

// The first dynamic message is deleted and two are added; the save writes them in the file's encoding
// and touches nothing outside DynamicMsg. A second save of the same messages writes the same bytes.
TEST_P(MsgFileRoundTripTest, SavesWhatItLoadedAndLeavesTheRestAsItWas) {
  const RoundTripCase& c = GetParam();
  auto text = [&c](const std::string& bytes) { return c.bUtf16 ? FromUtf16LeBytes(bytes.substr(2)) : bytes; };
  ASSERT_EQ(Restart(c.bUtf16 ? "\xFF\xFE" + ToUtf16LeBytes(c.xml) : c.xml), 1);
  std::vector<std::u16string> expected;
  Ids defaults;
  const Ids loaded = IdsInMemory();
  for (int32_t dwMsgID : loaded) {
    if (dwMsgID < 0) defaults.push_back(dwMsgID);
    if (dwMsgID > 0) expected.push_back(Info(dwMsgID));
  }
  if (!loaded.empty() && loaded.back() >= 0) {
    ASSERT_EQ(api.DeleteMessageFromID(0), 1);
  }
  for (size_t i = 0; i < std::size(kAddedTexts); ++i) {
    Add(u"Span", platform::Utf8ToUtf16("added " + std::to_string(i)), kAddedTexts[i]);
    expected.push_back(c.readBack.empty() ? kAddedTexts[i] : c.readBack[i]);
  }
  std::vector<std::u16string> defaultTexts;
  for (int32_t dwMsgID : defaults) defaultTexts.push_back(Info(dwMsgID));
  ASSERT_EQ(api.Finish(), 1);
  std::vector<std::string> traces;
  for (const std::string& line : TraceTexts()) {
    if (line.rfind("--SaveMsgFile", 0) == 0) traces.push_back(line);
  }
  EXPECT_EQ(traces, c.saveTraces);
  const std::string saved = ReadFileBytes(MsgFilePath());
  EXPECT_EQ(AroundSection(text(saved), "DynamicMsg"), AroundSection(c.xml, "DynamicMsg"));

  ASSERT_EQ(Restart(std::nullopt, /*bTraceOn=*/false), 1);
  Ids ids = defaults;
  for (size_t i = 0; i < expected.size(); ++i) ids.push_back(static_cast<int32_t>(i));
  ASSERT_EQ(IdsInMemory(), ids);
  for (size_t i = 0; i < defaults.size(); ++i) EXPECT_EQ(Info(defaults[i]), defaultTexts[i]);
  for (size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(Info(static_cast<int32_t>(i)), expected[i]) << i;
  ASSERT_EQ(api.Finish(), 1);
  EXPECT_EQ(ReadFileBytes(MsgFilePath()), saved);
}

// A file of the skeleton with two dynamic messages, its internal subset `subset` (if any) and `content`
// in its document element.
std::string SkeletonWith(const std::string& subset, const std::string& content = "") {
  return "<?xml version=\"1.0\"?>\n" + (subset.empty() ? "" : "<!DOCTYPE Root [" + subset + "]>\n") +
         "<Root>" + content +
         "<MsgList><DefaultMsg><Message MsgSInfo=\"default\"/></DefaultMsg><DynamicMsg><Message "
         "MsgSInfo=\"first\"/>\n<Message MsgSInfo=\"second\"/></DynamicMsg></MsgList></Root>\n";
}

const std::string kSections =
    "<DefaultMsg><Message MsgSInfo=\"d\"/></DefaultMsg><DynamicMsg><Message MsgSInfo=\"one\"/>"
    "<Message MsgSInfo=\"two\"/></DynamicMsg>";

INSTANTIATE_TEST_SUITE_P(
    Files, MsgFileRoundTripTest,
    ::testing::Values(
        // The internal subset, which the DOM would rebuild wrongly, stands as the file has it.
        Row("QuotesInAnEntity", SkeletonWith("<!ENTITY brand 'the \"Acme\" suite'>", "<N>&brand;</N>")),
        Row("ReferencesInDefaults",
            SkeletonWith("<!ATTLIST Note t CDATA 'a &amp; b' u CDATA '50&#37; off'>", "<Note/>")),
        Row("NotationList",
            SkeletonWith("\n<!NOTATION n SYSTEM \"x\">\n<!ATTLIST Note k NOTATION (n) #IMPLIED>\n")),
        Row("PublicId", SkeletonWith("<!ENTITY pub PUBLIC 'p' 's'>")),
        Row("ParameterEntityWithQuotes",
            SkeletonWith("<!ENTITY % pe 'x \"y\"'> <!ATTLIST Note q CDATA '\"'>")),
        Row("CommentsInstructionsAndLineEnds", SkeletonWith("<!-- a ] comment -->\r\n<?pi data?>\r\n")),
        Row("AnUnusedLongEntity", SkeletonWith("<!ENTITY long '" + std::string(5000, 'y') + "'>")),
        // New messages take the namespace in scope; declarations in scope are not repeated.
        Row("DefaultNamespace", "<Root xmlns=\"urn:x\"><MsgList>" + kSections + "</MsgList></Root>"),
        Row("DefaultNamespaceFixedByTheDtd", SkeletonWith("<!ATTLIST Root xmlns CDATA #FIXED 'urn:x'>")),
        Row("DefaultNamespacesOnTheSections",
            "<Root><MsgList xmlns=\"urn:m\"><DefaultMsg><Message/></DefaultMsg><DynamicMsg "
            "xmlns=\"urn:d\"><Message MsgSInfo=\"one\"/></DynamicMsg></MsgList></Root>"),
        Row("NamespaceDeclarationsInScope",
            "<Root xmlns:e=\"urn:e\"><e:e xmlns=\"urn:g\"><x/></e:e><e2 xmlns=\"\"><e3/></e2><MsgList "
            "xmlns:p=\"urn:p\">" +
                kSections + "</MsgList></Root>"),
        // A DTD that is not read: references to entities it would declare are kept, except in DynamicMsg.
        Row("ReferencesToEntitiesTheFileDoesNotDeclare",
            "<!DOCTYPE Root SYSTEM \"never-read.dtd\">\n<Root a=\"&undeclared;\">&abc;<MsgList>"
            "<DynamicMsg><Message MsgSInfo=\"one\"/><Message "
            "MsgSInfo=\"t&ext;wo\"/></DynamicMsg></MsgList></Root>",
            {"--SaveMsgFile dropped the reference &ext; from DynamicMsg: the file does not declare its "
             "entity"}),
        // The DTD's types normalise what the parser reads; its defaults stay the DTD's.
        Row("DeclaredAttributeTypes",
            SkeletonWith(
                "<!ATTLIST Message MsgSInfo NMTOKENS #IMPLIED MsgSpan NMTOKEN #IMPLIED "
                "MsgEchoPath (a|b) 'a' Kind CDATA 'note'>\n<!ATTLIST DynamicMsg Owner CDATA 'admin'>"),
            {"--SaveMsgFile wrote message 3 with MsgSInfo normalised by the file's declaration"},
            {kAddedTexts[0], u"tab line crlf two spaces \u0085\u2028 \U0001D11E 中文"}),
        // An enumeration is read as it stands, as CDATA is: its value is written as it is.
        Row("DeclaredEnumeration", SkeletonWith("<!ATTLIST Message MsgSInfo (a|b) #IMPLIED>")),
        // Comments and instructions, a run of thousands too, and the file's own layout.
        Row("ManyConsecutiveComments", "<Root><MsgList><DefaultMsg>" + RepeatText("<!-- c -->", 5000) +
                                           "<Message MsgSInfo=\"d\"/><?pi?></DefaultMsg><DynamicMsg>" +
                                           RepeatText("<!--x-->", 500) +
                                           "<Message MsgSInfo=\"one\"/><?pi?></DynamicMsg></MsgList></Root>"),
        Row("LayoutReferencesAndCdata",
            "<?xml version='1.0' standalone='no'?>\r\n<!-- c --><Root\r\n  b = 'x'  a=\"&#x41;\" >"
            "<N><![CDATA[<cdata>]]>&#xE9;&amp;</N><Empty></Empty><MsgList>\r\n<DynamicMsg a = '1' \r\n"
            "/></MsgList></Root   >\r\n<?after?>"),
        // The file's encoding and version.
        Row("Utf16", "<Root><N>Grüße 中文</N><MsgList>" + kSections + "</MsgList></Root>", {}, {}, true),
        Row("Latin1WithReferencesForTheRest",
            "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><Root><N>Gr\xFC\xDF"
            "e</N><MsgList>" +
                kSections + "</MsgList></Root>"),
        Row("Xml11",
            "<?xml version=\"1.1\"?><Root><N>&#1;\xC2\x85</N><MsgList>" + kSections + "</MsgList></Root>")),
    [](const ::testing::TestParamInfo<RoundTripCase>& param) { return std::string(param.param.lpName); });

// The subset is taken from the file by offsets, which a byte-order mark and wide units must not upset.
TEST_F(MsgFileTest, TheInternalSubsetIsKeptBehindAByteOrderMarkAndInUtf16) {
  const std::string doctype = "<!DOCTYPE Root [<!ENTITY brand 'the \"Acme\" suite'>]>";
  const std::string text = "<?xml version=\"1.0\"?>\n" + doctype +
                           "\n<Root><N>&brand;</N><MsgList><DynamicMsg><Message MsgSInfo=\"m\"/></DynamicMsg>"
                           "</MsgList></Root>";
  for (bool bUtf16 : {false, true}) {
    SCOPED_TRACE(bUtf16 ? "UTF-16" : "UTF-8");
    ASSERT_EQ(Restart(bUtf16 ? "\xFF\xFE" + ToUtf16LeBytes(text) : "\xEF\xBB\xBF" + text), 1);
    ASSERT_EQ(api.Finish(), 1);
    EXPECT_FALSE(TraceHasSaveFailure());
    const std::string saved = ReadFileBytes(MsgFilePath());
    EXPECT_NE((bUtf16 ? FromUtf16LeBytes(saved.substr(2)) : saved).find(doctype), std::string::npos) << saved;
  }
}

// A file stays in its encoding, the messages written in it; where the new bytes would not read back in
// it (DynamicMsg's start tag ends inside a run of UTF-7's base64, where nothing can be spliced in), the
// file is written whole as UTF-8, its declaration saying so, and as the parser read it: bytes there that
// UTF-7 does not decode stay.
TEST_F(MsgFileTest, AFileStaysInItsEncodingUnlessItWouldNotReadBack) {
  const std::string kNuls("\0\0", 2);
  const struct {
    std::string strEncoding;  // in the declaration
    const char* lpDynamicMsg;
    const char* lpWrittenAs;
    const char* lpInfo;
  } cases[] = {
      {"encoding=\"UTF-7\"", "<DynamicMsg/>", "UTF-7", "Gr+APwA3w-e"},
      {"encoding=\"UTF-7\"", "<DynamicMsg+AD4AIA-</DynamicMsg>", "UTF-8", "Grüße"},
      {"encoding" + kNuls + "=\"UTF-7\"", "<DynamicMsg+AD4AIA-</DynamicMsg>", "UTF-8", "Grüße"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(&c - cases);
    WriteMsgFile("<?xml version=\"1.0\" " + c.strEncoding +
                 "?>\n<Root><MsgList><DefaultMsg><Message MsgSInfo=\"caf+AOk-\"/></DefaultMsg>" +
                 c.lpDynamicMsg + "</MsgList></Root>");
    ASSERT_EQ(Restart(), 1);
    // The Windows transcoder has no UTF-7: such a file is refused there like any unreadable one.
    if (IdsInMemory().empty()) GTEST_SKIP() << "this Xerces-C does not read UTF-7";
    EXPECT_EQ(Info(-2), u"café");
    Add(u"Post", u"Neu", u"Grüße");
    ASSERT_EQ(api.Finish(), 1);
    EXPECT_FALSE(TraceHasSaveFailure());
    const std::string saved = ReadFileBytes(MsgFilePath());
    std::string strWritten = c.strEncoding;
    strWritten.replace(strWritten.find("UTF-7"), 5, c.lpWrittenAs);
    EXPECT_EQ(saved.substr(0, saved.find("?>")), "<?xml version=\"1.0\" " + strWritten) << saved;
    const std::vector<SavedElement> messages = SectionElements(saved, "DynamicMsg");
    ASSERT_EQ(messages.size(), 1u) << saved;
    EXPECT_EQ(messages[0].attributes.at("MsgSInfo"), c.lpInfo);
    ASSERT_EQ(Restart(), 1);
    EXPECT_EQ(Info(-2), u"café");
    EXPECT_EQ(Info(0), u"Grüße");
    UnloadLibrary();
  }
}

// A save whose bytes would not load under the library's limits (an element type with as many attributes
// declared as an element may have, so that a message written with its six has more) keeps the old file
// and the messages, which keep their texts.
TEST_F(MsgFileTest, ASaveThatWouldNotLoadKeepsTheOldFile) {
  const std::string original = "<!DOCTYPE Root [" + NumberedAttList("Message", 256, "v") +
                               "]>\n<Root><MsgList><DynamicMsg/></MsgList></Root>";
  ASSERT_EQ(Restart(original), 1);
  const std::u16string text = {u'a', 0x1, u'b'};
  Add(u"Mail", u"Inbox", text);
  ASSERT_EQ(api.Finish(), 1);
  EXPECT_TRUE(TraceHasSaveFailure());
  EXPECT_EQ(ReadFileBytes(MsgFilePath()), original);
  EXPECT_EQ(Info(0), text);
}

// Units XML cannot carry go to the file as U+FFFD, the trace naming the message; the rest is untouched.
TEST_F(MsgFileTest, UnitsXmlCannotCarryAreWrittenAsReplacementCharacters) {
  ASSERT_EQ(Restart(kSkeleton), 1);
  const std::string kFFFD = "\xEF\xBF\xBD";
  const struct {
    std::u16string text;
    std::string written;
    int nReplaced;
  } cases[] = {
      {{u'a', 0x1, u'b', 0x1F}, "a" + kFFFD + "b" + kFFFD, 2},
      {{0xFFFE, 0xFFFF}, kFFFD + kFFFD, 2},
      {{u'x', 0xD800}, "x" + kFFFD, 1},
      {{0xDC00, 0xD800, u'y'}, kFFFD + kFFFD + "y", 2},
      {u"tab\tline\ncr\r\U0001D11E", "tab\tline\ncr\r\U0001D11E", 0},
  };
  std::vector<std::string> expected;
  for (size_t i = 0; i < std::size(cases); ++i) {
    Add(u"S", platform::Utf8ToUtf16(std::to_string(i)), cases[i].text);
    if (cases[i].nReplaced != 0) {
      expected.push_back("--SaveMsgFile wrote message " + std::to_string(i) + " with U+FFFD for " +
                         std::to_string(cases[i].nReplaced) + " units XML cannot carry");
    }
  }
  ASSERT_EQ(api.Finish(), 1);
  EXPECT_FALSE(TraceHasSaveFailure());
  const std::vector<SavedElement> messages = SectionElements(ReadFileBytes(MsgFilePath()), "DynamicMsg");
  ASSERT_EQ(messages.size(), std::size(cases));
  std::vector<std::string> lines;
  for (const std::string& line : TraceTexts()) {
    if (line.rfind("--SaveMsgFile wrote", 0) == 0) lines.push_back(line);
  }
  EXPECT_EQ(lines, expected);
  ASSERT_EQ(Restart(), 1);
  for (size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(messages[i].attributes.at("MsgSInfo"), cases[i].written) << i;
    EXPECT_EQ(platform::Utf16ToUtf8Text(Info(static_cast<int32_t>(i))), cases[i].written) << i;
  }
}

// XML 1.1 carries control characters, U+0085 and U+2028 as references: a message holding them reads back
// as it was, and what stands outside DynamicMsg stays as the file has it.
TEST_F(MsgFileTest, AnXml11FileCarriesControlCharactersAsReferences) {
  const std::string original =
      "<?xml version=\"1.1\"?>\n<Root><Note>a&#1;b</Note><MsgList><DefaultMsg><Message MsgSInfo=\"d&#2;\"/>"
      "</DefaultMsg><DynamicMsg><Message MsgSInfo=\"n&#x85;\"/></DynamicMsg></MsgList></Root>";
  ASSERT_EQ(Restart(original), 1);
  EXPECT_EQ(Info(-2), (std::u16string{u'd', 0x2}));
  EXPECT_EQ(Info(0), (std::u16string{u'n', 0x85}));
  const std::u16string text = {0x1, u'\t', 0x7F, 0x85, 0x2028, 0x1F};
  Add(u"S", u"controls", text);
  ASSERT_EQ(api.Finish(), 1);
  EXPECT_FALSE(TraceHasSaveFailure());
  for (const std::string& line : TraceTexts()) EXPECT_EQ(line.find("U+FFFD"), std::string::npos) << line;
  EXPECT_EQ(AroundSection(ReadFileBytes(MsgFilePath()), "DynamicMsg"), AroundSection(original, "DynamicMsg"));
  ASSERT_EQ(Restart(), 1);
  EXPECT_EQ(Info(-2), (std::u16string{u'd', 0x2}));
  EXPECT_EQ(Info(0), (std::u16string{u'n', 0x85}));
  EXPECT_EQ(Info(1), text);
}

// On Linux a directory name that is not UTF-8 (Latin-1) is still the library's own, byte for byte: a
// sibling planted under the name that reading the odd byte as U+FFFD gives is never read nor written.
TEST_F(MsgFileTest, ALibraryDirectoryNamedInLatin1IsItsOwnByteForByte) {
  const fs::path planted = Dir() / std::string("caf\xef\xbf\xbd") / "Config";
  const std::string strPlanted = "<R><MsgList><DynamicMsg><Message/></DynamicMsg></MsgList></R>";
  fs::create_directories(planted);
  WriteFileBytes(planted / "Msg.xml", strPlanted);
  UseLibrarySubdirectory(std::string("caf\xe9"));
  ASSERT_EQ(Restart(kSkeleton), 1);
  EXPECT_EQ(IdsInMemory(), Ids{});
  Add(u"Chat", u"Hello", u"hi");
  ASSERT_EQ(api.Finish(), 1);
  EXPECT_EQ(SectionElements(ReadFileBytes(MsgFilePath()), "DynamicMsg").size(), 1u);
  EXPECT_TRUE(TraceExists());
  EXPECT_EQ(FileNames(planted), std::vector<std::string>{"Msg.xml"});
  EXPECT_EQ(ReadFileBytes(planted / "Msg.xml"), strPlanted);
}

// ---- The host's Xerces-C.

TEST_F(MsgFileTest, AHostWithoutXercesFindsItTerminatedOnceTheLibraryUnloads) {
  ASSERT_EQ(xercesc::XMLPlatformUtils::fgMemoryManager, nullptr) << "this test process never initialises it";
  ASSERT_EQ(Restart(FixtureBytes("msg_example.xml")), 1);
  EXPECT_EQ(IdsInMemory(), (Ids{-2, 0}));
  ASSERT_EQ(api.Finish(), 1);
  EXPECT_EQ(SectionElements(ReadFileBytes(MsgFilePath()), "DynamicMsg").size(), 1u);
  UnloadLibrary();
  EXPECT_EQ(xercesc::XMLPlatformUtils::fgMemoryManager, nullptr);
}

TEST_F(MsgFileTest, AHostThatInitialisedXercesKeepsItAsItWas) {
  xercesc::XMLPlatformUtils::Initialize();
  struct Terminator {
    ~Terminator() { xercesc::XMLPlatformUtils::Terminate(); }
  } terminator;

  ASSERT_EQ(Restart(FixtureBytes("msg_example.xml")), 1);
  EXPECT_EQ(IdsInMemory(), (Ids{-2, 0}));
  Add(u"Chat", u"Hello", u"hi");
  ASSERT_EQ(api.Finish(), 1);
  EXPECT_EQ(SectionElements(ReadFileBytes(MsgFilePath()), "DynamicMsg").size(), 2u);

  ASSERT_NE(xercesc::XMLPlatformUtils::fgMemoryManager, nullptr)
      << "the library terminated the host's Xerces-C";
  static const char kDoc[] = "<host ok=\"yes\"/>";
  xercesc::MemBufInputSource source(reinterpret_cast<const XMLByte*>(kDoc), sizeof kDoc - 1, "host");
  xercesc::XercesDOMParser parser;
  parser.parse(source);
  ASSERT_NE(parser.getDocument(), nullptr);
  ASSERT_NE(parser.getDocument()->getDocumentElement(), nullptr);
  EXPECT_EQ(parser.getErrorCount(), 0u);
  char* name = xercesc::XMLString::transcode(parser.getDocument()->getDocumentElement()->getTagName());
  EXPECT_STREQ(name, "host");
  xercesc::XMLString::release(&name);
}

// Two copies of the library in one process share its Xerces-C on Linux (on Windows each has its own):
// neither may take it away while the other parses.
TEST_F(MsgFileTest, TwoCopiesLoadAndSaveOnTwoThreadsAtOnce) {
  ASSERT_EQ(xercesc::XMLPlatformUtils::fgMemoryManager, nullptr) << "this test process never initialises it";
  TidingsApi apiOther;
  UseLibrarySubdirectory("one");
  WriteMsgFile(FixtureBytes("msg_example.xml"));
  LoadLibrary(false);
  LoadAnotherCopy("two", &apiOther);
  WriteFileBytes(Dir() / "two" / "Config" / "Msg.xml", FixtureBytes("msg_example.xml"));
  constexpr int kRounds = 100;
  auto run = [](TidingsApi* pApi, int* pnSaved) {
    _Message_AddInfo info = MakeAddInfo(u"Hello");
    for (int i = 0; i < kRounds; ++i) {
      pApi->Initial();
      pApi->AddMessage(T(u"Chat").c_str(), &info);
      pApi->Finish();
      _Message_GetInfo got;
      *pnSaved += pApi->GetMessage(2 * i, &got) == 0;  // a save empties the dynamic list
    }
  };
  int nSavedOne = 0, nSavedTwo = 0;
  std::thread other(run, &apiOther, &nSavedTwo);
  run(&api, &nSavedOne);
  other.join();
  EXPECT_EQ(nSavedOne, kRounds);
  EXPECT_EQ(nSavedTwo, kRounds);
  for (const char* lpCopy : {"one", "two"}) {
    EXPECT_EQ(SectionElements(ReadFileBytes(Dir() / lpCopy / "Config" / "Msg.xml"), "DynamicMsg").size(), 2u);
  }
}

// ---- Saves that fail for real: the old file stays whole, the messages stay in memory.

class MsgFileFaultTest : public MsgFileTest {
 protected:
  // Lays the example file, loads it and adds a message: IDs -2, 0 and 1.
  void Start() {
    m_original = FixtureBytes("msg_example.xml");
    ASSERT_EQ(Restart(m_original), 1);
    Add(u"Chat", u"Hello", u"hi");
    ASSERT_EQ(IdsInMemory(), (Ids{-2, 0, 1}));
  }
  // After a MsgGovFinish that could not write.
  void ExpectNothingLost(const std::vector<std::string>& files) {
    EXPECT_EQ(ReadFileBytes(MsgFilePath()), m_original);
    EXPECT_EQ(IdsInMemory(), (Ids{-2, 0, 1}));
    EXPECT_EQ(Info(1), u"hi");
    EXPECT_TRUE(TraceHasSaveFailure());
    EXPECT_EQ(FileNames(ConfigDir()), files) << "a new file was left behind";
  }
  std::string m_original;
};

// ---- A save keeps what the file is, and leaves no new file behind.

using Names = std::vector<std::string>;

TEST_F(MsgFileFaultTest, ALinkIsFollowedToItsTargetAndStays) {
  const fs::path data = Dir() / "data";
  fs::create_directories(data);
  fs::create_directories(ConfigDir());
  try {
    fs::create_symlink(fs::path("..") / "data" / "current", MsgFilePath());
    fs::create_symlink("Msg-real.xml", data / "current");
  } catch (const fs::filesystem_error& e) {
    GTEST_SKIP() << "no symbolic links here: " << e.what();
  }
  Start();  // through both links, into data/Msg-real.xml
  if (HasFatalFailure()) return;
  ASSERT_EQ(api.Finish(), 1);
  EXPECT_EQ(SectionElements(ReadFileBytes(data / "Msg-real.xml"), "DynamicMsg").size(), 2u);
  EXPECT_EQ(fs::read_symlink(MsgFilePath()), fs::path("..") / "data" / "current");
  EXPECT_EQ(fs::read_symlink(data / "current"), fs::path("Msg-real.xml"));
  EXPECT_EQ(FileNames(ConfigDir()), (Names{"Msg.xml", "UILogTrace.txt"}));
  EXPECT_EQ(FileNames(data), (Names{"Msg-real.xml", "current"}));

  // A link that leads nowhere, then one in a loop: a missing file, never created.
  Add(u"Chat", u"Again", u"again");
  fs::remove(data / "Msg-real.xml");
  ASSERT_EQ(api.Finish(), 1);
  EXPECT_FALSE(fs::exists(data / "Msg-real.xml"));
  fs::create_symlink("current", data / "Msg-real.xml");
  ASSERT_EQ(api.Finish(), 1);
  EXPECT_EQ(fs::read_symlink(data / "Msg-real.xml"), fs::path("current"));
  EXPECT_EQ(IdsInMemory(), (Ids{-2, 2}));
}

// New files of saves that never reached their rename go at the next save once their process has ended
// (this process's ID too: only an ended process can have left it); no other file goes, none is loaded.
TEST_F(MsgFileFaultTest, StrayNewFilesOfEndedProcessesGoAndAreNeverLoaded) {
  const std::string ended = "2147483644", tmp = ".tidings-tmp";  // beyond every process ID in use
  const uint32_t dwRunning = AnotherRunningProcessId();
  ASSERT_NE(dwRunning, 0u);
  ASSERT_NE(dwRunning, ThisProcessId());
  Names gone = {"Msg.xml." + ended + tmp, "Msg.xml." + std::to_string(ThisProcessId()) + tmp};
  Names stay = {"Msg.xml." + std::to_string(dwRunning) + tmp,
                "Msg.xml.0" + ended + tmp,
                "Msg.xml." + ended + "0" + tmp,
                "Msg.xml.-" + ended + tmp,
                "Msg.xml.." + ended + tmp,
                "Msg.xml." + ended + tmp + ".old",
                "Other.xml." + ended + tmp,
                "Msg.xml.AbC123"};
  fs::create_directories(ConfigDir());
  for (Names* names : {&gone, &stay}) {
    for (const std::string& name : *names) {
      WriteFileBytes(ConfigDir() / name,
                     "<Root><MsgList><DynamicMsg><Message/></DynamicMsg></MsgList></Root>");
    }
  }
  Start();  // which sees only the messages of Msg.xml
  if (HasFatalFailure()) return;
  ASSERT_EQ(api.Finish(), 1);
  EXPECT_FALSE(TraceHasSaveFailure());
  stay.insert(stay.end(), {"Msg.xml", "UILogTrace.txt"});
  std::sort(stay.begin(), stay.end());
  EXPECT_EQ(FileNames(ConfigDir()), stay);
}

#if defined(_WIN32)

constexpr uint32_t kReadOnly = 0x1, kHidden = 0x2, kNormal = 0x80;  // FILE_ATTRIBUTE_...

TEST_F(MsgFileFaultTest, TheFileKeepsItsAttributes) {
  Start();
  if (HasFatalFailure()) return;
  ASSERT_TRUE(SetFileAttributeBits(MsgFilePath(), kHidden));
  ASSERT_EQ(api.Finish(), 1);
  EXPECT_EQ(IdsInMemory(), (Ids{-2}));
  EXPECT_EQ(FileAttributeBits(MsgFilePath()) & (kHidden | kReadOnly), kHidden);
  EXPECT_EQ(FileNames(ConfigDir()), (Names{"Msg.xml", "UILogTrace.txt"}));
}

TEST_F(MsgFileFaultTest, AReadOnlyFileIsNeverReplaced) {
  Start();
  if (HasFatalFailure()) return;
  ASSERT_TRUE(SetFileAttributeBits(MsgFilePath(), kReadOnly));
  ASSERT_EQ(api.Finish(), 1);
  ExpectNothingLost({"Msg.xml", "UILogTrace.txt"});
  SetFileAttributeBits(MsgFilePath(), kNormal);
}

#else

// Null unless the test may act as the unprivileged user nobody: it runs as root.
const struct passwd* Nobody() { return ::geteuid() == 0 ? ::getpwnam("nobody") : nullptr; }

// The file-system rights of nobody while it lives: the effective IDs change, the saved ones stay root's.
struct AsNobody {
  AsNobody() {
    if (::setegid(Nobody()->pw_gid) != 0 || ::seteuid(Nobody()->pw_uid) != 0) ADD_FAILURE() << "not nobody";
  }
  ~AsNobody() {
    if (::seteuid(0) != 0 || ::setegid(0) != 0) std::abort();
  }
};

// What a save must keep: which file on the volume it is, its owner and its mode.
std::tuple<ino_t, uid_t, gid_t, mode_t> IdentityOf(const fs::path& file) {
  struct stat st = {};
  EXPECT_EQ(::stat(file.c_str(), &st), 0) << file;
  return {st.st_ino, st.st_uid, st.st_gid, st.st_mode & 07777};
}

struct AccessCase {
  const char* lpName;
  bool bAsNobody;     // saves as nobody, else as root
  mode_t nDirMode;    // of Config/, root's
  bool bNobodysFile;  // Msg.xml belongs to nobody, else to root
  mode_t nFileMode;
  // A new file with the old owner and mode, one that is nobody's without the set-ID bits, the same
  // file written in place, or no write at all.
  enum { kReplaced, kReplacedAsNobodys, kInPlace, kRefused } outcome;
  const char* lpTrace;  // the start of a line the save traces, if any
};

void PrintTo(const AccessCase& c, std::ostream* os) { *os << c.lpName; }

class MsgFileAccessTest : public MsgFileFaultTest, public ::testing::WithParamInterface<AccessCase> {};

TEST_P(MsgFileAccessTest, TheFileStaysWhatItIs) {
  const AccessCase& c = GetParam();
  if (Nobody() == nullptr) GTEST_SKIP() << "acting as nobody needs root";
  const uid_t uid = Nobody()->pw_uid;
  const gid_t gid = Nobody()->pw_gid;
  Start();
  if (HasFatalFailure()) return;
  fs::permissions(TracePath(), fs::perms::all);  // for nobody's lines too
  ASSERT_EQ(::chmod(ConfigDir().c_str(), c.nDirMode), 0);
  ASSERT_EQ(::chown(MsgFilePath().c_str(), c.bNobodysFile ? uid : 0, c.bNobodysFile ? gid : 0), 0);
  ASSERT_EQ(::chmod(MsgFilePath().c_str(), c.nFileMode), 0);
  auto expected = IdentityOf(MsgFilePath());
  if (c.bAsNobody) {
    AsNobody nobody;
    ASSERT_EQ(api.Finish(), 1);
  } else {
    ASSERT_EQ(api.Finish(), 1);
  }
  const auto after = IdentityOf(MsgFilePath());
  if (c.outcome == AccessCase::kRefused) {
    ExpectNothingLost({"Msg.xml", "UILogTrace.txt"});
  } else {
    EXPECT_EQ(SectionElements(ReadFileBytes(MsgFilePath()), "DynamicMsg").size(), 2u);
    EXPECT_EQ(IdsInMemory(), (Ids{-2}));
    EXPECT_EQ(FileNames(ConfigDir()), (Names{"Msg.xml", "UILogTrace.txt"}));
  }
  if (c.outcome == AccessCase::kReplaced || c.outcome == AccessCase::kReplacedAsNobodys) {
    EXPECT_NE(std::get<0>(after), std::get<0>(expected)) << "written in place";
    std::get<0>(expected) = std::get<0>(after);
  }
  if (c.outcome == AccessCase::kReplacedAsNobodys)
    expected = {std::get<0>(after), uid, gid, c.nFileMode & 01777};
  EXPECT_EQ(after, expected) << "owner " << std::get<1>(after) << ":" << std::get<2>(after) << ", mode 0"
                             << std::oct << std::get<3>(after);
  const std::vector<std::string> texts = TraceTexts();
  EXPECT_TRUE(c.lpTrace == nullptr ||
              std::any_of(texts.begin(), texts.end(),
                          [&](const std::string& t) { return t.rfind(c.lpTrace, 0) == 0; }))
      << c.lpTrace;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MsgFileAccessTest,
    ::testing::Values(
        AccessCase{"InPlaceWhenTheDirectoryTakesNoNewFile", true, 0755, false, 0666, AccessCase::kInPlace,
                   "--SaveMsgFile wrote the file in place, its directory takes no new file: cannot create "},
        AccessCase{"ReadOnlyInAWritableDirectory", true, 0777, false, 0644, AccessCase::kRefused,
                   "--SaveMsgFile failed, the messages stay in memory: cannot write "},
        AccessCase{"ReadOnlyInAReadOnlyDirectory", true, 0755, true, 0444, AccessCase::kRefused, nullptr},
        AccessCase{"AnOwnerNobodyMayNotGive", true, 0777, false, 06666, AccessCase::kReplacedAsNobodys,
                   "--SaveMsgFile replaced the file, but could not keep its owner: cannot give "},
        AccessCase{"NobodysOwnFile", true, 0777, true, 0604, AccessCase::kReplaced, nullptr},
        AccessCase{"RootKeepsAnotherUsersFileAndItsSetIdBits", false, 0755, true, 06640,
                   AccessCase::kReplaced, nullptr}),
    [](const ::testing::TestParamInfo<AccessCase>& param) { return std::string(param.param.lpName); });

// Written in place, a save that does not fit changes not one byte: the room is taken before the write.
TEST_F(MsgFileFaultTest, WrittenInPlaceOnAFullVolumeChangesNothing) {
  if (Nobody() == nullptr) GTEST_SKIP() << "acting as nobody needs root";
  fs::create_directories(ConfigDir());
  std::string why;
  std::unique_ptr<SmallVolume> volume = MountSmallVolume(ConfigDir(), 64 * 1024, &why);  // root's, 0755
  if (!volume) GTEST_SKIP() << "no volume to fill: " << why;
  fs::create_symlink(Dir() / "trace.txt", TracePath());
  Start();
  if (HasFatalFailure()) return;
  fs::permissions(Dir() / "trace.txt", fs::perms::all);
  ASSERT_EQ(::chmod(MsgFilePath().c_str(), 0666), 0);
  // More than the page the old file holds, which a write could fill without taking room.
  for (char16_t c = u'a'; c <= u'h'; ++c) Add(u"Big", std::u16string(1, c), std::u16string(1000, c));
  ASSERT_TRUE(volume->Fill(&why)) << why;
  {
    AsNobody nobody;
    ASSERT_EQ(api.Finish(), 1);
  }
  EXPECT_EQ(ReadFileBytes(MsgFilePath()), m_original);
  EXPECT_EQ(IdsInMemory().size(), 11u);
  EXPECT_TRUE(TraceHasSaveFailure());
  EXPECT_EQ(FileNames(ConfigDir()), (Names{"Msg.xml", "UILogTrace.txt", "filler.bin"}));
}

#endif

class MsgFileVolumeTest : public MsgFileFaultTest, public ::testing::WithParamInterface<bool> {};

TEST_P(MsgFileVolumeTest, AVolumeThatCannotTakeTheNewFile) {
  const bool bFull = GetParam();
  fs::create_directories(ConfigDir());
  std::string why;
  std::unique_ptr<SmallVolume> volume = MountSmallVolume(ConfigDir(), 64 * 1024, &why);
  if (!volume) GTEST_SKIP() << "no volume to fill: " << why;
  // The trace goes off the volume, where it can still tell of the failure.
  fs::create_symlink(Dir() / "trace.txt", TracePath());
  Start();
  if (HasFatalFailure()) return;
  ASSERT_TRUE(bFull ? volume->Fill(&why) : volume->MakeReadOnly(&why)) << why;
  ASSERT_EQ(api.Finish(), 1);
  if (bFull) {
    ExpectNothingLost({"Msg.xml", "UILogTrace.txt", "filler.bin"});
  } else {
    ExpectNothingLost({"Msg.xml", "UILogTrace.txt"});
  }
}

INSTANTIATE_TEST_SUITE_P(Faults, MsgFileVolumeTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& param) {
                           return std::string(param.param ? "Full" : "ReadOnly");
                         });

TEST_F(MsgFileFaultTest, AFileHeldOpenAgainstReplacement) {
  Start();
  if (HasFatalFailure()) return;
  std::string why;
  std::unique_ptr<HeldFile> held = HoldFileAgainstReplacement(MsgFilePath(), &why);
  if (!held) GTEST_SKIP() << "cannot hold the file: " << why;
  ASSERT_EQ(api.Finish(), 1);
  held.reset();
  ExpectNothingLost({"Msg.xml", "UILogTrace.txt"});
}

}  // namespace
}  // namespace test
}  // namespace tidings
