// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

// Damaged and hostile message files: a file that does not parse cleanly loads nothing and is never
// rewritten, and nothing in a file makes the library read another file or reach the network.

#include <chrono>
#include <random>

#include "limit_files.h"
#include "loopback_listener.h"
#include "msg_file_support.h"
#include "platform/platform.h"
#include "platform/utf.h"

namespace tidings {
namespace test {
namespace {

using Ids = std::vector<int32_t>;

std::string ReplaceAll(std::string text, const std::string& from, const std::string& to) {
  for (size_t pos = text.find(from); pos != std::string::npos; pos = text.find(from, pos + to.size())) {
    text.replace(pos, from.size(), to);
  }
  return text;
}

// A file: URL for a local path.
std::string FileUrl(const fs::path& path) {
  const std::string generic = path.generic_string();
  return generic[0] == '/' ? "file://" + generic : "file:///" + generic;
}

// `nDepth` nested elements inside the one default message, and one dynamic message.
// Elements nested nDepth deep inside the default message, or inside a dynamic one.
std::string NestedFile(size_t nDepth, bool bInDynamicMsg = false) {
  std::string nested;
  for (size_t i = 0; i < nDepth; ++i) nested += "<a>";
  for (size_t i = 0; i < nDepth; ++i) nested += "</a>";
  return "<Root><MsgList><DefaultMsg><Message MsgSInfo=\"d\">" + (bInDynamicMsg ? "" : nested) +
         "</Message></DefaultMsg><DynamicMsg><Message MsgSInfo=\"x\">" + (bInDynamicMsg ? nested : "") +
         "</Message></DynamicMsg></MsgList></Root>";
}

class MsgFileHostileTest : public MsgFileTest {
 protected:
  // Restarts the library over `bytes` as the message file (see Restart): nothing may be loaded.
  // A message added then must survive MsgGovFinish, which must leave the file as it was.
  void ExpectRefused(const std::string& bytes) {
    ASSERT_EQ(Restart(bytes), 1);
    EXPECT_EQ(IdsInMemory(), Ids{}) << "a file that does not parse cleanly loaded messages";
    Add(u"Chat", u"Probe", u"probe");
    ASSERT_EQ(api.Finish(), 1);
    EXPECT_EQ(ReadFileBytes(MsgFilePath()), bytes) << "a file that does not parse cleanly was rewritten";
    EXPECT_EQ(IdsInMemory(), (Ids{0})) << "the message added was lost";
  }
};

// ---- Damage.

// Every cut of the file, dealt out over a few test processes: each load and save is slow under Wine, and
// one process for all of them would outlast a test's time limit there.
constexpr size_t kTruncationShards = 8;

class MsgFileTruncationTest : public MsgFileHostileTest, public ::testing::WithParamInterface<size_t> {};

TEST_P(MsgFileTruncationTest, EveryCutLoadsAllOrNothing) {
  const std::string whole = FixtureBytes("msg_example.xml");
  // Only a cut after the document element's end tag leaves a well-formed file.
  const size_t nWellFormedFrom = whole.rfind('>') + 1;
  _Message_GetInfo info;
  // A refused file leaves the store as it was, so one library serves until a cut loads: the next one
  // starts afresh, its default messages numbered from -2 again.
  LoadLibrary(/*bTraceOn=*/false);
  for (size_t n = GetParam(); n <= whole.size() && !HasFailure(); n += kTruncationShards) {
    SCOPED_TRACE("cut after " + std::to_string(n) + " bytes");
    const std::string cut = whole.substr(0, n);
    if (n > nWellFormedFrom) {
      UnloadLibrary();
      LoadLibrary(/*bTraceOn=*/false);
    }
    WriteMsgFile(cut);
    ASSERT_EQ(api.Initial(), 1);
    const bool bAll = Get(-2, &info) && Get(0, &info);
    const bool bAny = Get(-2, &info) || Get(0, &info) || Get(-3, &info) || Get(1, &info);
    if (n >= nWellFormedFrom) {
      EXPECT_TRUE(bAll && !Get(-3, &info) && !Get(1, &info));
    } else {
      EXPECT_FALSE(bAny);
    }
    ASSERT_EQ(api.Finish(), 1);
    if (n < nWellFormedFrom) {
      EXPECT_EQ(ReadFileBytes(MsgFilePath()), cut);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Shards, MsgFileTruncationTest, ::testing::Range<size_t>(0, kTruncationShards));

struct DamagedCase {
  const char* lpName;
  std::string bytes;
};

void PrintTo(const DamagedCase& c, std::ostream* os) { *os << c.lpName; }

class MsgFileDamagedTest : public MsgFileHostileTest, public ::testing::WithParamInterface<DamagedCase> {};

TEST_P(MsgFileDamagedTest, LoadsNothingAndIsNeverRewritten) { ExpectRefused(GetParam().bytes); }

// Good messages in both sections, then the damage: the part before it would load if it were used.
std::string DamagedAfterMessages(const std::string& damage) {
  return "<?xml version=\"1.0\"?>\n<Root><MsgList><DefaultMsg><Message MsgSInfo=\"d\"/></DefaultMsg>"
         "<DynamicMsg><Message MsgSInfo=\"a\"/><Message MsgSInfo=\"b\"/>" +
         damage + "</DynamicMsg></MsgList></Root>\n";
}

std::string Garbage() {
  std::mt19937 rng(4711);
  std::string bytes(4096, '\0');
  for (char& c : bytes) c = static_cast<char>(rng() & 0xFF);
  return bytes;
}

INSTANTIATE_TEST_SUITE_P(
    Files, MsgFileDamagedTest,
    ::testing::Values(
        DamagedCase{"MismatchedEndTag", DamagedAfterMessages("</DynamicMsgs><DynamicMsg>")},
        DamagedCase{"UnquotedAttribute", DamagedAfterMessages("<Message MsgSInfo=c/>")},
        DamagedCase{"DuplicateAttribute", DamagedAfterMessages("<Message MsgSInfo=\"c\" MsgSInfo=\"d\"/>")},
        DamagedCase{"UndeclaredEntity", DamagedAfterMessages("<Message MsgSInfo=\"&nosuch;\"/>")},
        DamagedCase{"IllegalCharacter", DamagedAfterMessages("<Message MsgSInfo=\"&#1;\"/>")},
        DamagedCase{"BrokenUtf8", DamagedAfterMessages("<Message MsgSInfo=\"\xC3\x28\"/>")},
        DamagedCase{"NulByte", DamagedAfterMessages(std::string("<Message MsgSInfo=\"\0\"/>", 24))},
        DamagedCase{
            "SecondDocumentElement",
            "<Root><MsgList><DynamicMsg><Message MsgSInfo=\"a\"/></DynamicMsg></MsgList></Root><Root/>"},
        DamagedCase{"EmptyFile", ""}, DamagedCase{"OnlyAByteOrderMark", "\xEF\xBB\xBF"},
        DamagedCase{"OnlyTheDeclaration", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"},
        DamagedCase{"OnlyWhiteSpace", " \r\n\t\n"}, DamagedCase{"BinaryGarbage", Garbage()}),
    [](const ::testing::TestParamInfo<DamagedCase>& param) { return std::string(param.param.lpName); });

// ---- Hostile files.

TEST_F(MsgFileHostileTest, BillionLaughsLoadsNothing) { ExpectRefused(FixtureBytes("billion_laughs.xml")); }

TEST_F(MsgFileHostileTest, OneLongEntityReferencedOftenLoadsNothing) {
  // 128 KiB of file that would expand to some two gigabytes of text.
  std::string refs;
  for (int i = 0; i < 9000; ++i) refs += "&e;";
  ExpectRefused("<!DOCTYPE Root [<!ENTITY e \"" + std::string(100000, 'x') + "\">]>\n<Root><Big>" + refs +
                "</Big><MsgList><DynamicMsg><Message MsgSInfo=\"m\"/></DynamicMsg></MsgList></Root>");
}

TEST_F(MsgFileHostileTest, ShortEntitiesAndManyPredefinedReferencesStillLoad) {
  // The limits leave ordinary files alone: references to the predefined entities and to characters do
  // not count as expansions, and a short entity of the file's own is fine.
  std::string many;
  for (int i = 0; i < 20000; ++i) many += "&amp;&#x41;";
  WriteMsgFile(
      "<!DOCTYPE Root [<!ENTITY co \"Quellbridge\">]>\n<Root><MsgList><DefaultMsg><Message MsgSInfo=\"" +
      many + "\"/></DefaultMsg><DynamicMsg><Message MsgSInfo=\"&co; news\"/></DynamicMsg></MsgList></Root>");
  ASSERT_EQ(Restart(), 1);
  EXPECT_EQ(IdsInMemory(), (Ids{-2, 0}));
  EXPECT_EQ(Info(0), u"Quellbridge news");
  _Message_GetInfo info;
  ASSERT_TRUE(Get(-2, &info));
  EXPECT_EQ(std::u16string(info.strMsgSInfo, info.strMsgSInfo + 4), u"&A&A");
}

// ---- Files that would cost time or memory out of proportion to their size.

TEST_F(MsgFileHostileTest, FilesThatWouldBuildOutOfProportionLoadNothing) {
  std::string parameterLaughs = "<!ENTITY % e0 ''>";
  for (int i = 1; i < 40; ++i) {
    parameterLaughs += "<!ENTITY % e" + std::to_string(i) + " '&#37;e" + std::to_string(i - 1) + ";&#37;e" +
                       std::to_string(i - 1) + ";'>";
  }
  const std::pair<const char*, std::string> files[] = {
      // Took minutes: the DOM searches an element's attributes for every one it adds.
      {"160,000 attributes on one element", FileWithDtd("", "<a" + NumberedAttributes(160000, "v") + "/>")},
      {"257 attributes on one element", FileWithDtd("", "<a" + NumberedAttributes(257, "v") + "/>")},
      {"257 attributes declared for one element type", FileWithDtd(NumberedAttList("a", 257, "v"), "")},
      // 107 KB that built 200 MB of attributes.
      {"defaulted attributes",
       FileWithDtd(NumberedAttList("d", 100, std::string(1000, 'x')), RepeatText("<d/>", 2000))},
      {"9,000 references to 1,000 characters",
       FileWithDtd("<!ENTITY e '" + std::string(1000, 'x') + "'>", "<a>" + RepeatText("&e;", 9000) + "</a>")},
      {"nested parameter entities", FileWithDtd(parameterLaughs + "%e39;", "")},
      {"a long entity referred to through a character reference",
       FileWithDtd("<!ENTITY a '&#38;long;'><!ENTITY long '" + std::string(5000, 'y') + "'>", "<a>&a;</a>")},
  };
  for (const auto& file : files) {
    SCOPED_TRACE(file.first);
    const auto start = std::chrono::steady_clock::now();
    ExpectRefused(file.second);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
  }
}

TEST_F(MsgFileHostileTest, FilesWithinTheLimitsLoadAndSave) {
  WriteMsgFile(
      FileWithDtd("<!ENTITY unused '" + std::string(100000, 'y') + "'>" + NumberedAttList("Note", 128, "v"),
                  "<Note" + NumberedAttributes(128, "w") + "/>"));
  ASSERT_EQ(Restart(), 1);
  EXPECT_EQ(IdsInMemory(), (Ids{0}));
  ASSERT_EQ(api.Finish(), 1);
  EXPECT_FALSE(TraceHasSaveFailure()) << "a save writes only what loads again, under the same limits";
}

TEST_F(MsgFileHostileTest, NestingTooDeepMakesAFileUnusable) {
  ExpectRefused(NestedFile(300));
  // Deep enough that a parse which went on to the end, rather than stopping at the limit, would not
  // finish before the test's time runs out: the scanner's work per start tag grows with the depth.
  ExpectRefused(NestedFile(1000000));
  // The same inside DynamicMsg, whose content a save reads without building it.
  ExpectRefused(NestedFile(300, /*bInDynamicMsg=*/true));
  ExpectRefused(NestedFile(1000000, /*bInDynamicMsg=*/true));
}

// The limit counts every node the document would hold, text and comments too, and a save, which leaves
// DynamicMsg's old content unbuilt, refuses what a load refuses.
TEST_F(MsgFileHostileTest, TheDepthLimitCountsEveryNodeInEitherSection) {
  // Root, MsgList, the section and Message take four levels; 252 more elements reach the limit of 256.
  auto file = [](const std::string& bottom, bool bInDynamicMsg) {
    std::string nested;
    for (int i = 0; i < 252; ++i) nested += "<a>";
    nested += bottom;
    for (int i = 0; i < 252; ++i) nested += "</a>";
    return "<Root><MsgList><DefaultMsg><Message MsgSInfo=\"d\">" + (bInDynamicMsg ? "" : nested) +
           "</Message></DefaultMsg><DynamicMsg><Message MsgSInfo=\"x\">" + (bInDynamicMsg ? nested : "") +
           "</Message></DynamicMsg></MsgList></Root>";
  };
  for (bool bInDynamicMsg : {false, true}) {
    for (const char* lpBottom : {"text", "<!-- comment -->", "<?pi?>", "<b/>", "<b></b>", "&amp;"}) {
      SCOPED_TRACE(std::string(lpBottom) + (bInDynamicMsg ? " in DynamicMsg" : " in DefaultMsg"));
      ExpectRefused(file(lpBottom, bInDynamicMsg));
    }
    // At the limit itself, and empty, the file is fine.
    ASSERT_EQ(Restart(file("", bInDynamicMsg)), 1);
    EXPECT_EQ(IdsInMemory(), (Ids{-2, 0}));
    ASSERT_EQ(api.Finish(), 1);
  }
}

TEST_F(MsgFileHostileTest, NestingWithinTheLimitLoadsAndSurvivesTheSave) {
  const std::string original = NestedFile(240);
  ASSERT_EQ(Restart(original), 1);
  EXPECT_EQ(IdsInMemory(), (Ids{-2, 0}));
  ASSERT_EQ(api.Finish(), 1);
  const std::string saved = ReadFileBytes(MsgFilePath());
  EXPECT_EQ(SectionElements(saved, "DynamicMsg").size(), 1u);
  // The nested elements come back as the file has them.
  EXPECT_EQ(AroundSection(saved, "DynamicMsg"), AroundSection(original, "DynamicMsg"));
}

// A secret beside the message file, and files that try to pull it in.
struct EntityCase {
  const char* lpName;
  const char* lpXml;  // @TEXT@: the secret text file, @DTD@: the secret declarations
  bool bRelative;     // referred to by bare file name, else by file: URL
  bool bRefused;      // the file must load nothing and never be rewritten
};

void PrintTo(const EntityCase& c, std::ostream* os) { *os << c.lpName; }

class MsgFileEntityTest : public MsgFileHostileTest, public ::testing::WithParamInterface<EntityCase> {};

TEST_P(MsgFileEntityTest, NeverReadsAnotherFile) {
  const std::string kMarker = "TOPSECRET-4711";
  fs::create_directories(ConfigDir());
  WriteFileBytes(ConfigDir() / "secret.txt", kMarker);
  WriteFileBytes(ConfigDir() / "secret.dtd", "<!ENTITY leak \"" + kMarker + "\">");
  // Relative references resolve against the current directory (the file is parsed from memory).
  std::u16string strOldDir;
  ASSERT_TRUE(platform::GetCurrentDir(&strOldDir));
  ASSERT_TRUE(platform::SetCurrentDir(ConfigDir().u16string()));
  struct Restore {
    std::u16string dir;
    ~Restore() { platform::SetCurrentDir(dir); }
  } restore{strOldDir};

  const bool bRelative = GetParam().bRelative;
  std::string xml = GetParam().lpXml;
  xml = ReplaceAll(xml, "@TEXT@", bRelative ? "secret.txt" : FileUrl(ConfigDir() / "secret.txt"));
  xml = ReplaceAll(xml, "@DTD@", bRelative ? "secret.dtd" : FileUrl(ConfigDir() / "secret.dtd"));
  if (GetParam().bRefused) {
    ExpectRefused(xml);
  } else {
    // An external DTD is skipped: the file loads, but nothing declared there is used.
    ASSERT_EQ(Restart(xml), 1);
    for (int32_t id : IdsInMemory()) {
      EXPECT_EQ(platform::Utf16ToUtf8Text(Info(id)).find(kMarker), std::string::npos)
          << "message " << id << " holds the secret";
    }
    ASSERT_EQ(api.Finish(), 1);
  }
  EXPECT_EQ(ReadFileBytes(MsgFilePath()).find(kMarker), std::string::npos)
      << "the saved file holds the secret";
}

const char kGeneralEntity[] =
    "<!DOCTYPE Root [<!ENTITY s SYSTEM \"@TEXT@\">]>\n"
    "<Root><Note>&s;</Note><MsgList><DynamicMsg><Message MsgSInfo=\"m\"/></DynamicMsg></MsgList></Root>";
const char kParameterEntity[] =
    "<!DOCTYPE Root [<!ENTITY % p SYSTEM \"@DTD@\"> %p;]>\n"
    "<Root><MsgList><DynamicMsg><Message MsgSInfo=\"&leak;\"/></DynamicMsg></MsgList></Root>";
const char kExternalDtd[] =
    "<!DOCTYPE Root SYSTEM \"@DTD@\">\n"
    "<Root><MsgList><DynamicMsg><Message MsgSInfo=\"&leak;\"/></DynamicMsg></MsgList></Root>";

INSTANTIATE_TEST_SUITE_P(
    Files, MsgFileEntityTest,
    ::testing::Values(EntityCase{"RelativeGeneralEntity", kGeneralEntity, true, true},
                      EntityCase{"FileUrlGeneralEntity", kGeneralEntity, false, true},
                      EntityCase{"RelativeParameterEntity", kParameterEntity, true, true},
                      EntityCase{"FileUrlParameterEntity", kParameterEntity, false, true},
                      EntityCase{"RelativeExternalDtd", kExternalDtd, true, false},
                      EntityCase{"FileUrlExternalDtd", kExternalDtd, false, false}),
    [](const ::testing::TestParamInfo<EntityCase>& param) { return std::string(param.param.lpName); });

struct NetworkCase {
  const char* lpName;
  const char* lpXml;  // @URL@: a URL on the test's loopback listener
  bool bRefused;      // the file must load nothing
};

void PrintTo(const NetworkCase& c, std::ostream* os) { *os << c.lpName; }

class MsgFileNetworkTest : public MsgFileHostileTest, public ::testing::WithParamInterface<NetworkCase> {};

TEST_P(MsgFileNetworkTest, NeverConnects) {
  LoopbackListener listener;
  std::string why;
  ASSERT_TRUE(listener.Start(&why)) << why;
  const std::string xml =
      ReplaceAll(GetParam().lpXml, "@URL@", "http://127.0.0.1:" + std::to_string(listener.Port()) + "/x.dtd");
  if (GetParam().bRefused) {
    ExpectRefused(xml);
  } else {
    ASSERT_EQ(Restart(xml), 1);
    ASSERT_EQ(api.Finish(), 1);
  }
  // Both calls have returned, so any connection they made is already waiting.
  EXPECT_EQ(listener.Connections(200), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Files, MsgFileNetworkTest,
    ::testing::Values(
        NetworkCase{
            "GeneralEntity",
            "<!DOCTYPE Root [<!ENTITY n SYSTEM \"@URL@\">]>\n<Root><Note>&n;</Note><MsgList><DynamicMsg>"
            "<Message MsgSInfo=\"m\"/></DynamicMsg></MsgList></Root>",
            true},
        NetworkCase{"ParameterEntity",
                    "<!DOCTYPE Root [<!ENTITY % n SYSTEM \"@URL@\"> %n;]>\n<Root><MsgList><DynamicMsg>"
                    "<Message MsgSInfo=\"m\"/></DynamicMsg></MsgList></Root>",
                    true},
        NetworkCase{"ExternalDtd",
                    "<!DOCTYPE Root SYSTEM \"@URL@\">\n<Root><MsgList><DynamicMsg><Message MsgSInfo=\"m\"/>"
                    "</DynamicMsg></MsgList></Root>",
                    false},
        NetworkCase{"SchemaLocation",
                    "<Root xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
                    "xsi:noNamespaceSchemaLocation=\"@URL@\"><MsgList><DynamicMsg><Message MsgSInfo=\"m\"/>"
                    "</DynamicMsg></MsgList></Root>",
                    false},
        NetworkCase{"XInclude",
                    "<Root xmlns:xi=\"http://www.w3.org/2001/XInclude\"><xi:include href=\"@URL@\"/><MsgList>"
                    "<DynamicMsg><Message MsgSInfo=\"m\"/></DynamicMsg></MsgList></Root>",
                    false}),
    [](const ::testing::TestParamInfo<NetworkCase>& param) { return std::string(param.param.lpName); });

}  // namespace
}  // namespace test
}  // namespace tidings
