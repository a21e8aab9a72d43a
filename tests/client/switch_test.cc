// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

// The trace switch: which values under HKEY_LOCAL_MACHINE turn the log on when the library loads.

#include <string>
#include <vector>

#include "client_fixture.h"

namespace tidings {
namespace test {
namespace {

const char16_t kHalvernKey[] = u"SOFTWARE\\quellbridge\\Halvern3.0";
const char16_t kSoftwareKey[] = u"SOFTWARE";

constexpr uint32_t kRegExpandSz = 2;
constexpr uint32_t kRegBinary = 3;

void TIDINGS_CALLBACK IgnoreChange(int32_t /*dwMsgID*/, int32_t /*nAddType*/) {}

struct SwitchCase {
  const char* name;
  std::vector<SettingEntry> settings;
  bool bTraceOn;
};

std::ostream& operator<<(std::ostream& os, const SwitchCase& c) { return os << c.name; }

// A REG_SZ "1" whose data fills `cbData` bytes: the text, its terminator, then zeros.
SettingEntry PaddedOne(size_t cbData) {
  SettingEntry entry = StringSetting(kHalvernKey, u"Debug", u"1");
  entry.data.resize(cbData, '\0');
  return entry;
}

std::vector<SwitchCase> Cases() {
  return {
      {"DebugStringOne", {StringSetting(kHalvernKey, u"Debug", u"1")}, true},
      {"DebugDwordOne", {DwordSetting(kHalvernKey, u"Debug", 1)}, true},
      {"AmbrelDwordOne", {DwordSetting(kSoftwareKey, u"AmbrelDebugFlag", 1)}, true},
      {"AmbrelStringOne", {StringSetting(kSoftwareKey, u"AmbrelDebugFlag", u"1")}, true},
      {"DebugOneAmbrelZero",
       {StringSetting(kHalvernKey, u"Debug", u"1"), StringSetting(kSoftwareKey, u"AmbrelDebugFlag", u"0")},
       true},
      {"DebugZeroAmbrelOne",
       {StringSetting(kHalvernKey, u"Debug", u"0"), DwordSetting(kSoftwareKey, u"AmbrelDebugFlag", 1)},
       true},
      {"KeyAndValueNamesIgnoreCase",
       {StringSetting(u"software\\QUELLBRIDGE\\halvern3.0", u"dEBUG", u"1")},
       true},
      {"AmbrelNameIgnoresCase", {DwordSetting(u"Software", u"AMBRELDEBUGFLAG", 1)}, true},
      {"StringFillingTheWholeBuffer", {PaddedOne(1024)}, true},
      {"StringLargerThanTheBuffer", {PaddedOne(1026)}, false},
      {"DebugStringZeroOne", {StringSetting(kHalvernKey, u"Debug", u"01")}, false},
      {"DebugStringOneBlank", {StringSetting(kHalvernKey, u"Debug", u"1 ")}, false},
      {"DebugStringBlankOne", {StringSetting(kHalvernKey, u"Debug", u" 1")}, false},
      {"DebugStringTrue", {StringSetting(kHalvernKey, u"Debug", u"true")}, false},
      {"DebugDwordTwo", {DwordSetting(kHalvernKey, u"Debug", 2)}, false},
      {"AmbrelDwordTwo", {DwordSetting(kSoftwareKey, u"AmbrelDebugFlag", 2)}, false},
      {"AmbrelDwordAllBits", {DwordSetting(kSoftwareKey, u"AmbrelDebugFlag", 0xFFFFFFFFu)}, false},
      {"DebugExpandStringOne", {StringSetting(kHalvernKey, u"Debug", u"1", kRegExpandSz)}, false},
      {"AmbrelExpandStringOne", {StringSetting(kSoftwareKey, u"AmbrelDebugFlag", u"1", kRegExpandSz)}, false},
      {"DebugBinaryOne", {StringSetting(kHalvernKey, u"Debug", u"1", kRegBinary)}, false},
      {"BothZero",
       {StringSetting(kHalvernKey, u"Debug", u"0"), DwordSetting(kSoftwareKey, u"AmbrelDebugFlag", 0)},
       false},
      // Each value counts only under its own key.
      {"DebugUnderSoftware", {StringSetting(kSoftwareKey, u"Debug", u"1")}, false},
      {"AmbrelUnderHalvern", {DwordSetting(kHalvernKey, u"AmbrelDebugFlag", 1)}, false},
      {"DebugUnderAParentKey", {StringSetting(u"SOFTWARE\\quellbridge", u"Debug", u"1")}, false},
  };
}

class SwitchTest : public ClientTest {
 protected:
  // Calls every export that traces, `nRounds` times over. Each round adds two messages and removes them
  // again, and subscribes once and unsubscribes again.
  void ExerciseExports(int nRounds) {
    _Message_GetInfo info;
    int32_t dwNewMsgID = 0;
    for (int n = 0; n < nRounds; ++n) {
      const int i = m_nRound++;
      ASSERT_EQ(api.Subscribe(T(u"Mail").c_str(), &IgnoreChange, 1), 1);
      Add(u"Mail", u"Inbox");
      Add(u"Mail", u"Outbox");
      EXPECT_EQ(api.GetMessage(2 * i, &info), 1);
      EXPECT_EQ(api.GetNextMessage(2 * i, &dwNewMsgID, &info), 1);
      EXPECT_EQ(api.MessageHasPopup(2 * i), 1);
      EXPECT_EQ(api.EchoMsg(0, -5, 0), 1);
      EXPECT_EQ(api.DeleteMessage(T(u"Mail").c_str(), T(u"Inbox").c_str()), 1);
      EXPECT_EQ(api.DeleteMessageFromID(2 * i + 1), 1);
      EXPECT_EQ(api.UNSubscribe(static_cast<uint32_t>(i + 1)), 1);
    }
  }

  // Off: nothing at all appeared in the Config folder.
  void ExpectNoTraceFile() {
    EXPECT_FALSE(TraceExists());
    EXPECT_TRUE(fs::is_empty(ConfigDir()));
  }

 private:
  int m_nRound = 0;
};

class SwitchMatrixTest : public SwitchTest, public ::testing::WithParamInterface<SwitchCase> {};

TEST_P(SwitchMatrixTest, TheSwitchIsOnForAStringOrNumberOneOnly) {
  LoadLibraryWithSettings(GetParam().settings);
  ExerciseExports(3);
  if (GetParam().bTraceOn) {
    const std::vector<std::string> texts = TraceTexts();
    ASSERT_FALSE(texts.empty());
    EXPECT_EQ(texts.front(), "Enter Fun Subscribe, bSubscribeOld is 1");
    EXPECT_EQ(texts.back(), "Exit  Fun UNSubscribe, Ret is 1");
  } else {
    ExpectNoTraceFile();
  }
}

INSTANTIATE_TEST_SUITE_P(Values, SwitchMatrixTest, ::testing::ValuesIn(Cases()),
                         [](const ::testing::TestParamInfo<SwitchCase>& param) {
                           return std::string(param.param.name);
                         });

TEST_F(SwitchTest, WithNeitherValuePresentNoFileIsEverCreated) {
  LoadLibrary(false);
  ExerciseExports(200);
  ExpectNoTraceFile();
}

TEST_F(SwitchTest, TheSwitchIsReadOnceWhenTheLibraryLoads) {
  LoadLibrary(false);
  ExerciseExports(1);
  TurnTraceOn();  // too late for the library already loaded
  ExerciseExports(1);
  ExpectNoTraceFile();
}

}  // namespace
}  // namespace test
}  // namespace tidings
