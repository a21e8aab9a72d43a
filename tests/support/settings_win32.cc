// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

// The switch values in the real registry (Wine's, under test).

#include <windows.h>

#include <stdexcept>

#include "settings_store.h"

namespace tidings {
namespace test {

namespace {

const wchar_t* W(const std::u16string& s) { return reinterpret_cast<const wchar_t*>(s.c_str()); }

void DeleteValue(const wchar_t* keyPath, const wchar_t* valueName) {
  HKEY hKey;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyPath, 0, KEY_SET_VALUE, &hKey) == ERROR_SUCCESS) {
    RegDeleteValueW(hKey, valueName);
    RegCloseKey(hKey);
  }
}

}  // namespace

void WriteSettings(const std::vector<SettingEntry>& entries) {
  DeleteValue(L"SOFTWARE\\quellbridge\\Halvern3.0", L"Debug");
  DeleteValue(L"SOFTWARE", L"AmbrelDebugFlag");
  for (const SettingEntry& e : entries) {
    HKEY hKey;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, W(e.keyPath), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &hKey,
                        nullptr) != ERROR_SUCCESS) {
      throw std::runtime_error("cannot create a registry key");
    }
    LONG rc = RegSetValueExW(hKey, W(e.valueName), 0, e.dwType, reinterpret_cast<const BYTE*>(e.data.data()),
                             static_cast<DWORD>(e.data.size()));
    RegCloseKey(hKey);
    if (rc != ERROR_SUCCESS) throw std::runtime_error("cannot set a registry value");
  }
}

std::string SettingsFilePath() { return std::string(); }

}  // namespace test
}  // namespace tidings
