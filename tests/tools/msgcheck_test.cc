// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

// The checker held against the library: what tidings-msgcheck lists for a file is what CMsgGov loads
// from it, and what it says the next save drops or rewrites is gone once CMsgGov has saved the file.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "msg_check.h"
#include "report.h"
#include "platform/platform.h"
#include "module/msg_gov.h"
#include "trace/log_trace.h"

namespace tidings {
namespace msgcheck {
namespace {

namespace fs = std::filesystem;

fs::path FixturePath(const char* lpName) { return fs::path(TIDINGS_TOOL_FIXTURE_DIR) / lpName; }

std::u16string Fixture(const char* lpName) { return FixturePath(lpName).u16string(); }

// A list of the store walked as a client walks it: from `dwFirst` with GetNextMessage until it comes
// round again.
std::vector<_Message_GetInfo> Walk(CMsgGov& gov, int32_t dwFirst) {
  std::vector<_Message_GetInfo> messages;
  _Message_GetInfo info;
  if (!gov.GetMessage(dwFirst, &info)) return messages;
  for (int32_t dwID = dwFirst; messages.size() < 100;) {
    messages.push_back(info);
    int32_t dwNext = -1;
    if (!gov.GetNextMessage(dwID, &dwNext, &info) || dwNext == dwFirst) return messages;
    dwID = dwNext;
  }
  ADD_FAILURE() << "the walk from " << dwFirst << " never came round";
  return messages;
}

std::u16string InfoText(const _Message_GetInfo& info) {
  std::u16string strText;
  for (size_t i = 0; i < 1024 && info.strMsgSInfo[i] != 0; ++i) {
    strText += static_cast<char16_t>(info.strMsgSInfo[i]);
  }
  return strText;
}

// The report's message lines (those indented by two spaces), in order.
std::vector<std::string> MessageLines(const std::string& strReport) {
  std::vector<std::string> lines;
  std::istringstream in(strReport);
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("  ", 0) == 0) lines.push_back(line);
  }
  return lines;
}

// Each listed message against the one the store holds under the same ID, and the printed line against
// the store's values.
void ExpectListed(const std::vector<_Message_GetInfo>& loaded, const SectionResult& section,
                  const std::vector<std::string>& lines, size_t nFirstLine) {
  ASSERT_EQ(section.messages.size(), loaded.size());
  ASSERT_GE(lines.size(), nFirstLine + loaded.size());
  for (size_t i = 0; i < loaded.size(); ++i) {
    const _Message_GetInfo& info = loaded[i];
    const _Message_Item& item = section.messages[i].item;
    SCOPED_TRACE("message " + std::to_string(info.dwMsgID));
    EXPECT_EQ(item.dwMsgID, info.dwMsgID);
    EXPECT_EQ(item.strMsgSInfo, InfoText(info));
    EXPECT_EQ(item.ShowType, info.ShowType);
    EXPECT_EQ(item.dwPopShowTimeout, info.dwPopShowTimeout);
    // The fixture's texts need no escaping, so the line shows them as the store holds them.
    const std::string& line = lines[nFirstLine + i];
    EXPECT_EQ(line.rfind("  " + std::to_string(info.dwMsgID) + " (line ", 0), 0u) << line;
    EXPECT_NE(line.find(", info \"" + platform::ToNarrowText(InfoText(info)) + "\", echo path "),
              std::string::npos)
        << line;
    const std::string strNumbers =
        ", ShowType " + std::to_string(info.ShowType) + ", timeout " + std::to_string(info.dwPopShowTimeout);
    EXPECT_EQ(line.substr(line.size() - std::min(line.size(), strNumbers.size())), strNumbers) << line;
  }
}

TEST(MsgCheck, ListsWhatTheLibraryLoads) {
  const std::u16string strPath = Fixture("rich.xml");
  const CheckResult result = CheckMsgFile(strPath);
  ASSERT_EQ(result.ExitStatus(), kExitWarnings);
  const std::vector<std::string> lines = MessageLines(FormatListing(result));

  CLogTrace trace;
  CMsgGov gov(trace);
  gov.LoadMsgFile(strPath);
  const std::vector<_Message_GetInfo> defaults = Walk(gov, -2);
  const std::vector<_Message_GetInfo> dynamics = Walk(gov, 0);
  ASSERT_FALSE(defaults.empty());
  ASSERT_FALSE(dynamics.empty());
  ExpectListed(defaults, result.defaults, lines, 0);
  ExpectListed(dynamics, result.dynamics, lines, defaults.size());
  EXPECT_EQ(lines.size(), defaults.size() + dynamics.size());
}

// The process-unique copy of a fixture, in a directory of its own that goes with the object.
class CFixtureCopy {
 public:
  explicit CFixtureCopy(const char* lpName) {
    std::random_device random;
    const auto nNow = std::chrono::steady_clock::now().time_since_epoch().count();
    m_dir = fs::temp_directory_path() /
            ("tidings-msgcheck-" + std::to_string(random()) + "-" + std::to_string(nNow));
    fs::create_directories(m_dir);
    m_path = m_dir / lpName;
    fs::copy_file(FixturePath(lpName), m_path);
  }
  ~CFixtureCopy() {
    std::error_code error;
    fs::remove_all(m_dir, error);
  }
  std::u16string Path() const { return m_path.u16string(); }

 private:
  fs::path m_dir;
  fs::path m_path;
};

TEST(MsgCheck, WhatASaveDropsIsGoneAfterTheLibrarySaved) {
  CFixtureCopy file("save_rewrites.xml");
  const CheckResult before = CheckMsgFile(file.Path());
  ASSERT_EQ(before.ExitStatus(), kExitWarnings);
  ASSERT_GT(before.findings.size(), 1u);

  {
    CLogTrace trace;
    CMsgGov gov(trace);
    gov.LoadMsgFile(file.Path());
    gov.SaveMsgFile(file.Path());
  }

  // Only the second DynamicMsg, which saves leave alone, is still there to warn about.
  const CheckResult after = CheckMsgFile(file.Path());
  ASSERT_EQ(after.findings.size(), 1u) << FormatDiagnostics(u"after", after);
  EXPECT_EQ(after.findings[0].severity, Severity::kWarning);
  EXPECT_EQ(after.findings[0].strText.rfind(u"another <DynamicMsg>", 0), 0u);

  // The messages read back as they were read before.
  ASSERT_EQ(after.dynamics.messages.size(), before.dynamics.messages.size());
  for (size_t i = 0; i < before.dynamics.messages.size(); ++i) {
    const _Message_Item& was = before.dynamics.messages[i].item;
    const _Message_Item& is = after.dynamics.messages[i].item;
    EXPECT_EQ(is.dwMsgID, was.dwMsgID);
    EXPECT_EQ(is.strMsgSpan, was.strMsgSpan);
    EXPECT_EQ(is.strMsgName, was.strMsgName);
    EXPECT_EQ(is.strMsgSInfo, was.strMsgSInfo);
    EXPECT_EQ(is.strMsgEchoPath, was.strMsgEchoPath);
    EXPECT_EQ(is.ShowType, was.ShowType);
    EXPECT_EQ(is.dwPopShowTimeout, was.dwPopShowTimeout);
  }
  ASSERT_EQ(after.defaults.messages.size(), 1u);
  EXPECT_EQ(after.defaults.messages[0].item.strMsgName, u"Welcome");
}

// An internal subset the DOM would rewrite wrongly (quotes, references, a notation list) is clean before a
// save and after it, with the same messages.
TEST(MsgCheck, AnInternalSubsetStaysCleanThroughASave) {
  CFixtureCopy file("internal_subset.xml");
  ASSERT_EQ(CheckMsgFile(file.Path()).ExitStatus(), 0);
  for (int nSave = 0; nSave < 2; ++nSave) {
    CLogTrace trace;
    CMsgGov gov(trace);
    gov.LoadMsgFile(file.Path());
    gov.SaveMsgFile(file.Path());
  }
  const CheckResult after = CheckMsgFile(file.Path());
  EXPECT_EQ(after.ExitStatus(), 0) << FormatDiagnostics(u"after", after);
  ASSERT_EQ(after.defaults.messages.size(), 1u);
  EXPECT_EQ(after.defaults.messages[0].item.strMsgSInfo, u"the \"Acme\" suite");
  EXPECT_EQ(after.dynamics.messages.size(), 1u);
}

}  // namespace
}  // namespace msgcheck
}  // namespace tidings
