// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

// Something other than a regular file at the path of the message file, the trace log or the settings file
// (POSIX) counts as no file at all: it is never read nor written, nothing blocks on it, and it is still
// there afterwards. Unlike a missing one, a message file that is no regular file is traced.

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "file_fault.h"
#include "msg_file_support.h"
#include "platform/platform.h"

namespace tidings {
namespace test {
namespace {

enum class ConfigFile { kMsgFile, kTraceLog, kSettingsFile };

struct OddPathCase {
  ConfigFile file;
  OddPath kind;
  std::string strName;
};

void PrintTo(const OddPathCase& c, std::ostream* os) { *os << c.strName; }

// Each odd thing at the path of each file.
std::vector<OddPathCase> Cases() {
  const std::pair<ConfigFile, const char*> files[] = {{ConfigFile::kMsgFile, "MsgFile"},
                                                      {ConfigFile::kTraceLog, "TraceLog"},
                                                      {ConfigFile::kSettingsFile, "SettingsFile"}};
  const std::pair<OddPath, const char*> kinds[] = {{OddPath::kFifo, "Fifo"},
                                                   {OddPath::kDirectory, "Directory"},
                                                   {OddPath::kLinkToDevNull, "LinkToDevNull"},
                                                   {OddPath::kLinkToDevZero, "LinkToDevZero"},
                                                   {OddPath::kSocket, "Socket"}};
  std::vector<OddPathCase> cases;
  for (const auto& file : files) {
    for (const auto& kind : kinds)
      cases.push_back({file.first, kind.first, std::string(file.second) + "_" + kind.second});
  }
  return cases;
}

class OddPathTest : public MsgFileTest, public ::testing::WithParamInterface<OddPathCase> {
 protected:
  // What a case made goes first: at the settings path it would break the next test's settings, and under
  // Wine neither Wine nor libstdc++ removes a FIFO or a link to a device with the test's directory.
  void TearDown() override {
    if (!m_path.empty()) RemoveOddPath(m_path);
    MsgFileTest::TearDown();
  }

  fs::path m_path;  // where the case made its odd thing

  bool TraceHasLine(const std::string& strStart, const std::string& strEnd) {
    const std::vector<std::string> texts = TraceTexts();
    return std::any_of(texts.begin(), texts.end(), [&](const std::string& text) {
      return text.size() >= strStart.size() + strEnd.size() &&
             text.compare(0, strStart.size(), strStart) == 0 &&
             text.compare(text.size() - strEnd.size(), strEnd.size(), strEnd) == 0;
    });
  }
};

TEST_P(OddPathTest, CountsAsNoFile) {
  const ConfigFile file = GetParam().file;
  const fs::path path = file == ConfigFile::kMsgFile    ? MsgFilePath()
                        : file == ConfigFile::kTraceLog ? TracePath()
                                                        : fs::path(SettingsFilePath());
  if (path.empty()) GTEST_SKIP() << "Windows keeps the settings in the registry";
  fs::create_directories(ConfigDir());
  fs::remove_all(path);
  std::string strWhyNot;
  if (!MakeOddPath(path, GetParam().kind, &strWhyNot)) GTEST_SKIP() << strWhyNot;
  m_path = path;
  if (file == ConfigFile::kSettingsFile) {
    LoadLibraryWithSettings({});
  } else {
    LoadLibrary();
  }

  ASSERT_EQ(api.Initial(), 1);
  EXPECT_EQ(IdsInMemory(), std::vector<int32_t>{});
  Add(u"Chat", u"Hello");
  ASSERT_EQ(api.Finish(), 1);
  EXPECT_EQ(platform::KindOfPath(path.u16string()), platform::PathKind::kOther) << "replaced by a file";
  if (file == ConfigFile::kMsgFile) {
    EXPECT_EQ(IdsInMemory(), std::vector<int32_t>{0}) << "the message stays in memory";
    EXPECT_TRUE(TraceHasLine("--LoadMsgFile loaded nothing: ", "Msg.xml is no regular file"));
    EXPECT_TRUE(
        TraceHasLine("--SaveMsgFile failed, the messages stay in memory: ", "Msg.xml is no regular file"));
  } else if (file == ConfigFile::kSettingsFile) {
    EXPECT_FALSE(TraceExists()) << "tracing is off without settings";
  }
}

INSTANTIATE_TEST_SUITE_P(Paths, OddPathTest, ::testing::ValuesIn(Cases()),
                         [](const ::testing::TestParamInfo<OddPathCase>& param) {
                           return param.param.strName;
                         });

}  // namespace
}  // namespace test
}  // namespace tidings
