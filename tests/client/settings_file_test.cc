// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

// The settings file on POSIX is read while the library loads: no larger than its bound (what else than a
// regular file at its path does is in odd_paths_test.cc). A larger one reads as no settings at all, so
// tracing stays off.

#include <functional>

#include "client_fixture.h"

namespace tidings {
namespace test {
namespace {

// The switch "Debug"="1", followed by a comment line that fills the file to `nBytes`.
std::string SwitchOn(size_t nBytes) {
  std::string bytes =
      "REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\quellbridge\\Halvern3.0]\r\n\"Debug\"=\"1\"\r\n";
  bytes.resize(nBytes, ';');
  return bytes;
}

class SettingsFileTest : public ClientTest {
 protected:
  // Whatever a case leaves at the settings path would block or break the next test's WriteSettings.
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(SettingsFilePath(), ec);
    ClientTest::TearDown();
  }
};

TEST_F(SettingsFileTest, OnlyAFileWithinTheBoundIsRead) {
  const fs::path path = SettingsFilePath();
  const std::pair<std::function<void()>, bool> cases[] = {
      {[&] { WriteFileBytes(path, SwitchOn(16u << 20)); }, true},         // at the bound of 16 MiB
      {[&] { WriteFileBytes(path, SwitchOn((16u << 20) + 1)); }, false},  // past it
  };
  for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
    SCOPED_TRACE("case " + std::to_string(i));
    fs::remove_all(path);
    cases[i].first();
    LoadLibraryWithSettings({});
    api.MessageHasPopup(0);
    EXPECT_EQ(TraceExists(), cases[i].second);
    UnloadLibrary();
    fs::remove(TracePath());
  }
}

}  // namespace
}  // namespace test
}  // namespace tidings
