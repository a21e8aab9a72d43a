// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

#include "settings_store.h"

namespace tidings {
namespace test {

SettingEntry StringSetting(const std::u16string& keyPath, const std::u16string& valueName,
                           const std::u16string& text, uint32_t dwType) {
  SettingEntry e{keyPath, valueName, dwType, std::string()};
  for (char16_t u : text) {
    e.data.push_back(static_cast<char>(u & 0xFF));
    e.data.push_back(static_cast<char>(u >> 8));
  }
  e.data.append(2, '\0');
  return e;
}

SettingEntry DwordSetting(const std::u16string& keyPath, const std::u16string& valueName, uint32_t value) {
  SettingEntry e{keyPath, valueName, 4, std::string()};
  for (int i = 0; i < 4; ++i) e.data.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
  return e;
}

void TurnTraceOn() { WriteSettings({StringSetting(u"SOFTWARE\\quellbridge\\Halvern3.0", u"Debug", u"1")}); }

void TurnTraceOff() { WriteSettings({}); }

}  // namespace test
}  // namespace tidings
