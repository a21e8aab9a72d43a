// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

// The settings file, written in the registry export format with every value as a hex(N) list, so that
// any type and any bytes can be expressed.

#include <cstdio>
#include <fstream>
#include <stdexcept>

#include "platform/utf.h"
#include "settings_store.h"

namespace tidings {
namespace test {

void WriteSettings(const std::vector<SettingEntry>& entries) {
  std::string text = "Windows Registry Editor Version 5.00\r\n\r\n";
  for (const SettingEntry& e : entries) {
    text += "[HKEY_LOCAL_MACHINE\\" + platform::Utf16ToUtf8(e.keyPath) + "]\r\n";
    text += "\"" + platform::Utf16ToUtf8(e.valueName) + "\"=";
    char buf[16];
    std::snprintf(buf, sizeof buf, "hex(%x):", e.dwType);
    text += buf;
    for (size_t i = 0; i < e.data.size(); ++i) {
      std::snprintf(buf, sizeof buf, "%s%02x", i ? "," : "", static_cast<unsigned char>(e.data[i]));
      text += buf;
    }
    text += "\r\n\r\n";
  }
  std::ofstream out(TIDINGS_TEST_SETTINGS_FILE, std::ios::binary | std::ios::trunc);
  out << text;
  if (!out) throw std::runtime_error("cannot write the settings file " TIDINGS_TEST_SETTINGS_FILE);
}

std::string SettingsFilePath() { return TIDINGS_TEST_SETTINGS_FILE; }

}  // namespace test
}  // namespace tidings
