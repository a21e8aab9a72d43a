// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

// Writing the machine-wide switch values the library reads at load: the Windows registry on Windows,
// the settings file the library was built to read elsewhere. Tests that use it must not run at the same
// time as any other test that loads the library (ctest's RESOURCE_LOCK "tidings_settings").

#ifndef TIDINGS_TESTS_SUPPORT_SETTINGS_STORE_H_
#define TIDINGS_TESTS_SUPPORT_SETTINGS_STORE_H_

#include <cstdint>
#include <string>
#include <vector>

namespace tidings {
namespace test {

struct SettingEntry {
  std::u16string keyPath;  // under HKEY_LOCAL_MACHINE
  std::u16string valueName;
  uint32_t dwType;   // REG_SZ 1, REG_EXPAND_SZ 2, REG_DWORD 4, ...
  std::string data;  // raw bytes as the registry holds them
};

// A REG_SZ value: UTF-16LE with its terminator.
SettingEntry StringSetting(const std::u16string& keyPath, const std::u16string& valueName,
                           const std::u16string& text, uint32_t dwType = 1);
// A REG_DWORD value.
SettingEntry DwordSetting(const std::u16string& keyPath, const std::u16string& valueName, uint32_t value);

// Removes both switch values ("Debug" and "AmbrelDebugFlag"), then writes `entries`.
void WriteSettings(const std::vector<SettingEntry>& entries);

// Where the settings file the library was built to read lies; empty on Windows, which keeps the settings
// in the registry.
std::string SettingsFilePath();

// The usual switch: "Debug" = REG_SZ "1".
void TurnTraceOn();
// Neither switch value present.
void TurnTraceOff();

}  // namespace test
}  // namespace tidings

#endif  // TIDINGS_TESTS_SUPPORT_SETTINGS_STORE_H_
