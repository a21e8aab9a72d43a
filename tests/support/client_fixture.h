// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

// The black-box fixture: a test that sees the library as a client does. Each test gets a fresh directory
// of its own, a copy of the built library in it (with or without a Config folder beside it), loads that
// copy by path and resolves the exports by name. Every test case runs in a process of its own (one ctest
// entry each), so the library's process-wide state starts fresh.

#ifndef TIDINGS_TESTS_SUPPORT_CLIENT_FIXTURE_H_
#define TIDINGS_TESTS_SUPPORT_CLIENT_FIXTURE_H_

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "client_api.h"
#include "settings_store.h"
#include "tidings.h"

namespace tidings {
namespace test {

namespace fs = std::filesystem;

using client::MakeAddInfo;
using client::T;
using client::TidingsApi;

// One line of the trace log, taken apart. A line that does not have the log's exact form fails the test
// that reads it.
struct TraceLine {
  uint32_t nThreadId = 0;
  std::string strTime;  // "%Y-%m-%d %H:%M:%S"
  int nSecondsMod = 0;  // the three digits after the time
  std::string strText;  // what the library wrote, after the five spaces
};

// The 8-bit text of an ASCII UTF-16 text, for comparing with trace lines.
std::string Narrow(const std::u16string& text);

class ClientTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Writes the settings (tracing on unless told otherwise), copies the library into the test's
  // directory, and loads it. With bConfigDir false there is no Config folder beside it.
  void LoadLibrary(bool bTraceOn = true, bool bConfigDir = true);
  // Loads with exactly these switch values in the settings store.
  void LoadLibraryWithSettings(const std::vector<SettingEntry>& settings, bool bConfigDir = true);
  void UnloadLibrary();
  // Starts the library as a host starting or restarting it does: unloads the copy loaded, if any, lays
  // `file` as the message file if one is given, loads the library (as LoadLibrary) and runs MsgGovInitial.
  // Returns what MsgGovInitial returns.
  int32_t Restart(const std::optional<std::string>& file = std::nullopt, bool bTraceOn = true);
  // Loads one more copy of the library, from the subdirectory `name` of the test's directory (with a
  // Config folder beside it), beside the one LoadLibrary loads, with its exports in *pApi. It stays loaded
  // until the test ends.
  void LoadAnotherCopy(const fs::path& name, TidingsApi* pApi);
  // Makes the library's copy go into the subdirectory `name` of the test's directory from the next load
  // on (for directory names with characters outside ASCII); ConfigDir() and the paths under it follow.
  void UseLibrarySubdirectory(const fs::path& name);

  // Adds a message through the export with the given span and name.
  void Add(const std::u16string& strSpan, const std::u16string& strName,
           const std::u16string& strInfo = u"info", int32_t nShowType = 1, int32_t nTimeout = 30,
           int32_t bSave = 1);

  fs::path Dir() const { return m_dir; }
  fs::path ConfigDir() const { return LibraryDir() / "Config"; }
  // Where the library's copy is loaded from: Dir() unless UseLibrarySubdirectory said otherwise.
  fs::path LibraryDir() const { return m_libraryDir.empty() ? m_dir : m_libraryDir; }
  fs::path TracePath() const { return ConfigDir() / "UILogTrace.txt"; }
  fs::path MsgFilePath() const { return ConfigDir() / "Msg.xml"; }
  // Lays a message file beside the library (creating the Config folder), for MsgGovInitial to read.
  void WriteMsgFile(const std::string& xml) const;
  bool TraceExists() const { return fs::exists(TracePath()); }
  // The raw bytes of the trace log; empty when there is none.
  std::string TraceBytes() const;
  // The lines of the trace log, each checked for the exact line format.
  std::vector<TraceLine> TraceLines() const;
  // Only the texts of the lines.
  std::vector<std::string> TraceTexts() const;
  // Empties the trace log, so that a test can look at the lines of one step alone.
  void ClearTrace() const;

  TidingsApi api;

 private:
  fs::path m_dir;
  fs::path m_libraryDir;  // empty: Dir()
  void* m_hLibrary = nullptr;
  std::vector<void*> m_otherCopies;
};

// Splits the bytes of a trace log into lines, checking every line's form; adds a test failure for each
// line that is malformed.
std::vector<TraceLine> ParseTrace(const std::string& bytes);

// Reads a whole file; empty when it does not exist.
std::string ReadFileBytes(const fs::path& path);
void WriteFileBytes(const fs::path& path, const std::string& bytes);

}  // namespace test
}  // namespace tidings

#endif  // TIDINGS_TESTS_SUPPORT_CLIENT_FIXTURE_H_
