// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

// Echoing a message to its handler module: what the handler is given and which current directory it
// sees, the current directory afterwards, when the module is loaded and unloaded, and the trace of each
// way an echo can go. The handler modules (tests/handlers) write down what they see in a record file
// beside themselves, since they are unloaded before the echo returns.

#include <cstdint>
#include <cstring>
#include <set>
#include <sstream>
#include <thread>

#include "client_fixture.h"
#include "module_probe.h"
#include "platform/platform.h"

namespace tidings {
namespace test {
namespace {

// One line of a handler's record file, split at its tabs: "load" cwd; "call" count span name param
// cwd entry; "unload" cwd trace-size (the callback handler's call line has fields of its own).
using Record = std::vector<std::string>;

std::vector<Record> ReadRecords(const fs::path& dir) {
  std::vector<Record> records;
  std::istringstream lines(ReadFileBytes(dir / "echo-record.txt"));
  std::string line;
  while (std::getline(lines, line)) {
    Record fields;
    size_t start = 0;
    for (size_t tab; (tab = line.find('\t', start)) != std::string::npos; start = tab + 1) {
      fields.push_back(line.substr(start, tab - start));
    }
    fields.push_back(line.substr(start));
    records.push_back(fields);
  }
  return records;
}

// Whether a directory a handler wrote down (UTF-8) is `dir`.
::testing::AssertionResult IsDir(const std::string& strSeen, const fs::path& dir) {
  std::error_code ec;
  if (fs::equivalent(fs::u8path(strSeen), dir, ec)) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "the handler saw \"" << strSeen << "\", not " << dir.u8string();
}

// The narrow text the trace writes for a path.
std::string TraceText(const fs::path& path) { return platform::ToNarrowText(path.u16string()); }

std::vector<std::string> operator+(std::vector<std::string> a, const std::vector<std::string>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

std::string EnterLine(uint32_t h, int32_t nMsgID) {
  std::ostringstream s;
  s << "Enter Fun EchoMsg, h is 0X" << std::uppercase << std::hex << h << ", MsgID is " << std::dec << nMsgID;
  return s.str();
}

// The lines of an echo that called the entry point at `strEntry` (upper-case hex, as the handler saw it).
std::vector<std::string> CalledTrace(uint32_t h, int32_t nMsgID, const std::string& strPath,
                                     const std::string& strEntry) {
  return {EnterLine(h, nMsgID), "--Load Dll " + strPath + ", Add is 0X" + strEntry,
          "--Begin  Call Fun pfnNBX_EchoMsg, Add is 0X" + strEntry, "--Finish Call Fun pfnNBX_EchoMsg",
          "Exit Fun EchoMsg"};
}

// The lines of an echo whose load or lookup failed.
std::vector<std::string> NotCalledTrace(uint32_t h, int32_t nMsgID, const std::string& strPath) {
  return {EnterLine(h, nMsgID), "--Load Dll " + strPath + ", Add is 0X0", "Exit Fun EchoMsg"};
}

class EchoTest : public ClientTest {
 protected:
  void SetUp() override {
    ClientTest::SetUp();
    ASSERT_TRUE(platform::GetCurrentDir(&m_strStartDir));
  }

  void TearDown() override {
    platform::SetCurrentDir(m_strStartDir);  // so that the test's directory can go
    ClientTest::TearDown();
  }

  // Copies a handler module built beside the test program into `dir` (created when missing); returns
  // the copy's full path, written with the platform's separator.
  static fs::path Install(const char* szFileName, const fs::path& dir) {
    fs::create_directories(dir);
    const fs::path source = fs::path(platform::OwnModuleFileName()).parent_path() / szFileName;
    fs::path target = dir / szFileName;
    fs::copy_file(source, target, fs::copy_options::overwrite_existing);
    return target.make_preferred();
  }

  // Adds a dynamic message with this echo path (IDs come as 0, 1, 2, ... in order of adding).
  void AddEcho(const std::u16string& strSpan, const std::u16string& strName,
               const std::u16string& strEchoPath) {
    _Message_AddInfo info = MakeAddInfo(strName, u"info", strEchoPath);
    ASSERT_EQ(api.AddMessage(T(strSpan).c_str(), &info), 1);
  }

  static std::u16string CurrentDir() {
    std::u16string dir;
    EXPECT_TRUE(platform::GetCurrentDir(&dir));
    return dir;
  }

  std::u16string m_strStartDir;
};

TEST_F(EchoTest, TheHandlerGetsTheMessageInItsOwnDirectoryAndIsUnloadedAfterTheExitLine) {
  LoadLibrary();
  const fs::path dir = Dir() / "Handlers";
  const fs::path module = Install(TIDINGS_TEST_RECORDING_HANDLER, dir);
  AddEcho(u"Chat", u"Lobby", u"");
  AddEcho(u"Mail", u"Inbox", module.u16string());
  AddEcho(u"Mail", u"Outbox", u"");
  ClearTrace();

  EXPECT_EQ(api.EchoMsg(0x1234ABCD, 1, 0x89ABCDEF), 1);

  const std::vector<Record> records = ReadRecords(dir);
  ASSERT_EQ(records.size(), 3u);
  ASSERT_EQ(records[0].size(), 2u);
  EXPECT_EQ(records[0][0], "load");
  EXPECT_TRUE(IsDir(records[0][1], dir));  // switched already when the module was loaded
  ASSERT_EQ(records[1].size(), 7u);
  EXPECT_EQ(records[1][0], "call");
  EXPECT_EQ(records[1][1], "1");
  EXPECT_EQ(records[1][2], "Mail");
  EXPECT_EQ(records[1][3], "Inbox");
  EXPECT_EQ(records[1][4], "2309737967");
  EXPECT_TRUE(IsDir(records[1][5], dir));
  const std::string strEntry = records[1][6];
  EXPECT_NE(strEntry, "0");
  ASSERT_EQ(records[2].size(), 3u);
  EXPECT_EQ(records[2][0], "unload");
  EXPECT_TRUE(IsDir(records[2][1], m_strStartDir));  // restored before the unload

  EXPECT_EQ(TraceTexts(), CalledTrace(0x1234ABCD, 1, TraceText(module), strEntry));
  // The trace was complete, Exit line included, when the module went.
  EXPECT_EQ(records[2][2], std::to_string(TraceBytes().size()));
  EXPECT_EQ(CurrentDir(), m_strStartDir);
  EXPECT_FALSE(IsModuleMapped(module));
}

TEST_F(EchoTest, DirectoriesAndTextsBeyondAsciiReachTheHandlerUnchanged) {
  LoadLibrary();
  const fs::path dir = Dir() / u"H\u00e4ndler \u03a9";
  const fs::path module = Install(TIDINGS_TEST_RECORDING_HANDLER, dir);
  AddEcho(u"B\u00fcro", u"Eingang \u2713 \U0001F4E8", module.u16string());
  ClearTrace();

  api.EchoMsg(0, 0, 0);

  const std::vector<Record> records = ReadRecords(dir);
  ASSERT_EQ(records.size(), 3u);
  ASSERT_EQ(records[1].size(), 7u);
  EXPECT_EQ(records[1][2], u8"B\u00fcro");
  EXPECT_EQ(records[1][3], u8"Eingang \u2713 \U0001F4E8");
  EXPECT_TRUE(IsDir(records[1][5], dir));
  EXPECT_EQ(TraceTexts(), CalledTrace(0, 0, TraceText(module), records[1][6]));
  EXPECT_EQ(CurrentDir(), m_strStartDir);
}

TEST_F(EchoTest, EveryEchoLoadsTheModuleAfreshAndHShowsOnlyInTheEnterLine) {
  LoadLibrary();
  const fs::path dir = Dir() / "Handlers";
  const fs::path module = Install(TIDINGS_TEST_RECORDING_HANDLER, dir);
  AddEcho(u"Mail", u"Inbox", module.u16string());
  ClearTrace();

  api.EchoMsg(0, 0, 7);
  EXPECT_FALSE(IsModuleMapped(module));
  api.EchoMsg(0xFFFFFFFF, 0, 7);

  const std::vector<Record> records = ReadRecords(dir);
  ASSERT_EQ(records.size(), 6u);
  const std::vector<std::string> kinds = {"load", "call", "unload", "load", "call", "unload"};
  for (size_t i = 0; i < records.size(); ++i) EXPECT_EQ(records[i][0], kinds[i]) << "record " << i;
  ASSERT_EQ(records[1].size(), 7u);
  ASSERT_EQ(records[4].size(), 7u);
  // The second call is the first of a fresh mapping; all it was given is the same.
  EXPECT_EQ(Record(records[4].begin(), records[4].end() - 1),
            Record(records[1].begin(), records[1].end() - 1));
  EXPECT_EQ(records[4][1], "1");
  // The entry point's address may differ between the two mappings.
  EXPECT_EQ(TraceTexts(), CalledTrace(0, 0, TraceText(module), records[1][6]) +
                              CalledTrace(0xFFFFFFFF, 0, TraceText(module), records[4][6]));
  EXPECT_FALSE(IsModuleMapped(module));
}

TEST_F(EchoTest, AHandlerThatThrowsEndsItsEchoAsAnyOtherAndTheNextEchoWorks) {
  // 32-bit Windows unwinds with tables each module registers with its own runtime, and Tidings.dll has a
  // runtime of its own: a handler's exception cannot reach the library's catch there and ends the process.
  if (platform::PathSeparator() == u'\\' && sizeof(void*) == 4) GTEST_SKIP() << "no unwinding across modules";
  LoadLibrary();
  const fs::path dir = Dir() / "Handlers";
  const fs::path module = Install(TIDINGS_TEST_RECORDING_HANDLER, dir);
  AddEcho(u"Mail", u"Inbox", module.u16string());
  ClearTrace();

  EXPECT_EQ(api.EchoMsg(1, 0, 0xBAD), 1);
  EXPECT_EQ(CurrentDir(), m_strStartDir);
  const size_t nFirstTrace = TraceBytes().size();
  EXPECT_EQ(api.EchoMsg(2, 0, 7), 1);

  const std::vector<Record> records = ReadRecords(dir);
  ASSERT_EQ(records.size(), 6u);                              // load, call, unload, twice
  EXPECT_EQ(records[2].back(), std::to_string(nFirstTrace));  // unloaded after the Exit line
  std::vector<std::string> thrown = CalledTrace(1, 0, TraceText(module), records[1].back());
  thrown[3] = "--Failed Call Fun pfnNBX_EchoMsg, it threw an exception";
  EXPECT_EQ(TraceTexts(), thrown + CalledTrace(2, 0, TraceText(module), records[4].back()));
  EXPECT_EQ(CurrentDir(), m_strStartDir);
}

// A relative path with a directory in it names the module below the directory current when the echo
// began, for the switch and for the load alike; the one of that relative name below the handler's own
// directory is never loaded.
TEST_F(EchoTest, ARelativePathIsTakenAgainstTheDirectoryCurrentAtTheStart) {
  LoadLibrary();
  const fs::path start = Dir() / "App";
  const fs::path module = Install(TIDINGS_TEST_RECORDING_HANDLER, start / "sub");
  Install(TIDINGS_TEST_RECORDING_HANDLER, start / "sub" / "sub");
  ASSERT_TRUE(platform::SetCurrentDir(start.u16string()));
  const fs::path relative = (fs::path("sub") / module.filename()).make_preferred();
  AddEcho(u"Mail", u"Inbox", relative.u16string());
  ClearTrace();

  api.EchoMsg(0, 0, 1);

  EXPECT_TRUE(fs::equivalent(fs::path(CurrentDir()), start));
  const std::vector<Record> records = ReadRecords(start / "sub");
  ASSERT_EQ(records.size(), 3u);
  EXPECT_TRUE(IsDir(records[0][1], start / "sub"));
  EXPECT_TRUE(ReadRecords(start / "sub" / "sub").empty());
  EXPECT_EQ(TraceTexts(), CalledTrace(0, 0, TraceText(relative), records[1].back()));
}

TEST_F(EchoTest, AnIdOutsideTheDynamicListLoadsNothingAndLeavesTheDirectoryAlone) {
  LoadLibrary();
  const fs::path dir = Dir() / "Handlers";
  const fs::path module = Install(TIDINGS_TEST_RECORDING_HANDLER, dir);
  AddEcho(u"Mail", u"Inbox", module.u16string());
  AddEcho(u"Mail", u"Outbox", module.u16string());
  api.DeleteMessageFromID(1);
  ClearTrace();

  std::vector<std::string> expected;
  for (int32_t nMsgID : {1, 2, -1, -2, INT32_MIN}) {
    api.EchoMsg(3, nMsgID, 0);
    expected.push_back(EnterLine(3, nMsgID));
    expected.push_back("Exit Fun EchoMsg");
  }

  EXPECT_EQ(TraceTexts(), expected);
  EXPECT_TRUE(ReadRecords(dir).empty());
  EXPECT_EQ(CurrentDir(), m_strStartDir);
  EXPECT_FALSE(IsModuleMapped(module));
}

TEST_F(EchoTest, AModuleThatCannotBeLoadedLeavesTheDirectoryAsItWas) {
  LoadLibrary();
  const fs::path dir = Dir() / "Handlers";
  fs::create_directories(dir);
  const fs::path missing =
      (dir / ("Missing" + fs::path(TIDINGS_TEST_RECORDING_HANDLER).extension().string())).make_preferred();
  // A handler that the process has loaded into its global scope: a message without an echo path must
  // not reach it.
  const fs::path globalDir = Dir() / "Global";
  const fs::path global = Install(TIDINGS_TEST_RECORDING_HANDLER, globalDir);
  void* hGlobal = LoadModuleGlobally(global);
  ASSERT_NE(hGlobal, nullptr);
  AddEcho(u"Mail", u"Inbox", missing.u16string());
  AddEcho(u"Mail", u"Outbox", u"");
  ClearTrace();

  api.EchoMsg(1, 0, 5);
  EXPECT_EQ(CurrentDir(), m_strStartDir);
  api.EchoMsg(2, 1, 5);
  EXPECT_EQ(CurrentDir(), m_strStartDir);

  EXPECT_EQ(TraceTexts(), NotCalledTrace(1, 0, TraceText(missing)) + NotCalledTrace(2, 1, ""));
  const std::vector<Record> records = ReadRecords(globalDir);
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0][0], "load");  // the test's own load, and no call
  EXPECT_TRUE(fs::is_empty(dir));
  platform::UnloadModule(hGlobal);
}

TEST_F(EchoTest, AModuleWithoutTheEntryPointIsLoadedInItsDirectoryAndUnloadedAgain) {
  LoadLibrary();
  const fs::path dir = Dir() / "Handlers";
  const fs::path module = Install(TIDINGS_TEST_NO_ENTRY_HANDLER, dir);
  AddEcho(u"Mail", u"Inbox", module.u16string());
  ClearTrace();

  api.EchoMsg(0xABC, 0, 1);

  EXPECT_EQ(TraceTexts(), NotCalledTrace(0xABC, 0, TraceText(module)));
  const std::vector<Record> records = ReadRecords(dir);
  ASSERT_EQ(records.size(), 2u);
  ASSERT_EQ(records[0].size(), 2u);
  EXPECT_EQ(records[0][0], "load");
  EXPECT_TRUE(IsDir(records[0][1], dir));
  ASSERT_EQ(records[1].size(), 2u);
  EXPECT_EQ(records[1][0], "unload");
  EXPECT_TRUE(IsDir(records[1][1], m_strStartDir));
  EXPECT_EQ(CurrentDir(), m_strStartDir);
  EXPECT_FALSE(IsModuleMapped(module));
}

TEST_F(EchoTest, APathWithoutASeparatorIsTakenWholeAsTheDirectory) {
  LoadLibrary();
  const fs::path start = Dir() / "Start";
  fs::create_directories(start);
  ASSERT_TRUE(platform::SetCurrentDir(start.u16string()));
  const std::u16string strStart = CurrentDir();
  // The test loads the handler itself: a load by the bare file name then finds this mapping (on Windows
  // by its base name, on POSIX by its soname), whatever the current directory is.
  const fs::path module = Install(TIDINGS_TEST_RECORDING_HANDLER, Dir() / "Preloaded");
  void* hModule = platform::LoadModule(module.u16string());
  ASSERT_NE(hModule, nullptr);
  EXPECT_TRUE(IsModuleMapped(module));
  const fs::path bare = module.filename();
  AddEcho(u"Mail", u"Inbox", bare.u16string());
  AddEcho(u"Mail", u"Outbox", u"NoSuchHandler");
  ClearTrace();

  // A directory of that very name beside the test: the echo switches into it.
  fs::create_directory(start / bare);
  api.EchoMsg(0, 0, 1);
  EXPECT_EQ(CurrentDir(), strStart);
  // Without it the switch fails and the handler runs in the directory the test is in.
  fs::remove(start / bare);
  api.EchoMsg(0, 0, 2);
  EXPECT_EQ(CurrentDir(), strStart);
  // A bare name that names nothing loadable.
  api.EchoMsg(0, 1, 3);
  EXPECT_EQ(CurrentDir(), strStart);

  const std::vector<Record> records = ReadRecords(module.parent_path());
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(records[0][0], "load");
  ASSERT_EQ(records[1].size(), 7u);
  EXPECT_EQ(records[1][4], "1");
  EXPECT_EQ(fs::u8path(records[1][5]), fs::path(strStart) / bare);  // that directory is gone by now
  ASSERT_EQ(records[2].size(), 7u);
  EXPECT_EQ(records[2][4], "2");
  EXPECT_TRUE(IsDir(records[2][5], start));
  const std::string strEntry = records[1][6];
  EXPECT_EQ(TraceTexts(), CalledTrace(0, 0, TraceText(bare), strEntry) +
                              CalledTrace(0, 0, TraceText(bare), strEntry) +
                              NotCalledTrace(0, 1, "NoSuchHandler"));

  platform::UnloadModule(hModule);
  EXPECT_FALSE(IsModuleMapped(module));
}

TEST_F(EchoTest, AHandlerMayDeleteItsMessageReadItAndEchoAnotherDuringTheCall) {
  LoadLibrary();
  const fs::path callerDir = Dir() / "Caller";
  const fs::path recorderDir = Dir() / "Recorder";
  const fs::path caller = Install(TIDINGS_TEST_CALLBACK_HANDLER, callerDir);
  const fs::path recorder = Install(TIDINGS_TEST_RECORDING_HANDLER, recorderDir);
  AddEcho(u"Mail", u"Inbox", caller.u16string());
  AddEcho(u"Mail", u"Outbox", recorder.u16string());
  ClearTrace();

  // The callback handler deletes message 0 (its own), reads ID 0, and echoes ID 1 from the parameter.
  api.EchoMsg(0x10, 0, 0x00010000);

  const std::vector<Record> callerRecords = ReadRecords(callerDir);
  ASSERT_EQ(callerRecords.size(), 1u);
  ASSERT_EQ(callerRecords[0].size(), 7u) << callerRecords[0][1];
  EXPECT_EQ(callerRecords[0][1], "Mail");
  EXPECT_EQ(callerRecords[0][2], "Inbox");
  EXPECT_EQ(callerRecords[0][3], "65536");
  EXPECT_TRUE(IsDir(callerRecords[0][4], callerDir));
  EXPECT_EQ(callerRecords[0][5], "0");                 // its message was gone
  EXPECT_TRUE(IsDir(callerRecords[0][6], callerDir));  // the inner echo put the caller's directory back

  const std::vector<Record> recorderRecords = ReadRecords(recorderDir);
  ASSERT_EQ(recorderRecords.size(), 3u);
  ASSERT_EQ(recorderRecords[1].size(), 7u);
  EXPECT_EQ(recorderRecords[1][2], "Mail");
  EXPECT_EQ(recorderRecords[1][3], "Outbox");
  EXPECT_EQ(recorderRecords[1][4], "77");
  EXPECT_TRUE(IsDir(recorderRecords[1][5], recorderDir));
  EXPECT_TRUE(IsDir(recorderRecords[2][1], callerDir));  // unloaded after the inner echo's restore

  // The caller's entry address shows only in the trace; it has to be the same in both lines.
  const std::vector<std::string> texts = TraceTexts();
  ASSERT_GE(texts.size(), 2u);
  const std::string strLoadPrefix = "--Load Dll " + TraceText(caller) + ", Add is 0X";
  ASSERT_EQ(texts[1].compare(0, strLoadPrefix.size(), strLoadPrefix), 0) << texts[1];
  const std::string strCallerEntry = texts[1].substr(strLoadPrefix.size());
  EXPECT_NE(strCallerEntry, "0");
  EXPECT_EQ(strCallerEntry.find_first_not_of("0123456789ABCDEF"), std::string::npos) << strCallerEntry;
  const std::vector<std::string> inner = CalledTrace(0x5A, 1, TraceText(recorder), recorderRecords[1][6]);
  const std::vector<std::string> expected = {
      EnterLine(0x10, 0),
      "--Load Dll " + TraceText(caller) + ", Add is 0X" + strCallerEntry,
      "--Begin  Call Fun pfnNBX_EchoMsg, Add is 0X" + strCallerEntry,
      "Enter Fun DeleteMessage, lpMsgSpanName is Mail, wszMsgName is Inbox,",
      "Enter Fun PfnEventCallback, dwMsgID is 0, nAddType is 1",
      "Exit Fun PfnEventCallback",
      "Exit  Fun DeleteMessage, MsgID is 0",
      "Enter Fun GetMessage, dwMsgID is 0",
      "Exit  Fun GetMessage, bRet is 0",
  };
  const std::vector<std::string> outerEnd = {"--Finish Call Fun pfnNBX_EchoMsg", "Exit Fun EchoMsg"};
  EXPECT_EQ(texts, expected + inner + outerEnd);

  _Message_GetInfo info;
  std::memset(&info, 0, sizeof info);
  EXPECT_EQ(api.GetMessage(0, &info), 0);
  EXPECT_EQ(api.GetMessage(1, &info), 1);
  EXPECT_EQ(CurrentDir(), m_strStartDir);
  EXPECT_FALSE(IsModuleMapped(caller));
  EXPECT_FALSE(IsModuleMapped(recorder));
}

TEST_F(EchoTest, ASavedDirectoryLongerThan260UnitsIsRestoredWhole) {
  LoadLibrary();
  fs::path deep = Dir();
  while (deep.u16string().size() <= 300) deep /= std::string(40, 'd');
  std::error_code ec;
  fs::create_directories(deep, ec);
  if (ec || !platform::SetCurrentDir(deep.u16string())) GTEST_SKIP() << "no current directory that long here";
  const std::u16string strDeep = CurrentDir();
  ASSERT_GT(strDeep.size(), 300u);
  const fs::path dir = Dir() / "Handlers";
  const fs::path module = Install(TIDINGS_TEST_RECORDING_HANDLER, dir);
  AddEcho(u"Mail", u"Inbox", module.u16string());

  api.EchoMsg(0, 0, 0);

  const std::vector<Record> records = ReadRecords(dir);
  ASSERT_EQ(records.size(), 3u);
  ASSERT_EQ(records[1].size(), 7u);
  EXPECT_TRUE(IsDir(records[1][5], dir));
  EXPECT_EQ(CurrentDir(), strDeep);
}

TEST_F(EchoTest, ConcurrentEchoesEachSeeTheirOwnDirectoryAndLeaveTheOriginalOne) {
  LoadLibrary();
  const fs::path dirs[2] = {Dir() / "A", Dir() / "B"};
  AddEcho(u"Mail", u"A", Install(TIDINGS_TEST_RECORDING_HANDLER, dirs[0]).u16string());
  AddEcho(u"Mail", u"B", Install(TIDINGS_TEST_RECORDING_HANDLER, dirs[1]).u16string());

  constexpr uint32_t kThreads = 4;
  constexpr uint32_t kEchoes = 25;
  std::vector<std::thread> threads;
  for (uint32_t t = 0; t < kThreads; ++t) {
    threads.emplace_back([this, t] {
      for (uint32_t i = 0; i < kEchoes; ++i) api.EchoMsg(t, static_cast<int32_t>((t + i) % 2), t * 1000 + i);
    });
  }
  for (std::thread& thread : threads) thread.join();

  EXPECT_EQ(CurrentDir(), m_strStartDir);
  // Every echo reached the handler of its message in a mapping of its own, and each load and call saw
  // that handler's directory.
  std::set<std::string> params;
  for (int d = 0; d < 2; ++d) {
    for (const Record& record : ReadRecords(dirs[d])) {
      if (record[0] == "load") {
        ASSERT_EQ(record.size(), 2u);
        EXPECT_TRUE(IsDir(record[1], dirs[d]));
      } else if (record[0] == "call") {
        ASSERT_EQ(record.size(), 7u);
        EXPECT_EQ(record[1], "1") << "an echo found the module still loaded from another";
        EXPECT_EQ(record[3], d == 0 ? "A" : "B");
        EXPECT_TRUE(IsDir(record[5], dirs[d]));
        const uint32_t param = static_cast<uint32_t>(std::stoul(record[4]));
        EXPECT_EQ((param / 1000 + param % 1000) % 2, static_cast<uint32_t>(d)) << param;
        EXPECT_TRUE(params.insert(record[4]).second) << "called twice for " << param;
      }
    }
  }
  EXPECT_EQ(params.size(), kThreads * kEchoes);
}

TEST_F(EchoTest, TheExampleHandlerLogsTheMessageBesideItself) {
  LoadLibrary();
  const fs::path dir = Dir() / "Example";
  const fs::path module = Install(TIDINGS_TEST_EXAMPLE_HANDLER, dir);
  AddEcho(u"Mail", u"Eingang \u2713", module.u16string());

  api.EchoMsg(0, 0, 42);
  api.EchoMsg(0, 0, 4294967295u);

  EXPECT_EQ(ReadFileBytes(dir / "EchoHandler.log"),
            u8"Mail\tEingang \u2713\t42\nMail\tEingang \u2713\t4294967295\n");
  EXPECT_FALSE(IsModuleMapped(module));
}

}  // namespace
}  // namespace test
}  // namespace tidings
